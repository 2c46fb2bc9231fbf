#include "gui/search/searchresults.h"

#include <iterator>

namespace vorlane {

SearchResultModel::SearchResultModel(QObject* parent) : QAbstractTableModel(parent) {}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    const SearchHit* h = index.isValid() ? hit(index.row()) : nullptr;
    if (!h || role != Qt::DisplayRole)
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
    default:
        return {};
    }
}

void SearchResultModel::clear() {
    beginResetModel();
    m_hits.clear();
    endResetModel();
}

void SearchResultModel::append(std::vector<SearchHit>&& hits) {
    if (hits.empty())
        return;
    const int first = int(m_hits.size());
    beginInsertRows({}, first, first + int(hits.size()) - 1);
    m_hits.insert(m_hits.end(), std::make_move_iterator(hits.begin()),
                  std::make_move_iterator(hits.end()));
    endInsertRows();
}

const SearchHit* SearchResultModel::hit(int row) const {
    return row >= 0 && size_t(row) < m_hits.size() ? &m_hits[size_t(row)] : nullptr;
}

} // namespace vorlane
