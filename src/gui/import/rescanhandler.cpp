#include "gui/import/rescanhandler.h"
#include "gui/common/commands.h"

#include "core/settings/settings.h"
#include "core/store/catalogsession.h"
#include "core/store/database.h"
#include "core/store/entrychain.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/import/rescanoptions.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

QString RescanReportDialog::changeLine(const RescanChange& c) {
    const QString path = c.path + (c.isDir ? QStringLiteral("/") : QString());
    switch (c.kind) {
    case RescanChange::Kind::Added:
        return QStringLiteral("+ ") + path;
    case RescanChange::Kind::Changed:
        return QStringLiteral("~ ") + path;
    case RescanChange::Kind::Removed:
        break;
    }
    QString line = QStringLiteral("- ") + path;
    if (!c.note.isEmpty())
        line += QStringLiteral("  （备注将一并删除：") +
                QString(c.note).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QStringLiteral("）");
    return line;
}

RescanReportDialog::RescanReportDialog(const RescanReport& report, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RescanReportFrm"));
    setWindowTitle(QStringLiteral("重新扫描"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* counts = new QLabel(this);
    counts->setObjectName(QStringLiteral("lbCounts"));
    counts->setTextFormat(Qt::PlainText);
    counts->setText(QStringLiteral("%1\n新增：%2，删除：%3，修改：%4，未变：%5")
                        .arg(report.root)
                        .arg(report.added)
                        .arg(report.removed)
                        .arg(report.changed)
                        .arg(report.unchanged));
    layout->addWidget(counts);
    if (report.notesLost > 0 || report.unreadable > 0) {
        QStringList warnings;
        if (report.notesLost > 0)
            warnings << QStringLiteral("有 %1 个要删除的条目带有备注，备注将一并删除。")
                            .arg(report.notesLost);
        if (report.unreadable > 0)
            warnings << QStringLiteral("有 %1 个文件夹无法读取，其中的条目保持不变（第一个：%2）。")
                            .arg(report.unreadable)
                            .arg(report.firstUnreadable);
        auto* warning = new QLabel(warnings.join(QLatin1Char('\n')), this);
        warning->setObjectName(QStringLiteral("lbWarning"));
        warning->setTextFormat(Qt::PlainText);
        warning->setStyleSheet(QStringLiteral("color: red"));
        layout->addWidget(warning);
    }
    auto* list = new QPlainTextEdit(this);
    list->setObjectName(QStringLiteral("txtChanges"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList lines;
    lines.reserve(qsizetype(report.changes.size()));
    for (const RescanChange& c : report.changes) {
        lines << changeLine(c);
        // A name may hold a line break: the change then spans several lines.
        for (qsizetype n = lines.last().count(QLatin1Char('\n')); n >= 0; --n)
            m_blockPaths.push_back(c.path);
    }
    list->setPlainText(lines.join(QLatin1Char('\n')));
    m_list = list;
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->setMinimumSize(560, 320);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* apply = buttons->addButton(QStringLiteral("应用"), QDialogButtonBox::AcceptRole);
    apply->setObjectName(QStringLiteral("btnApply"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void RescanReportDialog::chooseLine(int block) {
    if (block >= 0 && size_t(block) < m_blockPaths.size())
        emit changeChosen(m_blockPaths[size_t(block)]);
}

bool RescanReportDialog::eventFilter(QObject* watched, QEvent* event) {
    if (!m_list)
        return QDialog::eventFilter(watched, event);
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* click = static_cast<QMouseEvent*>(event);
        chooseLine(m_list->cursorForPosition(click->position().toPoint()).blockNumber());
        return true;
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter on a line jumps to it instead of pressing 应用.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            chooseLine(m_list->textCursor().blockNumber());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

RescanHandler::RescanHandler(CatalogSession& session, Commands& commands, const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views) {
    setObjectName(QStringLiteral("RescanHandler"));
    connect(m_commands.MRescan, &QAction::triggered, this, &RescanHandler::MRescanClick);
}

void RescanHandler::run(RescanJob& job) {
    ProgressWindow::run(job, QStringLiteral("正在重新扫描…"), m_views.window);
}

void RescanHandler::showPath(qint64 discId, const QString& path) {
    const QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    try {
        for (qsizetype n = names.size(); n > 0; --n) {
            const qint64 id = contentstore::entryAtPath(m_session.db(), discId, names.first(n));
            if (id == 0)
                continue; // added: not in the catalog yet
            if (n < names.size()) {
                emit showEntryRequested(discId, id, 0);
            } else if (const auto link = contentstore::entryLink(m_session.db(), id)) {
                emit showEntryRequested(discId, link->fatherId, id);
            }
            return;
        }
        emit showEntryRequested(discId, 0, 0);
    } catch (const DbError& e) {
        prompts().error(m_views.window, e.text(), QStringLiteral("提示"));
    }
}

void RescanHandler::MRescanClick() {
    QTreeWidgetItem* node = m_views.tvMain->currentItem();
    if (!nodes::isDisc(node) || !nodes::hasId(node) || !m_session.fullAccess() ||
        !m_session.db().isOpen())
        return;
    const qint64 disc = nodes::id(node);
    const QString catalog = m_session.db().path();

    // The options the walk repeats are shown first, to be kept or changed.
    std::optional<ScanParams> options;
    try {
        options = rescanOptions(m_session.db(), disc, Settings().nameEncoding());
    } catch (const DbError& e) {
        prompts().error(m_views.window, QStringLiteral("重新扫描失败：") + e.text(),
                        QStringLiteral("提示"));
        return;
    }
    if (options && !rootPrefix(options->root).isEmpty()) {
        RescanOptionsDialog ask(*options, m_views.window);
        if (prompts().exec(&ask) != QDialog::Accepted)
            return;
        options = ask.options();
    }

    RescanReport report;
    std::shared_ptr<const RescanPlan> plan;
    {
        RescanJob compare(catalog, disc, {}, Settings().nameEncoding(), options);
        run(compare);
        report = compare.report();
        plan = compare.plan();
    }
    if (report.failure == RescanReport::Failure::Catalog) {
        // The file cannot be opened a second time: compare on the window's connection.
        auto own = std::make_shared<RescanPlan>();
        report = compareRescan(m_session.db(), disc, {}, {}, *own, Settings().nameEncoding(), true,
                               options);
        plan = own;
    }
    switch (report.failure) {
    case RescanReport::Failure::None:
        break;
    case RescanReport::Failure::NoRoot:
        prompts().error(m_views.window,
                        QStringLiteral("这张光盘没有记录来源文件夹，无法重新扫描。"),
                        QStringLiteral("提示"));
        return;
    case RescanReport::Failure::RootUnreadable:
        prompts().error(m_views.window,
                        QStringLiteral("无法读取文件夹 %1：%2\r\n目录没有任何改动。")
                            .arg(report.firstUnreadable, report.unreadableReason),
                        QStringLiteral("提示"));
        return;
    case RescanReport::Failure::NoDisc:
    case RescanReport::Failure::Catalog:
    case RescanReport::Failure::Write:
        prompts().error(m_views.window, QStringLiteral("重新扫描失败：") + report.error,
                        QStringLiteral("提示"));
        return;
    }
    if (report.cancelled || !plan)
        return;

    {
        RescanReportDialog review(report, m_views.window);
        connect(&review, &RescanReportDialog::changeChosen, this,
                [this, disc](const QString& path) { showPath(disc, path); });
        if (prompts().exec(&review) != QDialog::Accepted)
            return;
    }
    bool applied = false;
    QString error;
    searchstore::WriteReport written;
    {
        RescanJob write(catalog, plan);
        run(write);
        applied = write.applied();
        error = write.report().error;
        written = write.written();
        if (write.report().failure == RescanReport::Failure::Catalog)
            applied = applyRescan(m_session.db(), *plan, nullptr, &error);
    }
    m_session.notifyJobWrote(written);
    if (!applied) {
        if (!error.isEmpty())
            prompts().error(m_views.window,
                            QStringLiteral("保存数据出错！目录没有任何改动。\r\n") + error,
                            QStringLiteral("提示"));
        return;
    }
    m_session.notifyEntriesChanged(nodes::id(node));
}

} // namespace vorlane
