#include "browser/entrymodel.h"

#include "app/icons.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

namespace vorlane {

int EntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int EntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString EntryModel::sizeText(qint64 bytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
}

QVariant EntryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Entry& e = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case Name:
            return e.name;
        case Size:
            return e.isDir ? QString() : sizeText(e.size);
        case Note:
            return e.note;
        case Path:
            return e.path;
        case Id:
            return QString::number(e.id);
        case IsDir:
            return e.isDir ? QStringLiteral("1") : QStringLiteral("0");
        }
    } else if (role == Qt::DecorationRole && index.column() == Name) {
        return e.isDir ? folderIcon() : fileIcon(e.name);
    } else if (role == Qt::TextAlignmentRole && index.column() == Size) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    } else if (role == Qt::UserRole) {
        return e.id;
    }
    return {};
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && section == Size)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return QStringLiteral("文件");
    case Size:
        return QStringLiteral("大小");
    case Note:
        return QStringLiteral("注释");
    case Path:
        return QStringLiteral("路径");
    case Id:
        return QStringLiteral("自动编号");
    case IsDir:
        return QStringLiteral("是否为目录");
    }
    return {};
}

void EntryModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void EntryModel::setEntries(std::vector<Entry> entries) {
    beginResetModel();
    m_rows = std::move(entries);
    endResetModel();
}

void EntryModel::append(const Entry& e) {
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(e);
    endInsertRows();
}

void EntryModel::append(std::vector<Entry>&& batch) {
    if (batch.empty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(batch.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
    endInsertRows();
}

void EntryModel::removeRowsById(const QList<qint64>& ids) {
    for (qint64 id : ids) {
        const int row = rowOfId(id);
        if (row < 0)
            continue;
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
}

void EntryModel::setNote(int row, const QString& note) {
    if (row < 0 || row >= int(m_rows.size()))
        return;
    m_rows[size_t(row)].note = note;
    emit dataChanged(index(row, Note), index(row, Note));
}

int EntryModel::rowOfId(qint64 id) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return int(i);
    }
    return -1;
}

void EntryModel::sortByCaption() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<qint64> beforeIds;
    for (const QModelIndex& i : before)
        beforeIds.push_back(m_rows[size_t(i.row())].id);
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Entry& a, const Entry& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    QModelIndexList after;
    for (qsizetype k = 0; k < before.size(); ++k)
        after << index(rowOfId(beforeIds[size_t(k)]), before[k].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace vorlane
