#include "gui/search/searchbar.h"

#include "core/job.h"
#include "core/search/indexkeeper.h"
#include "core/store/catalogsession.h"
#include "core/store/contentstore.h"
#include "gui/browser/entrylook.h"
#include "gui/browser/filelistview.h"
#include "gui/common/commands.h"
#include "gui/search/searchresults.h"

#include <QAbstractItemView>
#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace vorlane {

// One query of the bar on the index, its hits put in the order the list shows.
class BarQueryJob final : public Job {
public:
    BarQueryJob(std::shared_ptr<const SearchIndex> index, SearchQuery query, HitOrder order,
                bool descending, QObject* parent)
        : Job(parent), m_index(std::move(index)), m_query(std::move(query)), m_order(order),
          m_descending(descending) {}
    ~BarQueryJob() override { stop(); }

    // After finished().
    const std::shared_ptr<const SearchIndex>& index() const { return m_index; }
    std::vector<IndexHit>& hits() { return m_hits; }

protected:
    void work() override {
        try {
            m_index->query(m_query, m_hits, &cancelFlag());
            if (!isCancelled() && m_order != HitOrder::Found)
                m_index->sort(m_hits, m_order, m_descending);
        } catch (const std::exception&) {
            // Nothing to list: the bar shows no hits rather than half of them.
            m_hits.clear();
        }
    }

private:
    const std::shared_ptr<const SearchIndex> m_index;
    const SearchQuery m_query;
    const HitOrder m_order;
    const bool m_descending;
    std::vector<IndexHit> m_hits;
};

SearchBar::SearchBar(CatalogSession& session, Commands& commands, const Views& views,
                     IndexKeeper& index, QObject* parent)
    : QObject(parent), m_session(session), m_commands(commands), m_views(views), m_index(index) {
    setObjectName(QStringLiteral("SearchBar"));
    QLineEdit* field = m_views.searchBar;
    field->setPlaceholderText(QStringLiteral("搜索整个目录（Ctrl+E）"));
    field->setClearButtonEnabled(true);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, &SearchBar::edited);
    connect(field, &QLineEdit::returnPressed, this, &SearchBar::jumpToHit);
    connect(commands.MSearchBar, &QAction::triggered, this, &SearchBar::MSearchBarClick);

    m_model = new SearchResultModel(this, SearchResultModel::Look::Bar);
    QTreeView* view = m_views.lvHits;
    view->setModel(m_model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    QHeaderView* header = view->header();
    const int shown[] = {SearchResultModel::Name, SearchResultModel::Size, SearchResultModel::Time,
                         SearchResultModel::DiscName, SearchResultModel::Path};
    for (int i = 0; i < int(std::size(shown)); ++i)
        header->moveSection(header->visualIndex(shown[i]), i);
    for (int c : {SearchResultModel::Number, SearchResultModel::DiscId, SearchResultModel::FolderId,
                  SearchResultModel::FileId})
        view->setColumnHidden(c, true);
    view->setColumnWidth(SearchResultModel::Name, 280);
    view->setColumnWidth(SearchResultModel::Size, 90);
    view->setColumnWidth(SearchResultModel::Time, 130);
    view->setColumnWidth(SearchResultModel::DiscName, 150);
    header->setStretchLastSection(true);
    // A click on a heading sorts the hits by it; until then they stay in the order found.
    // The sort runs with the query on the pool, so that a long list never holds the window.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                m_model->setSortState(column, order);
                if (isShowingHits())
                    runQuery();
            });
    view->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this, &SearchBar::jumpToHit);
    entrylook::attach(view, QStringLiteral("lvHits"), m_session, [this] {
        QList<EntryTarget> targets;
        for (const QModelIndex& row : m_views.lvHits->selectionModel()->selectedRows())
            if (const std::optional<SearchHit> h = m_model->hit(row.row()))
                targets.append(entrylook::targetOf(h->discId, h->folderId, h->fileId));
        return targets;
    });

    m_pausePoll = new QTimer(this);
    m_pausePoll->setInterval(25);
    connect(m_pausePoll, &QTimer::timeout, this, &SearchBar::pollPause);
    // A query waiting for its index runs once the index is ready.
    connect(&m_index, &IndexKeeper::ready, this, [this] {
        if (m_waitingForIndex)
            runQuery();
    });
    // Hits belong to the catalog they were found in.
    connect(&m_session, &CatalogSession::fileChanged, this, &SearchBar::clear);
    // Going elsewhere in the trees ends the search: the list shows where the user went.
    auto navigated = [this] {
        if (isShowingHits())
            clear();
    };
    connect(m_views.tvMain, &QTreeWidget::currentItemChanged, this, navigated);
    connect(m_views.tvCDRom, &QTreeWidget::currentItemChanged, this, navigated);
}

SearchBar::~SearchBar() {
    // The jobs are children: each waits for its work to end as it is deleted.
    cancelQuery();
}

bool SearchBar::isShowingHits() const {
    return m_views.listStack->currentWidget() == m_views.lvHits;
}

bool SearchBar::isBusy() const {
    return m_job || m_waitingForIndex || m_pausePoll->isActive();
}

void SearchBar::MSearchBarClick() {
    m_views.searchBar->setFocus(Qt::ShortcutFocusReason);
    m_views.searchBar->selectAll();
}

void SearchBar::edited() {
    if (m_views.searchBar->text().trimmed().isEmpty()) {
        leave();
        return;
    }
    m_pause.restart();
    m_pausePoll->start();
}

void SearchBar::pollPause() {
    if (!m_pause.due())
        return;
    m_pausePoll->stop();
    runQuery();
}

void SearchBar::runQuery() {
    m_pausePoll->stop();
    m_waitingForIndex = false;
    cancelQuery();
    const QString text = m_views.searchBar->text();
    if (text.trimmed().isEmpty())
        return;
    std::variant<SearchQuery, QueryError> parsed = SearchQuery::parse(text);
    if (const auto* error = std::get_if<QueryError>(&parsed)) {
        setError(QStringLiteral("查询有误（第 %1 个字符处）：%2")
                     .arg(error->offset + 1)
                     .arg(queryErrorText(*error, true)));
        m_model->clear();
        m_jumpWhenListed = false;
        showHits(true);
        return;
    }
    setError({});
    std::shared_ptr<const SearchIndex> index = m_index.current();
    if (!index) {
        if (!m_session.db().isOpen() || !m_index.isBuilding()) {
            setStatus(QStringLiteral("没有可搜索的目录"));
            m_jumpWhenListed = false;
            return;
        }
        // Asking for the index started its build; its readiness runs the query.
        m_waitingForIndex = true;
        setStatus(QStringLiteral("正在建立搜索索引，稍候即显示结果…"));
        return;
    }
    const int column = m_model->sortColumn();
    m_job = new BarQueryJob(std::move(index), std::get<SearchQuery>(std::move(parsed)),
                            SearchResultModel::orderOf(column),
                            m_model->sortOrder() == Qt::DescendingOrder, this);
    BarQueryJob* job = m_job;
    connect(
        job, &Job::finished, this, [this, job] { queryFinished(job); }, Qt::QueuedConnection);
    job->start();
}

void SearchBar::cancelQuery() {
    // A superseded query stops at once; it is deleted when it reports its end.
    if (BarQueryJob* job = std::exchange(m_job, nullptr))
        job->cancel();
}

void SearchBar::queryFinished(BarQueryJob* job) {
    job->deleteLater();
    if (job != m_job)
        return; // superseded by a newer key
    m_job = nullptr;
    m_model->setIndexHits(job->index(), std::move(job->hits()), true);
    setStatus(QStringLiteral("找到 %1 项").arg(m_model->hitCount()));
    showHits(true);
    emit hitsListed();
    if (std::exchange(m_jumpWhenListed, false))
        jumpToHit();
}

void SearchBar::jumpToHit() {
    if (m_views.searchBar->text().trimmed().isEmpty())
        return;
    if (m_pausePoll->isActive() || m_job || m_waitingForIndex) {
        // Enter typed straight after the query: its first hit, once it is in.
        m_jumpWhenListed = true;
        if (m_pausePoll->isActive())
            runQuery();
        return;
    }
    const QModelIndex current = m_views.lvHits->currentIndex();
    const std::optional<SearchHit> h = m_model->hit(current.isValid() ? current.row() : 0);
    if (!h)
        return;
    qint64 folder = h->folderId;
    qint64 file = h->fileId;
    if (h->kind() == SearchHit::Kind::Folder) {
        // A folder is shown where it lies, selected among its siblings.
        std::optional<contentstore::EntryLink> link;
        try {
            link = contentstore::entryLink(m_session.db(), h->folderId);
        } catch (const DbError&) {
        }
        file = h->folderId;
        folder = link ? link->fatherId : 0;
    }
    // The jump ends the search, as going to a place does in a file manager; the bar's
    // undo (Ctrl+Z) brings the query back.
    clear();
    emit showEntryRequested(h->discId, folder, file);
    if (QAbstractItemView* list = m_views.lvMain->activeView())
        list->setFocus();
}

void SearchBar::clear() {
    m_views.searchBar->clear(); // undoable, unlike setText()
    leave();
}

void SearchBar::leave() {
    m_pausePoll->stop();
    m_waitingForIndex = false;
    m_jumpWhenListed = false;
    cancelQuery();
    setError({});
    const bool wasShowing = isShowingHits();
    showHits(false);
    // The hits hold the index; they go with the search.
    m_model->clear();
    if (std::exchange(m_statusTold, false) || wasShowing)
        emit listingRestored();
}

void SearchBar::showHits(bool on) {
    QStackedWidget* stack = m_views.listStack;
    stack->setCurrentWidget(on ? static_cast<QWidget*>(m_views.lvHits) : m_views.lvMain);
    // The commands on the list's selection would act on entries the user cannot see.
    if (on)
        enableAll({m_commands.mitOpen, m_commands.MOpen, m_commands.mitDelete,
                   m_commands.mitFileExp, m_commands.MFileExp},
                  {}, false);
}

void SearchBar::setError(const QString& message) {
    QLineEdit* field = m_views.searchBar;
    const bool invalid = !message.isEmpty();
    if (field->property("invalid").toBool() == invalid && !invalid)
        return;
    field->setProperty("invalid", invalid);
    field->setToolTip(message);
    field->setStyleSheet(invalid ? QStringLiteral("QLineEdit { background: #ffd7d7; }")
                                 : QString());
    if (invalid)
        setStatus(message);
}

void SearchBar::setStatus(const QString& text) {
    m_statusTold = true;
    m_views.status.list->setText(text);
}

void SearchBar::setSizesInKb(bool on) {
    m_model->setSizesInKb(on);
}

bool SearchBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape && !m_views.searchBar->text().isEmpty()) {
        const bool inField = watched == m_views.searchBar;
        clear();
        if (!inField)
            if (QAbstractItemView* list = m_views.lvMain->activeView())
                list->setFocus();
        return true;
    }
    if (watched == m_views.lvHits && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        jumpToHit();
        return true;
    }
    // Down from the bar walks into its hits.
    if (watched == m_views.searchBar && key == Qt::Key_Down && isShowingHits() &&
        m_model->rowCount() > 0) {
        m_views.lvHits->setFocus();
        if (!m_views.lvHits->currentIndex().isValid())
            m_views.lvHits->setCurrentIndex(m_model->index(0, SearchResultModel::Name));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vorlane
