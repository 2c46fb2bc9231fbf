#include "gui/search/searchresults.h"

#include "core/settings/text.h"
#include "gui/browser/entrymodel.h"
#include "gui/common/icons.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace vorlane {

SearchResultModel::SearchResultModel(QObject* parent, Look look)
    : QAbstractTableModel(parent), m_look(look) {}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(m_index ? m_shown : m_hits.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    const bool icon = role == Qt::DecorationRole && m_look == Look::Bar && index.column() == Name;
    if (role != Qt::DisplayRole && !icon)
        return {};
    if (index.column() == Path)
        return location(index.row());
    const std::optional<SearchHit> h = hit(index.row());
    if (!h)
        return {};
    if (icon) {
        switch (h->kind()) {
        case SearchHit::Kind::Disc:
            return nodeIcon(NodeIcon::Disc);
        case SearchHit::Kind::Folder:
            return folderIcon();
        case SearchHit::Kind::File:
            return fileIcon(h->name);
        }
        return {};
    }
    return text(*h, index.row(), index.column());
}

QVariant SearchResultModel::text(const SearchHit& h, int row, int column) const {
    // Ids are shown, and read back by the jump, as decimal text.
    switch (column) {
    case Number:
        return QString::number(row + 1);
    case DiscName:
        return h.discName;
    case Name:
        return m_look == Look::Bar && h.kind() == SearchHit::Kind::Disc ? h.discName : h.name;
    case DiscId:
        return QString::number(h.discId);
    case FolderId:
        return QString::number(h.folderId);
    case FileId:
        return QString::number(h.fileId);
    case Size:
        // As the file list: a folder shows its total; a disc shows no size.
        return h.kind() != SearchHit::Kind::Disc ? sizeText(h.size, m_sizesInKb) : QString();
    case Time:
        return EntryModel::timeText(h.time);
    default:
        return {};
    }
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == Size)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const bool bar = m_look == Look::Bar;
    switch (section) {
    case Number:
        return QStringLiteral("序号");
    case DiscName:
        return bar ? QStringLiteral("光盘") : QStringLiteral("光盘名称");
    case Name:
        return bar ? QStringLiteral("名称") : QStringLiteral("名   称");
    case DiscId:
        return QStringLiteral("光盘自动编号");
    case FolderId:
        return QStringLiteral("目录自动编号");
    case FileId:
        return QStringLiteral("文件自动编号");
    case Path:
        return QStringLiteral("位置");
    case Size:
        return QStringLiteral("大小");
    case Time:
        return QStringLiteral("修改时间");
    default:
        return {};
    }
}

bool SearchResultModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_changing && m_index && m_shown < m_indexHits.size();
}

void SearchResultModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const size_t more = std::min(FetchBlock, m_indexHits.size() - m_shown);
    m_changing = true;
    beginInsertRows({}, int(m_shown), int(m_shown + more) - 1);
    m_shown += more;
    endInsertRows();
    m_changing = false;
}

HitOrder SearchResultModel::orderOf(int column) {
    switch (column) {
    case DiscName:
    case DiscId:
        return HitOrder::Disc;
    case Name:
        return HitOrder::Name;
    case Path:
    case FolderId:
        return HitOrder::Path;
    case Size:
        return HitOrder::Size;
    case Time:
        return HitOrder::Time;
    default:
        return HitOrder::Found;
    }
}

void SearchResultModel::sort(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
    if (hitCount() == 0)
        return;
    // The rows move wholesale; the view starts afresh on them.
    beginResetModel();
    sortHits();
    m_paths.clear();
    m_madeRow = -1;
    m_changing = true;
    endResetModel();
    m_changing = false;
}

void SearchResultModel::resort() {
    if (m_sortColumn >= 0)
        sort(m_sortColumn, m_sortOrder);
}

void SearchResultModel::setSortState(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
}

void SearchResultModel::sortHits() {
    const HitOrder order = orderOf(m_sortColumn);
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    if (!m_index) {
        if (order == HitOrder::Found) {
            // Back to the order found, which the numbers keep.
            std::stable_sort(m_hits.begin(), m_hits.end(),
                             [descending](const SearchHit& a, const SearchHit& b) {
                                 return descending ? b.number < a.number : a.number < b.number;
                             });
            return;
        }
        vorlane::sortHits(m_hits, order, descending, [this](const SearchHit& h) {
            return m_locator ? m_locator(h).split(QStringLiteral(" ▸ ")) : QStringList();
        });
        return;
    }
    // Ties keep the order found, whatever the order before.
    if (m_found.empty())
        m_found = m_indexHits;
    m_indexHits = m_found;
    m_index->sort(m_indexHits, order, descending);
}

void SearchResultModel::setSizesInKb(bool on) {
    if (on == m_sizesInKb)
        return;
    m_sizesInKb = on;
    if (rowCount() > 0)
        emit dataChanged(index(0, Size), index(rowCount() - 1, Size));
}

qint64 SearchResultModel::hitCount() const {
    return qint64(m_index ? m_indexHits.size() : m_hits.size());
}

void SearchResultModel::clear() {
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    m_indexHits.clear();
    m_indexHits.shrink_to_fit();
    m_found.clear();
    m_found.shrink_to_fit();
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
                                     std::vector<IndexHit>&& hits, bool sorted) {
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    m_paths.clear();
    m_madeRow = -1;
    m_index = std::move(index);
    m_indexHits.clear();
    m_found.clear();
    m_shown = 0;
    if (m_index) {
        m_indexHits = std::move(hits);
        if (!sorted && m_sortColumn >= 0)
            sortHits();
        m_shown = std::min(FetchBlock, m_indexHits.size());
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
    items.reserve(m_indexHits.size());
    for (const IndexHit& h : m_indexHits)
        items.push_back(item(m_index->hit(h)));
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
