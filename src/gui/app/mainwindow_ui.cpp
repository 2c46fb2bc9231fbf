// Building the main window's actions, menus, tool bar, panes and status bar.
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categoryview.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/pathbar.h"
#include "gui/browser/previewpane.h"
#include "gui/common/commands.h"
#include "gui/common/icons.h"

#include <QAction>
#include <QActionGroup>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

QToolButton* MainWindow::makeButton(QWidget* parent, const char* name, const QString& text,
                                    const QString& hint, const QString& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    if (!icon.isEmpty())
        b->setIcon(themeIcon(icon));
    b->setIconSize(QSize(16, 16));
    return b;
}

void MainWindow::createActions() {
    Commands& c = *m_commands;
    c.FileNew->setIcon(themeIcon(QStringLiteral("document-new")));
    c.FileOpen->setIcon(themeIcon(QStringLiteral("document-open")));
    c.MSave->setIcon(themeIcon(QStringLiteral("document-save")));
    c.FileExit->setIcon(themeIcon(QStringLiteral("application-exit")));
    c.MFind->setIcon(themeIcon(QStringLiteral("edit-find")));
    c.MViewClass->setIcon(themeIcon(QStringLiteral("sidebar-show")));
    c.MViewCDRom->setIcon(themeIcon(QStringLiteral("folder")));
    c.MViewExp->setIcon(themeIcon(QStringLiteral("text-x-generic")));
    c.tbBack->setIcon(upIcon());
    const QList<QAction*> styles = c.listStyles->actions();
    for (int i = 0; i < styles.size(); ++i) {
        styles[i]->setIcon(listStyleIcon(i));
        // The menu shows the styles' names; their pictures are for the tool bar.
        styles[i]->setIconVisibleInMenu(false);
        connect(styles[i], &QAction::triggered, this, [this, i] { setListStyle(i); });
    }
    for (QAction* a : {c.MViewClass, c.MViewCDRom, c.MViewExp})
        a->setIconVisibleInMenu(false);

    for (int n = 0; n < 4; ++n) {
        connect(c.MFile[n], &QAction::triggered, this, &MainWindow::recentFileClick);
        connect(c.DMFile[n], &QAction::triggered, this, &MainWindow::recentFileClick);
    }
    connect(c.FileExit, &QAction::triggered, this, &QWidget::close);
    connect(c.MOptions, &QAction::triggered, this, &MainWindow::MOptionsClick);
    connect(c.ToolVisible, &QAction::triggered, this, &MainWindow::ToolVisibleClick);
    connect(c.MViewClass, &QAction::triggered, this, &MainWindow::viewClassSwitched);
    connect(c.MViewCDRom, &QAction::triggered, this, &MainWindow::viewCDRomSwitched);
    connect(c.MViewExp, &QAction::triggered, this, &MainWindow::viewExpSwitched);
    connect(c.MPreview, &QAction::toggled, this, [this](bool on) {
        m_views.preview->setVisible(on);
        Settings().savePreviewPane(on);
    });
    connect(c.Help, &QAction::triggered, this, &MainWindow::HelpClick);
    connect(c.MAbout, &QAction::triggered, this, &MainWindow::MAboutClick);
    connect(c.MExample, &QAction::triggered, this, &MainWindow::MExampleClick);
    connect(c.MHomepage, &QAction::triggered, this, &MainWindow::MHomepageClick);
    connect(c.MMailtoAuthor, &QAction::triggered, this, &MainWindow::MMailtoAuthorClick);
}

void MainWindow::createMenus() {
    const Commands& c = *m_commands;
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("文 件(&F)"));
    file->setObjectName(QStringLiteral("MFileMenu"));
    file->addActions({c.FileNew, c.FileOpen});
    m_recentMenu = file->addMenu(QStringLiteral("打开最近"));
    m_recentMenu->setObjectName(QStringLiteral("MOpenRecent"));
    for (QAction* a : c.MFile)
        m_recentMenu->addAction(a);
    file->addActions({c.MSave, c.FileSaveAs});
    file->addSeparator();
    file->addAction(c.FilePwd);
    file->addSeparator();
    file->addActions({c.MExport, c.MMerge});
    file->addSeparator();
    file->addAction(c.FileExit);

    QMenu* edit = bar->addMenu(QStringLiteral("编 辑 (&E)"));
    edit->setObjectName(QStringLiteral("MEditMenu"));
    QMenu* add = edit->addMenu(QStringLiteral("新增分类"));
    add->setObjectName(QStringLiteral("MNewClass"));
    add->addAction(c.NewChildClass);
    add->addSeparator();
    add->addActions({c.NewBrotherUp, c.NewBrotherDown});
    edit->addAction(c.InCD);
    edit->addSeparator();
    edit->addActions({c.MOpen, c.MFileExp});
    edit->addSeparator();
    edit->addActions({c.MAddDir, c.MAddFile});
    edit->addSeparator();
    edit->addAction(c.RenameNode);

    QMenu* tools = bar->addMenu(QStringLiteral("工具(&T)"));
    tools->setObjectName(QStringLiteral("MToolsMenu"));
    tools->addActions({c.MCompactFile, c.MFind, c.MSearchBar, c.MDuplicates, c.MCopies});
    tools->addSeparator();
    tools->addAction(c.MOptions);

    QMenu* view = bar->addMenu(QStringLiteral("视 图(&V)"));
    view->setObjectName(QStringLiteral("MViewMenu"));
    view->addAction(c.ToolVisible);
    view->addSeparator();
    view->addActions({c.MViewClass, c.MViewCDRom, c.MViewExp, c.MPreview});
    view->addSeparator();
    view->addActions(c.listStyles->actions());

    QMenu* help = bar->addMenu(QStringLiteral("帮 助(&H)"));
    help->setObjectName(QStringLiteral("MHelpMenu"));
    help->addAction(c.Help);
    help->addSeparator();
    help->addActions({c.MExample, c.MHomepage, c.MMailtoAuthor});
    help->addSeparator();
    help->addAction(c.MAbout);

    m_tvPopMenu = new QMenu(this);
    m_tvPopMenu->setObjectName(QStringLiteral("TVPopMenu"));
    QMenu* create = m_tvPopMenu->addMenu(QStringLiteral("创建分类"));
    create->setObjectName(QStringLiteral("MCreateClass"));
    create->addAction(c.MAddChildNode);
    create->addSeparator();
    create->addActions({c.MAddUpNode, c.MAddDownNode});
    m_tvPopMenu->addActions({c.MInCD, c.MRescan});
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addActions({c.MClassDelete, c.MRenameNode});
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addActions({c.MVerify, c.MDiscProperties});
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addActions({c.MFullOpen, c.MFullClose});

    m_cdPopMenu = new QMenu(this);
    m_cdPopMenu->setObjectName(QStringLiteral("PopMenuCDRom"));
    m_cdPopMenu->addAction(c.mitCDRomDelete);

    m_lvPopMenu = new QMenu(this);
    m_lvPopMenu->setObjectName(QStringLiteral("PopMenuLvMain"));
    m_lvPopMenu->addAction(c.mitOpen);
    m_lvPopMenu->setDefaultAction(c.mitOpen);
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(c.mitDelete);
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(c.mitFileExp);
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addActions({c.mitAddDir, c.mitAddFile});
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(c.mitSelAll);
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addActions({c.mitCopyPath, c.mitProperties});
}

void MainWindow::createToolBar() {
    const Commands& c = *m_commands;
    m_toolBar = new QToolBar(QStringLiteral("工具栏"), this);
    m_toolBar->setObjectName(QStringLiteral("CoolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // The window's own context menu hides the tool bar as well; the tick follows.
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this] { m_commands->ToolVisible->setChecked(!m_toolBar->isHidden()); });

    // The tool bar's buttons keep names of their own.
    auto add = [this](QAction* a, const char* buttonName) {
        m_toolBar->addAction(a);
        m_toolBar->widgetForAction(a)->setObjectName(QLatin1String(buttonName));
    };
    add(c.FileNew, "tbNew");
    // Open, with the recent files as a drop-down.
    auto* open = new QToolButton(m_toolBar);
    open->setObjectName(QStringLiteral("tbOpenFile"));
    open->setToolTip(QStringLiteral("打开最近文件"));
    open->setIcon(themeIcon(QStringLiteral("document-open")));
    open->setPopupMode(QToolButton::MenuButtonPopup);
    m_recentDropDown = new QMenu(open);
    m_recentDropDown->setObjectName(QStringLiteral("DMOpenRecent"));
    for (QAction* a : c.DMFile)
        m_recentDropDown->addAction(a);
    open->setMenu(m_recentDropDown);
    connect(open, &QToolButton::clicked, c.FileOpen, &QAction::trigger);
    m_toolBar->addWidget(open);
    add(c.MSave, "tbSave");
    m_toolBar->addSeparator();
    add(c.MViewClass, "tbViewClass");
    add(c.MViewCDRom, "tbViewCDRom");
    add(c.MViewExp, "tbViewExp");
    m_toolBar->addSeparator();
    add(c.MFind, "tbFind");
    add(c.tbBack, "tbBackButton");
    m_toolBar->addSeparator();
    add(c.MIcon, "tbIcon");
    add(c.MSmallIcon, "tbSmallIcon");
    add(c.MList, "tbList");
    add(c.MReport, "tbReport");
    m_toolBar->addSeparator();
    add(c.FileExit, "tbExit");
    // The search bar, at the far end.
    auto* gap = new QWidget(m_toolBar);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(gap);
    m_views.searchBar = new QLineEdit(m_toolBar);
    m_views.searchBar->setObjectName(QStringLiteral("searchBar"));
    m_views.searchBar->setMinimumWidth(220);
    m_views.searchBar->setMaximumWidth(360);
    m_toolBar->addWidget(m_views.searchBar);
}

namespace {

QWidget* captionBar(QWidget* parent, const char* name, const QString& caption,
                    QLabel** labelOut = nullptr) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Mid);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(1);
    auto* label = new QLabel(caption, bar);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    layout->addWidget(label);
    layout->addStretch(1);
    if (labelOut)
        *labelOut = label;
    return bar;
}

QTreeWidget* makeTree(QTreeWidget* tree, const char* name) {
    tree->setObjectName(QLatin1String(name));
    tree->setHeaderHidden(true);
    tree->setIndentation(19);
    tree->setFrameShape(QFrame::NoFrame);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setCursor(Qt::PointingHandCursor);
    return tree;
}

} // namespace

void MainWindow::createPanes() {
    m_splitter1 = new QSplitter(Qt::Horizontal, this);
    m_splitter1->setObjectName(QStringLiteral("Splitter1"));
    m_splitter1->setHandleWidth(3);
    m_splitter1->setChildrenCollapsible(false);

    // Left: categories above, the disc's folders below.
    m_pnlLeft = new QWidget(m_splitter1);
    m_pnlLeft->setObjectName(QStringLiteral("PnlLeft"));
    auto* leftLayout = new QVBoxLayout(m_pnlLeft);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_splitter2 = new QSplitter(Qt::Vertical, m_pnlLeft);
    m_splitter2->setObjectName(QStringLiteral("Splitter2"));
    m_splitter2->setHandleWidth(3);
    leftLayout->addWidget(m_splitter2);

    m_pnlClass = new QWidget(m_splitter2);
    m_pnlClass->setObjectName(QStringLiteral("PnlClass"));
    auto* classLayout = new QVBoxLayout(m_pnlClass);
    classLayout->setContentsMargins(0, 0, 0, 0);
    classLayout->setSpacing(0);
    QWidget* classTop = captionBar(m_pnlClass, "pnlClassTop", QStringLiteral(" 光盘分类"));
    auto* classBar = static_cast<QHBoxLayout*>(classTop->layout());
    struct Btn {
        const char* name;
        QAction* action;
        CaptionIcon icon;
        QToolButton** out;
    };
    for (const Btn& b :
         {Btn{"btnAddChild", m_commands->NewChildClass, CaptionIcon::AddChild,
              &m_views.btnAddChild},
          Btn{"btnAddUp", m_commands->NewBrotherUp, CaptionIcon::AddAbove, &m_views.btnAddUp},
          Btn{"btnAddDown", m_commands->NewBrotherDown, CaptionIcon::AddBelow, &m_views.btnAddDown},
          Btn{"btnInCD", m_commands->InCD, CaptionIcon::Import, &m_views.btnInCD}}) {
        QToolButton* tb = makeButton(classTop, b.name, {}, b.action->toolTip());
        tb->setIcon(captionIcon(b.icon));
        tb->setEnabled(false);
        connect(tb, &QToolButton::clicked, b.action, &QAction::trigger);
        classBar->addWidget(tb);
        *b.out = tb;
    }
    QToolButton* del = m_views.btnClassDelete =
        makeButton(classTop, "btnClassDelete", {}, QStringLiteral("删除当前选择的分类或光盘内容"));
    del->setIcon(captionIcon(CaptionIcon::Delete));
    del->setEnabled(false);
    classBar->addWidget(del);
    QToolButton* classClose =
        makeButton(classTop, "btnClassClose", QStringLiteral("X"), QStringLiteral("关闭光盘分类"));
    connect(classClose, &QToolButton::clicked, this, &MainWindow::btnClassCloseClick);
    classBar->addWidget(classClose);
    classLayout->addWidget(classTop);
    m_tvMain = makeTree(new CategoryView(m_pnlClass), "tvMain");
    m_tvMain->setEditTriggers(QAbstractItemView::SelectedClicked |
                              QAbstractItemView::EditKeyPressed);
    m_tvMain->setDragDropMode(QAbstractItemView::InternalMove);
    m_tvMain->addAction(m_commands->MRenameNode);
    classLayout->addWidget(m_tvMain);

    m_pnlCDRom = new QWidget(m_splitter2);
    m_pnlCDRom->setObjectName(QStringLiteral("PnlCDRom"));
    auto* cdLayout = new QVBoxLayout(m_pnlCDRom);
    cdLayout->setContentsMargins(0, 0, 0, 0);
    cdLayout->setSpacing(0);
    QWidget* cdTop = captionBar(m_pnlCDRom, "pnlCDRomTop", QStringLiteral(" 光盘内容"));
    auto* cdBar = static_cast<QHBoxLayout*>(cdTop->layout());
    QToolButton* cdDel = m_views.btnCDRomDelete =
        makeButton(cdTop, "btnCDRomDelete", {}, QStringLiteral("删除选中的光盘内容"));
    cdDel->setIcon(captionIcon(CaptionIcon::Delete));
    cdDel->setEnabled(false);
    cdBar->addWidget(cdDel);
    QToolButton* cdClose =
        makeButton(cdTop, "btnCDRomClose", QStringLiteral("X"), QStringLiteral("关闭光盘内容"));
    connect(cdClose, &QToolButton::clicked, this, &MainWindow::btnCDRomCloseClick);
    cdBar->addWidget(cdClose);
    cdLayout->addWidget(cdTop);
    m_tvCDRom = makeTree(new QTreeWidget(m_pnlCDRom), "tvCDRom");
    m_tvCDRom->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cdLayout->addWidget(m_tvCDRom);
    // The category view keeps its height when the window is resized; the contents take
    // the change.
    m_splitter2->setStretchFactor(0, 0);
    m_splitter2->setStretchFactor(1, 1);
    // Dragging may shut the category view (its switches follow), not the contents, which
    // are shown and hidden by their own switches only.
    m_splitter2->setCollapsible(1, false);
    m_splitter2->installEventFilter(this);
    connect(m_splitter2, &QSplitter::splitterMoved, this, &MainWindow::classSplitterMoved);

    // Right: the file list above the disc notes.
    m_rightSplitter = new QSplitter(Qt::Vertical, m_splitter1);
    m_rightSplitter->setObjectName(QStringLiteral("Panel6"));
    m_rightSplitter->setHandleWidth(3);
    // The path bar above the file list, or in its place the search bar's hits.
    auto* listPane = new QWidget(m_rightSplitter);
    listPane->setObjectName(QStringLiteral("pnlList"));
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    m_views.pathBar = new PathBar(listPane);
    listLayout->addWidget(m_views.pathBar);
    // The list, and beside it the preview pane when it is switched on.
    auto* previewSplit = new QSplitter(Qt::Horizontal, listPane);
    previewSplit->setObjectName(QStringLiteral("splPreview"));
    previewSplit->setHandleWidth(3);
    previewSplit->setChildrenCollapsible(false);
    listLayout->addWidget(previewSplit, 1);
    m_views.listStack = new QStackedWidget(previewSplit);
    m_views.preview = new PreviewPane(previewSplit);
    m_views.preview->hide();
    previewSplit->addWidget(m_views.listStack);
    previewSplit->addWidget(m_views.preview);
    previewSplit->setStretchFactor(0, 1);
    previewSplit->setStretchFactor(1, 0);
    previewSplit->setSizes({600, 300});
    m_views.listStack->setObjectName(QStringLiteral("stkList"));
    m_lvMain = new FileListView(m_views.listStack);
    m_lvMain->addAction(m_commands->mitSelAll);
    m_views.lvHits = new QTreeView(m_views.listStack);
    m_views.lvHits->setObjectName(QStringLiteral("lvHits"));
    m_views.listStack->addWidget(m_lvMain);
    m_views.listStack->addWidget(m_views.lvHits);
    connect(m_views.listStack, &QStackedWidget::currentChanged, m_views.pathBar, [this] {
        m_views.pathBar->setVisible(m_views.listStack->currentWidget() == m_lvMain);
    });

    m_pnlExp = new QWidget(m_rightSplitter);
    m_pnlExp->setObjectName(QStringLiteral("PnlExp"));
    auto* expLayout = new QHBoxLayout(m_pnlExp);
    expLayout->setContentsMargins(0, 0, 0, 0);
    expLayout->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("光\n盘\n备\n注"), m_pnlExp);
    title->setObjectName(QStringLiteral("lbExpTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setAutoFillBackground(true);
    title->setBackgroundRole(QPalette::Mid);
    title->setFixedWidth(20);
    expLayout->addWidget(title);
    auto* expBody = new QVBoxLayout;
    expBody->setSpacing(1);
    auto* expTop = new QHBoxLayout;
    m_lbCDName = new QLabel(m_pnlExp);
    m_lbCDName->setObjectName(QStringLiteral("lbCDName"));
    QFont nameFont = m_lbCDName->font();
    nameFont.setBold(true);
    m_lbCDName->setFont(nameFont);
    expTop->addWidget(m_lbCDName, 1);
    QToolButton* expSave = m_views.btnExpSave =
        makeButton(m_pnlExp, "btnExpSave", {}, QStringLiteral("保存当前备注的修改"),
                   QStringLiteral("document-save"));
    expSave->setEnabled(false);
    QToolButton* inExp = m_views.btnInExp = makeButton(
        m_pnlExp, "btnInExp", {}, QStringLiteral("从文件导入..."), QStringLiteral("document-open"));
    inExp->setEnabled(false);
    QToolButton* expClose = makeButton(m_pnlExp, "btnExpClose", QStringLiteral("X"), {});
    connect(expClose, &QToolButton::clicked, this, &MainWindow::btnExpCloseClick);
    expTop->addWidget(expSave);
    expTop->addWidget(inExp);
    expTop->addWidget(expClose);
    expBody->addLayout(expTop);
    // The shown disc's import facts, filled by the notes panel.
    auto* facts = m_views.lbDiscFacts = new QLabel(m_pnlExp);
    facts->setObjectName(QStringLiteral("lbDiscFacts"));
    facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    expBody->addWidget(facts);
    m_txtCDExp = new QPlainTextEdit(m_pnlExp);
    m_txtCDExp->setObjectName(QStringLiteral("txtCDExp"));
    m_txtCDExp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtCDExp->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    expBody->addWidget(m_txtCDExp);
    expLayout->addLayout(expBody, 1);

    m_rightSplitter->setStretchFactor(0, 1);
    m_rightSplitter->setStretchFactor(1, 0);
    // The list has no switch and stays; the notes may be dragged shut, and their switches
    // follow.
    m_rightSplitter->setCollapsible(0, false);
    m_rightSplitter->handle(1)->installEventFilter(this);
    connect(m_rightSplitter, &QSplitter::splitterMoved, this, &MainWindow::expSplitterMoved);
    m_splitter1->setStretchFactor(0, 0);
    m_splitter1->setStretchFactor(1, 1);
    m_splitter1->setSizes({198, 800});
    m_rightSplitter->setSizes({500, 122});
    setCentralWidget(m_splitter1);
}

void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    m_panel0 = new QLabel(bar);
    m_panel0->setObjectName(QStringLiteral("StatusPanel0"));
    m_panel0->setFixedWidth(100);
    m_panel1 = new QLabel(bar);
    m_panel1->setObjectName(QStringLiteral("StatusPanel1"));
    m_panel1->setFixedWidth(150);
    m_panel3 = new QLabel(bar);
    m_panel3->setObjectName(QStringLiteral("StatusPanel3"));
    m_readOnly = new QLabel(QStringLiteral("只读"), bar);
    m_readOnly->setObjectName(QStringLiteral("StatusReadOnly"));
    m_readOnly->setVisible(false);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(14);
    // An idle bar is an empty frame; it keeps to a modest corner instead of the whole bar.
    m_progress->setFixedWidth(160);
    bar->addWidget(m_panel0);
    bar->addWidget(m_panel1);
    bar->addWidget(m_panel3, 1);
    bar->addPermanentWidget(m_readOnly);
    bar->addPermanentWidget(m_progress);

    m_views.window = this;
    m_views.tvMain = m_tvMain;
    m_views.tvCDRom = m_tvCDRom;
    m_views.lvMain = m_lvMain;
    m_views.txtCDExp = m_txtCDExp;
    m_views.lbCDName = m_lbCDName;
    m_views.treePopup = m_tvPopMenu;
    m_views.listPopup = m_lvPopMenu;
    m_views.contentsPopup = m_cdPopMenu;
    m_views.status = {m_panel0, m_panel1, m_panel3, m_progress};
}

} // namespace vorlane
