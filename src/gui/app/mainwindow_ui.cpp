// Building the main window's actions, menus, tool bar, panes and status bar.
#include "gui/app/icons.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categoryview.h"
#include "gui/browser/filelistview.h"

#include <QAction>
#include <QActionGroup>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

QAction* MainWindow::makeAction(const char* name, const QString& text, const QString& hint) {
    auto* a = new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    // Hints are tool tips only: a status tip would cover the state, count and progress
    // panels while the pointer rests on a command.
    if (!hint.isEmpty())
        a->setToolTip(hint);
    m_actions.insert(QLatin1String(name), a);
    return a;
}

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
    // File
    makeAction("FileNew", QStringLiteral("新建文件"), QStringLiteral("新增文件"))
        ->setShortcut(QKeySequence::New);
    makeAction("FileOpen", QStringLiteral("打开"))->setShortcut(QKeySequence::Open);
    for (int n = 1; n <= 4; ++n) {
        const QByteArray m = "MFile" + QByteArray::number(n);
        const QByteArray d = "DMFile" + QByteArray::number(n);
        connect(makeAction(m.constData(), {}), &QAction::triggered, this,
                &MainWindow::recentFileClick);
        connect(makeAction(d.constData(), {}), &QAction::triggered, this,
                &MainWindow::recentFileClick);
    }
    QAction* save = makeAction("MSave", QStringLiteral("保存"), QStringLiteral("保存修改"));
    save->setShortcut(QKeySequence::Save);
    save->setIcon(themeIcon(QStringLiteral("document-save")));
    save->setEnabled(false);
    makeAction("FileSaveAs", QStringLiteral("另存为..."))->setShortcut(QKeySequence::SaveAs);
    makeAction("FilePwd", QStringLiteral("密码设置"))->setEnabled(false);
    makeAction("MExport", QStringLiteral("导出…"), QStringLiteral("导出为 JSON、CSV 或网页"));
    makeAction("MMerge", QStringLiteral("合并…"), QStringLiteral("合并另一个文件或 JSON 导出"));
    QAction* exit = makeAction("FileExit", QStringLiteral("退出"), QStringLiteral("退出"));
    exit->setShortcut(QKeySequence::Quit);
    exit->setIcon(themeIcon(QStringLiteral("application-exit")));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    action("FileNew")->setIcon(themeIcon(QStringLiteral("document-new")));
    action("FileOpen")->setIcon(themeIcon(QStringLiteral("document-open")));

    // Edit
    makeAction("NewChildClass", QStringLiteral("子分类"), QStringLiteral("添加子分类"));
    makeAction("NewBrotherUp", QStringLiteral("同级分类，向上"),
               QStringLiteral("添加同级分类，向上"));
    makeAction("NewBrotherDown", QStringLiteral("同级分类，向下"),
               QStringLiteral("添加同级分类，向下"));
    makeAction("InCD", QStringLiteral("新增光盘"), QStringLiteral("导入光盘/目录内容"));
    makeAction("MOpen", QStringLiteral("开启(&O)"));
    makeAction("MFileExp", QStringLiteral("文件注释"));
    makeAction("MAddDir", QStringLiteral("添加目录"));
    makeAction("MAddFile", QStringLiteral("添加文件"));
    makeAction("RenameNode", QStringLiteral("重命名"));

    // Tools
    makeAction("MCompactFile", QStringLiteral("压缩整理文件"));
    QAction* find = makeAction("MFind", QStringLiteral("查找..."), QStringLiteral("查找..."));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setIcon(themeIcon(QStringLiteral("edit-find")));
    makeAction("MDuplicates", QStringLiteral("重复文件..."), QStringLiteral("重复文件"));
    connect(makeAction("MOptions", QStringLiteral("选项(&O)")), &QAction::triggered, this,
            &MainWindow::MOptionsClick);

    // View: the tool bar's switches and the menu's ticks are separate actions kept in step.
    auto checkable = [this](const char* name, const QString& text, const QString& hint = {}) {
        QAction* a = makeAction(name, text, hint);
        a->setCheckable(true);
        a->setChecked(true);
        return a;
    };
    connect(checkable("ToolVisible", QStringLiteral("显示工具栏")), &QAction::triggered, this,
            &MainWindow::ToolVisibleClick);
    connect(checkable("MViewClass", QStringLiteral("显示分类栏")), &QAction::triggered, this,
            &MainWindow::MViewClassClick);
    connect(checkable("MViewCDRom", QStringLiteral("显示光盘内容")), &QAction::triggered, this,
            &MainWindow::MViewCDRomClick);
    connect(checkable("MViewExp", QStringLiteral("显示光盘注释")), &QAction::triggered, this,
            &MainWindow::MViewExpClick);
    connect(
        checkable("tbViewClass", QStringLiteral("分类"), QStringLiteral("显示/隐藏光盘分类视图")),
        &QAction::triggered, this, &MainWindow::tbViewClassClick);
    connect(
        checkable("tbViewCDRom", QStringLiteral("内容"), QStringLiteral("显示/隐藏光盘内容视图")),
        &QAction::triggered, this, &MainWindow::tbViewCDRomClick);
    connect(checkable("tbViewExp", QStringLiteral("备注"), QStringLiteral("显示/隐藏光盘备注视图")),
            &QAction::triggered, this, &MainWindow::tbViewExpClick);
    action("tbViewClass")->setIcon(themeIcon(QStringLiteral("sidebar-show")));
    action("tbViewCDRom")->setIcon(themeIcon(QStringLiteral("folder")));
    action("tbViewExp")->setIcon(themeIcon(QStringLiteral("text-x-generic")));

    struct Style {
        const char* menu;
        const char* tool;
        QString text;
        void (MainWindow::*slot)();
    };
    const Style styles[] = {
        {"MIcon", "tbIcon", QStringLiteral("大图标"), &MainWindow::tbIconClick},
        {"MSmallIcon", "tbSmallIcon", QStringLiteral("小图标"), &MainWindow::tbSmallIconClick},
        {"MList", "tbList", QStringLiteral("列表"), &MainWindow::tbListClick},
        {"MReport", "tbReport", QStringLiteral("详细资料"), &MainWindow::tbReportClick},
    };
    auto* menuGroup = new QActionGroup(this);
    auto* toolGroup = new QActionGroup(this);
    int key = Qt::Key_1;
    for (const Style& s : styles) {
        QAction* m = makeAction(s.menu, s.text);
        // Ctrl+1 to Ctrl+4, as file managers switch their views.
        m->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(key++)));
        QAction* t = makeAction(s.tool, s.text, s.text);
        for (QAction* a : {m, t}) {
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, s.slot);
        }
        t->setIcon(listStyleIcon(int(&s - styles)));
        menuGroup->addAction(m);
        toolGroup->addAction(t);
    }
    action("MReport")->setChecked(true);
    action("tbReport")->setChecked(true);

    QAction* back = makeAction("tbBack", QStringLiteral("向上"), QStringLiteral("向上"));
    back->setIcon(upIcon());
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    back->setEnabled(false);

    // Help
    QAction* help = makeAction("Help", QStringLiteral("帮助"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, &MainWindow::HelpClick);
    connect(makeAction("MAbout", QStringLiteral("关于...")), &QAction::triggered, this,
            &MainWindow::MAboutClick);
    connect(makeAction("MExample", QStringLiteral("文件示例")), &QAction::triggered, this,
            &MainWindow::MExampleClick);
    connect(makeAction("MHomepage", QStringLiteral("软件升级"),
                       QStringLiteral("https://vorlane.example.org/")),
            &QAction::triggered, this, &MainWindow::MHomepageClick);
    connect(makeAction("MMailtoAuthor", QStringLiteral("技术支持"),
                       QStringLiteral("mailto:support@vorlane.example.org?subject=Vorlane%202.61")),
            &QAction::triggered, this, &MainWindow::MMailtoAuthorClick);

    // Pop-up menu of the category tree.
    makeAction("MAddChildNode", QStringLiteral("子分类"));
    makeAction("MAddUpNode", QStringLiteral("同级分类,向上"));
    makeAction("MAddDownNode", QStringLiteral("同级分类,向下"));
    makeAction("MInCD", QStringLiteral("新增光盘"));
    makeAction("MRescan", QStringLiteral("重新扫描"));
    makeAction("MClassDelete", QStringLiteral("删除(&D)"));
    QAction* rename = makeAction("MRenameNode", QStringLiteral("重命名"));
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    rename->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    makeAction("MFullOpen", QStringLiteral("全部展开"));
    // Pop-up menu of the content tree.
    makeAction("mitCDRomDelete", QStringLiteral("删除(&D)"))->setEnabled(false);
    makeAction("MFullClose", QStringLiteral("全部折叠"));
    makeAction("MVerify", QStringLiteral("校验光盘"),
               QStringLiteral("读回光盘上的每个文件，与目录中的记录比较"));

    // Pop-up menu of the file list.
    QAction* open = makeAction("mitOpen", QStringLiteral("开启(&O)"));
    QFont bold = open->font();
    bold.setBold(true);
    open->setFont(bold);
    makeAction("mitDelete", QStringLiteral("删除(&D)"));
    makeAction("mitFileExp", QStringLiteral("注释"));
    makeAction("mitAddDir", QStringLiteral("添加目录"));
    makeAction("mitAddFile", QStringLiteral("添加文件"));
    QAction* all = makeAction("mitSelAll", QStringLiteral("全选"));
    all->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    all->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    for (const char* name : {"mitOpen", "mitDelete", "mitFileExp", "mitAddDir", "mitAddFile",
                             "MOpen", "MFileExp", "MAddDir", "MAddFile"})
        action(name)->setEnabled(false);
}

void MainWindow::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("文 件(&F)"));
    file->setObjectName(QStringLiteral("MFileMenu"));
    file->addAction(action("FileNew"));
    file->addAction(action("FileOpen"));
    m_recentMenu = file->addMenu(QStringLiteral("打开最近"));
    m_recentMenu->setObjectName(QStringLiteral("MOpenRecent"));
    for (int n = 1; n <= 4; ++n)
        m_recentMenu->addAction(action(("MFile" + QByteArray::number(n)).constData()));
    file->addAction(action("MSave"));
    file->addAction(action("FileSaveAs"));
    file->addSeparator();
    file->addAction(action("FilePwd"));
    file->addSeparator();
    file->addAction(action("MExport"));
    file->addAction(action("MMerge"));
    file->addSeparator();
    file->addAction(action("FileExit"));

    QMenu* edit = bar->addMenu(QStringLiteral("编 辑 (&E)"));
    edit->setObjectName(QStringLiteral("MEditMenu"));
    QMenu* add = edit->addMenu(QStringLiteral("新增分类"));
    add->setObjectName(QStringLiteral("MNewClass"));
    add->addAction(action("NewChildClass"));
    add->addSeparator();
    add->addAction(action("NewBrotherUp"));
    add->addAction(action("NewBrotherDown"));
    edit->addAction(action("InCD"));
    edit->addSeparator();
    edit->addAction(action("MOpen"));
    edit->addAction(action("MFileExp"));
    edit->addSeparator();
    edit->addAction(action("MAddDir"));
    edit->addAction(action("MAddFile"));
    edit->addSeparator();
    edit->addAction(action("RenameNode"));

    QMenu* tools = bar->addMenu(QStringLiteral("工具(&T)"));
    tools->setObjectName(QStringLiteral("MToolsMenu"));
    tools->addAction(action("MCompactFile"));
    tools->addAction(action("MFind"));
    tools->addAction(action("MDuplicates"));
    tools->addSeparator();
    tools->addAction(action("MOptions"));

    QMenu* view = bar->addMenu(QStringLiteral("视 图(&V)"));
    view->setObjectName(QStringLiteral("MViewMenu"));
    view->addAction(action("ToolVisible"));
    view->addSeparator();
    view->addAction(action("MViewClass"));
    view->addAction(action("MViewCDRom"));
    view->addAction(action("MViewExp"));
    view->addSeparator();
    for (const char* name : {"MIcon", "MSmallIcon", "MList", "MReport"})
        view->addAction(action(name));

    QMenu* help = bar->addMenu(QStringLiteral("帮 助(&H)"));
    help->setObjectName(QStringLiteral("MHelpMenu"));
    help->addAction(action("Help"));
    help->addSeparator();
    help->addAction(action("MExample"));
    help->addAction(action("MHomepage"));
    help->addAction(action("MMailtoAuthor"));
    help->addSeparator();
    help->addAction(action("MAbout"));

    m_tvPopMenu = new QMenu(this);
    m_tvPopMenu->setObjectName(QStringLiteral("TVPopMenu"));
    QMenu* create = m_tvPopMenu->addMenu(QStringLiteral("创建分类"));
    create->setObjectName(QStringLiteral("MCreateClass"));
    create->addAction(action("MAddChildNode"));
    create->addSeparator();
    create->addAction(action("MAddUpNode"));
    create->addAction(action("MAddDownNode"));
    m_tvPopMenu->addAction(action("MInCD"));
    m_tvPopMenu->addAction(action("MRescan"));
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addAction(action("MClassDelete"));
    m_tvPopMenu->addAction(action("MRenameNode"));
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addAction(action("MVerify"));
    m_tvPopMenu->addSeparator();
    m_tvPopMenu->addAction(action("MFullOpen"));
    m_tvPopMenu->addAction(action("MFullClose"));

    m_cdPopMenu = new QMenu(this);
    m_cdPopMenu->setObjectName(QStringLiteral("PopMenuCDRom"));
    m_cdPopMenu->addAction(action("mitCDRomDelete"));

    m_lvPopMenu = new QMenu(this);
    m_lvPopMenu->setObjectName(QStringLiteral("PopMenuLvMain"));
    m_lvPopMenu->addAction(action("mitOpen"));
    m_lvPopMenu->setDefaultAction(action("mitOpen"));
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(action("mitDelete"));
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(action("mitFileExp"));
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(action("mitAddDir"));
    m_lvPopMenu->addAction(action("mitAddFile"));
    m_lvPopMenu->addSeparator();
    m_lvPopMenu->addAction(action("mitSelAll"));
}

void MainWindow::createToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("工具栏"), this);
    m_toolBar->setObjectName(QStringLiteral("CoolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // The window's own context menu hides the tool bar as well; the tick follows.
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this] { action("ToolVisible")->setChecked(!m_toolBar->isHidden()); });

    auto add = [this](const char* actionName, const char* buttonName) {
        m_toolBar->addAction(action(actionName));
        QWidget* b = m_toolBar->widgetForAction(action(actionName));
        b->setObjectName(QLatin1String(buttonName));
    };
    add("FileNew", "tbNew");
    // Open, with the recent files as a drop-down.
    auto* open = new QToolButton(m_toolBar);
    open->setObjectName(QStringLiteral("tbOpenFile"));
    open->setToolTip(QStringLiteral("打开最近文件"));
    open->setIcon(themeIcon(QStringLiteral("document-open")));
    open->setPopupMode(QToolButton::MenuButtonPopup);
    m_recentDropDown = new QMenu(open);
    m_recentDropDown->setObjectName(QStringLiteral("DMOpenRecent"));
    for (int n = 1; n <= 4; ++n)
        m_recentDropDown->addAction(action(("DMFile" + QByteArray::number(n)).constData()));
    open->setMenu(m_recentDropDown);
    connect(open, &QToolButton::clicked, action("FileOpen"), &QAction::trigger);
    m_toolBar->addWidget(open);
    add("MSave", "tbSave");
    m_toolBar->addSeparator();
    m_toolBar->addAction(action("tbViewClass"));
    m_toolBar->addAction(action("tbViewCDRom"));
    m_toolBar->addAction(action("tbViewExp"));
    m_toolBar->addSeparator();
    add("MFind", "tbFind");
    m_toolBar->addAction(action("tbBack"));
    m_toolBar->addSeparator();
    for (const char* name : {"tbIcon", "tbSmallIcon", "tbList", "tbReport"})
        m_toolBar->addAction(action(name));
    m_toolBar->addSeparator();
    add("FileExit", "tbExit");
    for (const char* name : {"tbViewClass", "tbViewCDRom", "tbViewExp", "tbBack", "tbIcon",
                             "tbSmallIcon", "tbList", "tbReport"})
        m_toolBar->widgetForAction(action(name))
            ->setObjectName(QLatin1String(name) + QStringLiteral("Button"));
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
        const char* action;
        CaptionIcon icon;
    };
    for (const Btn& b : {Btn{"btnAddChild", "NewChildClass", CaptionIcon::AddChild},
                         Btn{"btnAddUp", "NewBrotherUp", CaptionIcon::AddAbove},
                         Btn{"btnAddDown", "NewBrotherDown", CaptionIcon::AddBelow},
                         Btn{"btnInCD", "InCD", CaptionIcon::Import}}) {
        QToolButton* tb = makeButton(classTop, b.name, {}, action(b.action)->toolTip());
        tb->setIcon(captionIcon(b.icon));
        tb->setEnabled(false);
        connect(tb, &QToolButton::clicked, action(b.action), &QAction::trigger);
        classBar->addWidget(tb);
    }
    QToolButton* del =
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
    m_tvMain->addAction(action("MRenameNode"));
    classLayout->addWidget(m_tvMain);

    m_pnlCDRom = new QWidget(m_splitter2);
    m_pnlCDRom->setObjectName(QStringLiteral("PnlCDRom"));
    auto* cdLayout = new QVBoxLayout(m_pnlCDRom);
    cdLayout->setContentsMargins(0, 0, 0, 0);
    cdLayout->setSpacing(0);
    QWidget* cdTop = captionBar(m_pnlCDRom, "pnlCDRomTop", QStringLiteral(" 光盘内容"));
    auto* cdBar = static_cast<QHBoxLayout*>(cdTop->layout());
    QToolButton* cdDel =
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
    m_lvMain = new FileListView(m_rightSplitter);
    m_lvMain->addAction(action("mitSelAll"));

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
    QToolButton* expSave =
        makeButton(m_pnlExp, "btnExpSave", {}, QStringLiteral("保存当前备注的修改"),
                   QStringLiteral("document-save"));
    expSave->setEnabled(false);
    QToolButton* inExp = makeButton(m_pnlExp, "btnInExp", {}, QStringLiteral("从文件导入..."),
                                    QStringLiteral("document-open"));
    inExp->setEnabled(false);
    QToolButton* expClose = makeButton(m_pnlExp, "btnExpClose", QStringLiteral("X"), {});
    connect(expClose, &QToolButton::clicked, this, &MainWindow::btnExpCloseClick);
    expTop->addWidget(expSave);
    expTop->addWidget(inExp);
    expTop->addWidget(expClose);
    expBody->addLayout(expTop);
    // The shown disc's import facts, filled by the notes panel.
    auto* facts = new QLabel(m_pnlExp);
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
}

} // namespace vorlane
