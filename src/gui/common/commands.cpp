#include "gui/common/commands.h"

#include <QAction>
#include <QActionGroup>
#include <QFont>
#include <QToolButton>

namespace vorlane {

QAction* Commands::make(const char* name, const QString& text, const QString& hint) {
    auto* a = new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    // Hints are tool tips only: a status tip would cover the state, count and progress
    // panels while the pointer rests on a command.
    if (!hint.isEmpty())
        a->setToolTip(hint);
    return a;
}

Commands::Commands(QObject* parent) : QObject(parent) {
    // File
    FileNew = make("FileNew", QStringLiteral("新建文件"), QStringLiteral("新增文件"));
    FileNew->setShortcut(QKeySequence::New);
    FileOpen = make("FileOpen", QStringLiteral("打开"));
    FileOpen->setShortcut(QKeySequence::Open);
    for (int n = 0; n < 4; ++n) {
        MFile[n] = make(("MFile" + QByteArray::number(n + 1)).constData(), {});
        DMFile[n] = make(("DMFile" + QByteArray::number(n + 1)).constData(), {});
    }
    MSave = make("MSave", QStringLiteral("保存"), QStringLiteral("保存修改"));
    MSave->setShortcut(QKeySequence::Save);
    MSave->setEnabled(false);
    FileSaveAs = make("FileSaveAs", QStringLiteral("另存为..."));
    FileSaveAs->setShortcut(QKeySequence::SaveAs);
    FilePwd = make("FilePwd", QStringLiteral("密码设置"));
    FilePwd->setEnabled(false);
    MExport = make("MExport", QStringLiteral("导出…"), QStringLiteral("导出为 JSON、CSV 或网页"));
    MMerge = make("MMerge", QStringLiteral("合并…"), QStringLiteral("合并另一个文件或 JSON 导出"));
    FileExit = make("FileExit", QStringLiteral("退出"), QStringLiteral("退出"));
    FileExit->setShortcut(QKeySequence::Quit);

    // Edit
    NewChildClass = make("NewChildClass", QStringLiteral("子分类"), QStringLiteral("添加子分类"));
    NewBrotherUp = make("NewBrotherUp", QStringLiteral("同级分类，向上"),
                        QStringLiteral("添加同级分类，向上"));
    NewBrotherDown = make("NewBrotherDown", QStringLiteral("同级分类，向下"),
                          QStringLiteral("添加同级分类，向下"));
    InCD = make("InCD", QStringLiteral("新增光盘"), QStringLiteral("导入光盘/目录内容"));
    InCD->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    MOpen = make("MOpen", QStringLiteral("开启(&O)"));
    MFileExp = make("MFileExp", QStringLiteral("文件注释"));
    MAddDir = make("MAddDir", QStringLiteral("添加目录"));
    MAddFile = make("MAddFile", QStringLiteral("添加文件"));
    RenameNode = make("RenameNode", QStringLiteral("重命名"));

    // Tools
    MCompactFile = make("MCompactFile", QStringLiteral("压缩整理文件"));
    MFind = make("MFind", QStringLiteral("查找..."), QStringLiteral("查找..."));
    MFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    MSearchBar = make("MSearchBar", QStringLiteral("搜索栏"), QStringLiteral("搜索整个目录"));
    MSearchBar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    MDuplicates = make("MDuplicates", QStringLiteral("重复文件..."), QStringLiteral("重复文件"));
    MCopies =
        make("MCopies", QStringLiteral("副本统计..."), QStringLiteral("只在少数光盘上的文件"));
    MOptions = make("MOptions", QStringLiteral("选项(&O)"));

    // View
    auto checkable = [this](const char* name, const QString& text, const QString& hint = {}) {
        QAction* a = make(name, text, hint);
        a->setCheckable(true);
        a->setChecked(true);
        return a;
    };
    ToolVisible = checkable("ToolVisible", QStringLiteral("显示工具栏"));
    MViewClass = checkable("MViewClass", QStringLiteral("显示分类栏"),
                           QStringLiteral("显示/隐藏光盘分类视图"));
    MViewCDRom = checkable("MViewCDRom", QStringLiteral("显示光盘内容"),
                           QStringLiteral("显示/隐藏光盘内容视图"));
    MViewExp = checkable("MViewExp", QStringLiteral("显示光盘注释"),
                         QStringLiteral("显示/隐藏光盘备注视图"));
    // The tool bar shows the switches' short names.
    MViewClass->setIconText(QStringLiteral("分类"));
    MViewCDRom->setIconText(QStringLiteral("内容"));
    MViewExp->setIconText(QStringLiteral("备注"));
    MPreview =
        make("MPreview", QStringLiteral("显示预览窗格"), QStringLiteral("显示/隐藏预览窗格"));
    MPreview->setCheckable(true);

    listStyles = new QActionGroup(this);
    const QString styleTexts[] = {QStringLiteral("大图标"), QStringLiteral("小图标"),
                                  QStringLiteral("列表"), QStringLiteral("详细资料")};
    const char* const styleNames[] = {"MIcon", "MSmallIcon", "MList", "MReport"};
    QAction** const styles[] = {&MIcon, &MSmallIcon, &MList, &MReport};
    for (int i = 0; i < 4; ++i) {
        QAction* a = make(styleNames[i], styleTexts[i], styleTexts[i]);
        // Ctrl+1 to Ctrl+4, as file managers switch their views.
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)));
        a->setCheckable(true);
        listStyles->addAction(a);
        *styles[i] = a;
    }
    MReport->setChecked(true);

    tbBack = make("tbBack", QStringLiteral("向上"), QStringLiteral("向上"));
    tbBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    tbBack->setEnabled(false);

    // Help
    Help = make("Help", QStringLiteral("帮助"));
    Help->setShortcut(QKeySequence(Qt::Key_F1));
    MAbout = make("MAbout", QStringLiteral("关于..."));
    MExample = make("MExample", QStringLiteral("文件示例"));
    MHomepage = make("MHomepage", QStringLiteral("软件升级"),
                     QStringLiteral("https://vorlane.example.org/"));
    MMailtoAuthor =
        make("MMailtoAuthor", QStringLiteral("技术支持"),
             QStringLiteral("mailto:support@vorlane.example.org?subject=Vorlane%202.61"));

    // Pop-up menu of the category tree.
    MAddChildNode = make("MAddChildNode", QStringLiteral("子分类"));
    MAddUpNode = make("MAddUpNode", QStringLiteral("同级分类,向上"));
    MAddDownNode = make("MAddDownNode", QStringLiteral("同级分类,向下"));
    MInCD = make("MInCD", QStringLiteral("新增光盘"));
    MRescan = make("MRescan", QStringLiteral("重新扫描"));
    MClassDelete = make("MClassDelete", QStringLiteral("删除(&D)"));
    MRenameNode = make("MRenameNode", QStringLiteral("重命名"));
    MRenameNode->setShortcut(QKeySequence(Qt::Key_F2));
    MRenameNode->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    MFullOpen = make("MFullOpen", QStringLiteral("全部展开"));
    MFullClose = make("MFullClose", QStringLiteral("全部折叠"));
    MVerify = make("MVerify", QStringLiteral("校验光盘"),
                   QStringLiteral("读回光盘上的每个文件，与目录中的记录比较"));
    MDiscProperties = make("MDiscProperties", QStringLiteral("属性"));
    MDiscProperties->setEnabled(false);
    // Pop-up menu of the content tree.
    mitCDRomDelete = make("mitCDRomDelete", QStringLiteral("删除(&D)"));
    mitCDRomDelete->setEnabled(false);

    // Pop-up menu of the file list.
    mitOpen = make("mitOpen", QStringLiteral("开启(&O)"));
    QFont bold = mitOpen->font();
    bold.setBold(true);
    mitOpen->setFont(bold);
    mitDelete = make("mitDelete", QStringLiteral("删除(&D)"));
    mitFileExp = make("mitFileExp", QStringLiteral("注释"));
    mitAddDir = make("mitAddDir", QStringLiteral("添加目录"));
    mitAddFile = make("mitAddFile", QStringLiteral("添加文件"));
    mitSelAll = make("mitSelAll", QStringLiteral("全选"));
    mitSelAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    mitSelAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    mitCopyPath = make("mitCopyPath", QStringLiteral("复制路径"));
    mitProperties = make("mitProperties", QStringLiteral("属性"));
    // Alt+Enter, as file managers show properties; only while the list has the focus.
    mitProperties->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    mitProperties->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    for (QAction* a : {mitOpen, mitDelete, mitFileExp, mitAddDir, mitAddFile, MOpen, MFileExp,
                       MAddDir, MAddFile})
        a->setEnabled(false);
}

void enableAll(std::initializer_list<QAction*> actions, std::initializer_list<QToolButton*> buttons,
               bool on) {
    for (QAction* a : actions)
        a->setEnabled(on);
    for (QToolButton* b : buttons)
        b->setEnabled(on);
}

} // namespace vorlane
