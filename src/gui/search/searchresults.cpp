#include "gui/search/searchresults.h"

#include <algorithm>
#include <iterator>

namespace vorlane {

SearchResultModel::SearchResultModel(QObject* parent) : QAbstractTableModel(parent) {}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(m_index ? m_shown : m_hits.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    if (index.column() == Path)
        return location(index.row());
    const std::optional<SearchHit> h = hit(index.row());
    if (!h)
        return {};
    // Ids are shown, and read back by the jump, as decimal text.
    switch (index.column()) {
    case Number:
        return QString::number(h->number);
    case DiscName:
        return h->discName;
    case Name:
        return h->name;
    case DiscId:
        return QString::number(h->discId);
    case FolderId:
        return QString::number(h->folderId);
    case FileId:
        return QString::number(h->fileId);
    default:
        return {};
    }
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Number:
        return QStringLiteral("序号");
    case DiscName:
        return QStringLiteral("光盘名称");
    case Name:
        return QStringLiteral("名   称");
    case DiscId:
        return QStringLiteral("光盘自动编号");
    case FolderId:
        return QStringLiteral("目录自动编号");
    case FileId:
        return QStringLiteral("文件自动编号");
    case Path:
        return QStringLiteral("位置");
    default:
        return {};
    }
}

bool SearchResultModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_changing && m_index && m_shown < m_indexRows.size();
}

void SearchResultModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const size_t more = std::min(FetchBlock, m_indexRows.size() - m_shown);
    m_changing = true;
    beginInsertRows({}, int(m_shown), int(m_shown + more) - 1);
    m_shown += more;
    endInsertRows();
    m_changing = false;
}

qint64 SearchResultModel::hitCount() const {
    return qint64(m_index ? m_indexRows.size() : m_hits.size());
}

void SearchResultModel::clear() {
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    m_indexRows.clear();
    m_indexRows.shrink_to_fit();
    m_discHits = 0;
    m_shown = 0;
    m_index.reset();
    m_paths.clear();
    m_madeRow = -1;
    endResetModel();
}

void SearchResultModel::append(std::vector<SearchHit>&& hits) {
    if (m_index)
        clear(); // hits from SQLite follow no index hits
    if (hits.empty())
        return;
    const int first = int(m_hits.size());
    beginInsertRows({}, first, first + int(hits.size()) - 1);
    m_hits.insert(m_hits.end(), std::make_move_iterator(hits.begin()),
                  std::make_move_iterator(hits.end()));
    endInsertRows();
}

void SearchResultModel::setIndexHits(std::shared_ptr<const SearchIndex> index,
                                     std::vector<IndexHit>&& hits) {
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    m_paths.clear();
    m_madeRow = -1;
    m_index = std::move(index);
    m_indexRows.clear();
    m_discHits = 0;
    m_shown = 0;
    if (m_index) {
        std::vector<quint32> rows;
        rows.reserve(hits.size());
        for (const IndexHit& h : hits) {
            // The search lists the discs before any entry.
            if (h.disc && rows.size() != m_discHits)
                continue;
            rows.push_back(h.row);
            m_discHits += h.disc ? 1 : 0;
        }
        m_indexRows = std::move(rows);
        m_shown = std::min(FetchBlock, m_indexRows.size());
    }
    hits = {};
    m_changing = true;
    endResetModel();
    m_changing = false;
}

void SearchResultModel::setLocator(std::function<QString(const SearchHit&)> locator) {
    m_locator = std::move(locator);
    m_paths.clear();
}

std::optional<SearchHit> SearchResultModel::hit(int row) const {
    if (row < 0 || row >= rowCount())
        return std::nullopt;
    if (!m_index)
        return m_hits[size_t(row)];
    if (row != m_madeRow) {
        m_made = m_index->hit(indexHit(row));
        m_made.number = row + 1;
        m_madeRow = row;
    }
    return m_made;
}

std::vector<ExportItem> SearchResultModel::exportItems() const {
    const auto item = [](const SearchHit& h) {
        return ExportItem{h.discId, h.fileId != 0 ? h.fileId : h.folderId};
    };
    std::vector<ExportItem> items;
    if (!m_index) {
        items.reserve(m_hits.size());
        for (const SearchHit& h : m_hits)
            items.push_back(item(h));
        return items;
    }
    items.reserve(m_indexRows.size());
    for (size_t row = 0; row < m_indexRows.size(); ++row)
        items.push_back(item(m_index->hit(indexHit(int(row)))));
    return items;
}

QString SearchResultModel::location(int row) const {
    if (row < 0 || row >= rowCount())
        return {};
    if (m_index)
        return m_index->location(indexHit(row));
    const auto it = m_paths.constFind(row);
    if (it != m_paths.cend())
        return *it;
    const QString path = m_locator ? m_locator(m_hits[size_t(row)]) : QString();
    m_paths.insert(row, path);
    return path;
}

} // namespace vorlane
