#include "gui/interchange/interchangehandler.h"
#include "gui/common/commands.h"

#include "core/interchange/interchangejobs.h"
#include "core/store/catalogsession.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/store/passworddialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

ExportDialog::ExportDialog(QWidget* parent, qint64 categoryId, qint64 discId)
    : QDialog(parent), m_categoryId(categoryId), m_discId(discId) {
    setObjectName(QStringLiteral("ExportFrm"));
    setWindowTitle(QStringLiteral("导出"));
    setModal(true);
    auto* scope = new QGroupBox(QStringLiteral("范围"), this);
    m_catalog = new QRadioButton(QStringLiteral("整个文件"), scope);
    m_catalog->setObjectName(QStringLiteral("rbCatalog"));
    m_category = new QRadioButton(QStringLiteral("所选分类（含子分类）"), scope);
    m_category->setObjectName(QStringLiteral("rbCategory"));
    m_category->setEnabled(categoryId > 0);
    m_disc = new QRadioButton(QStringLiteral("所选光盘"), scope);
    m_disc->setObjectName(QStringLiteral("rbDisc"));
    m_disc->setEnabled(discId > 0);
    (discId > 0 ? m_disc : categoryId > 0 ? m_category : m_catalog)->setChecked(true);
    auto* scopeLayout = new QVBoxLayout(scope);
    scopeLayout->addWidget(m_catalog);
    scopeLayout->addWidget(m_category);
    scopeLayout->addWidget(m_disc);
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("cbFormat"));
    m_format->addItem(QStringLiteral("JSON（完整，可合并）"), int(ExportFormat::Json));
    m_format->addItem(QStringLiteral("CSV（电子表格）"), int(ExportFormat::Csv));
    m_format->addItem(QStringLiteral("HTML（网页）"), int(ExportFormat::Html));
    m_bom = new QCheckBox(QStringLiteral("CSV 文件带字节顺序标记（BOM）"), this);
    m_bom->setObjectName(QStringLiteral("chkBom"));
    m_bom->setChecked(true);
    m_bom->setEnabled(false);
    // Off by default: a spreadsheet would run a cell such as "=..." as a formula.
    m_formulas = new QCheckBox(QStringLiteral("CSV 按原样写出公式"), this);
    m_formulas->setObjectName(QStringLiteral("chkCsvFormulas"));
    m_formulas->setToolTip(QStringLiteral("不选时，以 = + - @ 开头的单元格前加一个撇号，"
                                          "电子表格便把它当作文字，而不当作公式执行。"));
    m_formulas->setEnabled(false);
    connect(m_format, &QComboBox::currentIndexChanged, this, [this] {
        const bool csv = ExportFormat(m_format->currentData().toInt()) == ExportFormat::Csv;
        m_bom->setEnabled(csv);
        m_formulas->setEnabled(csv);
    });
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scope);
    layout->addWidget(new QLabel(QStringLiteral("格式："), this));
    layout->addWidget(m_format);
    layout->addWidget(m_bom);
    layout->addWidget(m_formulas);
    layout->addWidget(buttons);
}

ExportOptions ExportDialog::options() const {
    ExportOptions o;
    if (m_category->isChecked())
        o.scope = {ExportScope::Kind::Category, m_categoryId, {}};
    else if (m_disc->isChecked())
        o.scope = {ExportScope::Kind::Disc, m_discId, {}};
    o.format = ExportFormat(m_format->currentData().toInt());
    o.byteOrderMark = o.format == ExportFormat::Csv && m_bom->isChecked();
    o.csvFormulas = o.format == ExportFormat::Csv && m_formulas->isChecked();
    return o;
}

InterchangeHandler::InterchangeHandler(CatalogSession& session, Commands& commands,
                                       const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views) {
    setObjectName(QStringLiteral("InterchangeHandler"));
    connect(m_commands.MExport, &QAction::triggered, this, &InterchangeHandler::MExportClick);
    connect(m_commands.MMerge, &QAction::triggered, this, &InterchangeHandler::MMergeClick);
}

void InterchangeHandler::MExportClick() {
    Database& db = m_session.db();
    if (!db.isOpen() || m_job)
        return;
    QTreeWidgetItem* node = m_views.tvMain->currentItem();
    const qint64 disc = nodes::isDisc(node) && nodes::hasId(node) ? nodes::id(node) : 0;
    const qint64 category = nodes::isCategory(node) && nodes::hasId(node) ? nodes::id(node) : 0;
    ExportDialog dialog(m_views.window, category, disc);
    if (prompts().exec(&dialog) != QDialog::Accepted)
        return;
    runExport(dialog.options(), m_views.window);
}

void InterchangeHandler::exportItems(std::vector<ExportItem> items, QWidget* parent) {
    if (!m_session.db().isOpen() || m_job)
        return;
    ExportOptions options;
    options.scope.kind = ExportScope::Kind::Items;
    options.scope.items = std::move(items);
    options.format = ExportFormat::Csv;
    options.byteOrderMark = true; // spreadsheet programs need it to read the Chinese text
    runExport(std::move(options), parent);
}

void InterchangeHandler::runExport(ExportOptions options, QWidget* parent) {
    const QString catalog = m_session.db().path();
    options.title = QFileInfo(catalog).completeBaseName();
    static const char* const filters[] = {"JSON 文件 (*.json)", "CSV 文件 (*.csv)",
                                          "HTML 文件 (*.html)"};
    const QString suffix = exportSuffix(options.format);
    QString target = prompts().saveFile(parent, QStringLiteral("导出"),
                                        options.title + QLatin1Char('.') + suffix,
                                        QString::fromUtf8(filters[int(options.format)]));
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix().isEmpty())
        target += QLatin1Char('.') + suffix;
    auto* job = new ExportJob(catalog, options, target, this);
    m_job = job;
    ProgressWindow::start(job, QStringLiteral("正在导出…"), parent ? parent : m_views.window,
                          [this, job, owner = QPointer<QWidget>(parent)] {
                              m_job = nullptr;
                              job->deleteLater();
                              if (!job->error().isEmpty())
                                  prompts().error(owner ? owner.data() : m_views.window,
                                                  QStringLiteral("导出失败：") + job->error(),
                                                  QStringLiteral("提示"));
                              else if (job->result() == ExportResult::Done)
                                  m_views.status.state->setText(QStringLiteral("导出完成"));
                              emit exportFinished();
                          });
}

namespace {

// The media facts and thumbnails that came along, and those a source made elsewhere held
// that could not stand.
QString mediaSummary(const MergeReport& report) {
    QString text;
    if (report.media || report.thumbnails)
        text += QStringLiteral("\r\n带入 %1 个条目的媒体信息、%2 个缩略图。")
                    .arg(report.media)
                    .arg(report.thumbnails);
    const qint64 left = report.orphanMedia + report.badThumbnails + report.badFacts;
    if (left)
        text += QStringLiteral("\r\n舍弃无效的媒体信息或缩略图 %1 项。").arg(left);
    return text;
}

// What another program's file brought, and what it held that could not be carried over.
QString foreignSummary(const MergeReport& report) {
    if (report.format.isEmpty())
        return {};
    QString text = QStringLiteral("\r\n按 %1 格式读取：%2 个文件夹、%3 个文件、%4 个校验值。")
                       .arg(report.format)
                       .arg(report.folders)
                       .arg(report.files)
                       .arg(report.hashes);
    if (!report.dropped.isEmpty())
        text += QStringLiteral("\r\n未能带入：\r\n") + report.dropped.join(QStringLiteral("\r\n"));
    return text;
}

} // namespace

void InterchangeHandler::MMergeClick() {
    Database& db = m_session.db();
    if (!db.isOpen() || m_job)
        return;
    if (!m_session.fullAccess()) {
        prompts().error(m_views.window, QStringLiteral("当前文件以只读方式打开，不能合并。"),
                        QStringLiteral("提示"));
        return;
    }
    if (m_session.isModified()) {
        prompts().info(m_views.window, QStringLiteral("请先保存当前文件的修改，再进行合并。"),
                       QStringLiteral("提示"));
        return;
    }
    const QString source = prompts().openFile(
        m_views.window, QStringLiteral("合并"),
        QStringLiteral("可合并的文件 (*.vlr *.json *.hcf *.csv *.txt *.idx *.ctg *.md5 *.sha1 "
                       "*.sha256 *.hashdeep);;Vorlane 文件 (*.vlr);;JSON 导出文件 (*.json);;"
                       "CDCat 文件 (*.hcf);;VVV 导出表格 (*.csv *.txt);;Katalog 文件 (*.idx);;"
                       "catcli 文件 (*.json);;GWhere 文件 (*.ctg);;"
                       "hashdeep 与校验和清单 (*.txt *.md5 *.sha1 *.sha256 *.hashdeep);;"
                       "所有文件 (*)"));
    if (source.isEmpty())
        return;
    MergeOptions options;
    options.source = source;
    QList<DuplicateDisc> duplicates;
    MergeReport look;
    {
        WaitCursor wait;
        look = findDuplicates(db, options, duplicates);
    }
    if (look.status == MergeStatus::NeedsPassword) {
        OpenPasswordDialog ask(m_views.window, source, [&](const QString& typed) {
            options.sourcePassword = typed;
            look = findDuplicates(db, options, duplicates);
            return look.status != MergeStatus::WrongPassword &&
                   look.status != MergeStatus::NeedsPassword;
        });
        prompts().exec(&ask);
        if (ask.mode() == AccessMode::Refused)
            return;
    }
    if (look.status == MergeStatus::Failed) {
        prompts().error(m_views.window, QStringLiteral("合并失败，当前文件没有改动：") + look.error,
                        QStringLiteral("提示"));
        return;
    }
    QSet<qint64> keep;
    for (const DuplicateDisc& d : duplicates) {
        QString text = QStringLiteral("光盘“") + d.name + QStringLiteral("”");
        if (!d.label.isEmpty())
            text += QStringLiteral("（卷标：") + d.label + QStringLiteral("）");
        text += QStringLiteral("已在当前文件中。\r\n两者都保留吗？选“否”则跳过该光盘。");
        if (prompts().message(m_views.window, text, QStringLiteral("合并"), QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes)
            keep.insert(d.sourceId);
    }
    auto* job = new MergeJob(db.path(), options, keep, this);
    m_job = job;
    ProgressWindow::start(job, QStringLiteral("正在合并…"), m_views.window, [this, job] {
        m_job = nullptr;
        job->deleteLater();
        const MergeReport report = job->report();
        m_session.notifyJobWrote(job->written());
        if (report.status == MergeStatus::Done) {
            // The new categories and discs are shown by loading the tree again.
            m_session.notifyTreeChanged();
            prompts().info(m_views.window,
                           QStringLiteral("合并完成：新增 %1 个分类、%2 张光盘、%3 个条目。")
                                   .arg(report.categories)
                                   .arg(report.discs)
                                   .arg(report.entries) +
                               (report.skipped.isEmpty()
                                    ? QString()
                                    : QStringLiteral("\r\n跳过 %1 张重复的光盘。")
                                          .arg(report.skipped.size())) +
                               mediaSummary(report) + foreignSummary(report),
                           QStringLiteral("提示"));
        } else if (report.status == MergeStatus::Failed) {
            prompts().error(m_views.window,
                            QStringLiteral("合并失败，当前文件没有改动：") + report.error,
                            QStringLiteral("提示"));
        }
        emit mergeFinished();
    });
}

} // namespace vorlane
