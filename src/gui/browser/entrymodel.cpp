#include "gui/browser/entrymodel.h"

#include "core/settings/text.h"
#include "gui/browser/mediatext.h"
#include "gui/common/icons.h"

#include <QCollator>
#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <algorithm>
#include <limits>

namespace vorlane {

int EntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int EntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

void EntryModel::setSizesInKb(bool on) {
    if (on == m_sizesInKb)
        return;
    m_sizesInKb = on;
    if (!m_rows.empty())
        emit dataChanged(index(0, Size), index(int(m_rows.size()) - 1, Size));
}

QString EntryModel::timeText(const std::optional<qint64>& secondsUtc) {
    if (!secondsUtc)
        return {};
    return QDateTime::fromSecsSinceEpoch(*secondsUtc).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString EntryModel::specialText(SpecialKind kind) {
    switch (kind) {
    case SpecialKind::None:
        break;
    case SpecialKind::Fifo:
        return QStringLiteral("命名管道");
    case SpecialKind::CharDevice:
        return QStringLiteral("字符设备");
    case SpecialKind::BlockDevice:
        return QStringLiteral("块设备");
    case SpecialKind::Socket:
        return QStringLiteral("套接字");
    }
    return {};
}

QVariant EntryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Entry& e = m_rows[size_t(index.row())];
    if (role == Qt::ToolTipRole && index.column() == Name && !e.link.isEmpty())
        return e.name + QStringLiteral("\n链接到：") + e.link;
    if (role == Qt::ToolTipRole && index.column() == Name && e.special != SpecialKind::None)
        return e.name + QStringLiteral("\n") + specialText(e.special);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case Name:
            return e.name;
        case Size:
            // A FIFO or a device has no size of its own: its kind says what it is.
            // A folder shows its total; -1: the catalog holds none (older, read-only).
            return e.isDir && e.size < 0            ? QString()
                   : e.special != SpecialKind::None ? specialText(e.special)
                                                    : sizeText(e.size, m_sizesInKb);
        case Time:
            return timeText(e.mtime);
        case Note:
            return e.note;
        case Path:
            return e.path;
        case Id:
            return QString::number(e.id);
        case IsDir:
            return e.isDir ? QStringLiteral("1") : QStringLiteral("0");
        default:
            return mediaText(e, index.column());
        }
    } else if (role == Qt::DecorationRole && index.column() == Name) {
        if (e.isDir)
            return folderIcon();
        return e.link.isEmpty() ? fileIcon(e.name) : linkIcon(fileIcon(e.name));
    } else if (role == Qt::TextAlignmentRole &&
               (index.column() == Size || index.column() == Duration)) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    } else if (role == Qt::UserRole) {
        return e.id;
    }
    return {};
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && (section == Size || section == Duration))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return QStringLiteral("文件");
    case Size:
        return QStringLiteral("大小");
    case Time:
        return QStringLiteral("修改时间");
    case Note:
        return QStringLiteral("注释");
    case Path:
        return QStringLiteral("路径");
    case Id:
        return QStringLiteral("自动编号");
    case IsDir:
        return QStringLiteral("是否为目录");
    case Dimensions:
        return QStringLiteral("尺寸");
    case Duration:
        return QStringLiteral("时长");
    case Taken:
        return QStringLiteral("拍摄时间");
    case Camera:
        return QStringLiteral("相机");
    case Title:
        return QStringLiteral("标题");
    case Artist:
        return QStringLiteral("艺术家");
    case Album:
        return QStringLiteral("专辑");
    }
    return {};
}

QString EntryModel::mediaText(const Entry& e, int column) const {
    const MediaFacts* f = mediaOf(e.id);
    if (!f)
        return {};
    switch (column) {
    case Dimensions:
        return mediatext::dimensions(*f);
    case Duration:
        return mediatext::duration(f->durationMs);
    case Taken:
        return mediatext::taken(f->taken);
    case Camera:
        return mediatext::camera(f->make, f->model);
    case Title:
        return f->title;
    case Artist:
        return f->artist;
    case Album:
        return f->album;
    }
    return {};
}

void EntryModel::setMedia(std::unordered_map<qint64, MediaFacts> facts) {
    m_media = std::move(facts);
    if (!m_rows.empty())
        emit dataChanged(index(0, FirstMediaColumn),
                         index(int(m_rows.size()) - 1, LastMediaColumn));
}

const MediaFacts* EntryModel::mediaOf(qint64 id) const {
    const auto it = m_media.find(id);
    return it == m_media.end() ? nullptr : &it->second;
}

void EntryModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_media.clear();
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
    const QSet<qint64> gone(ids.begin(), ids.end());
    // Remove runs of adjacent rows from the end, so earlier row numbers stay valid.
    int row = int(m_rows.size()) - 1;
    while (row >= 0) {
        if (!gone.contains(m_rows[size_t(row)].id)) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && gone.contains(m_rows[size_t(row - 1)].id))
            --row;
        beginRemoveRows({}, row, last);
        m_rows.erase(m_rows.begin() + row, m_rows.begin() + last + 1);
        endRemoveRows();
        --row;
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

void EntryModel::sort(int column, Qt::SortOrder order) {
    m_sortColumn = isSortable(column) ? column : -1;
    m_sortOrder = order;
    resort();
}

void EntryModel::resort() {
    const size_t n = m_rows.size();
    if (m_sortColumn < 0 || n < 2)
        return;
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = int(i);
    // Folders first whatever the order; the column decides within each group.
    const bool down = m_sortOrder == Qt::DescendingOrder;
    auto sortBy = [&](auto&& less) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const bool dirA = m_rows[size_t(a)].isDir;
            if (dirA != m_rows[size_t(b)].isDir)
                return dirA;
            return down ? less(b, a) : less(a, b);
        });
    };
    if (isMediaColumn(m_sortColumn)) {
        sortByMedia();
        return;
    }
    if (m_sortColumn == Size) {
        sortBy([&](int a, int b) { return m_rows[size_t(a)].size < m_rows[size_t(b)].size; });
    } else if (m_sortColumn == Time) {
        // An unknown time counts as the earliest.
        sortBy([&](int a, int b) {
            return m_rows[size_t(a)].mtime.value_or(std::numeric_limits<qint64>::min()) <
                   m_rows[size_t(b)].mtime.value_or(std::numeric_limits<qint64>::min());
        });
    } else {
        // Sort keys once per row instead of collating at every comparison.
        const QCollator collator = nameCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(n);
        for (const Entry& e : m_rows)
            keys.push_back(collator.sortKey(m_sortColumn == Note ? e.note : e.name));
        sortBy([&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    }
    reorder(order);
}

void EntryModel::sortByMedia() {
    const size_t n = m_rows.size();
    // One key per row: a number for sizes, durations and times, collated text otherwise.
    // Rows without the fact come together, after the others whichever the order.
    struct Key {
        bool known = false;
        double number = 0;
        std::optional<QCollatorSortKey> text;
    };
    const QCollator collator = nameCollator();
    std::vector<Key> keys(n, Key{});
    for (size_t i = 0; i < n; ++i) {
        const MediaFacts* f = mediaOf(m_rows[i].id);
        Key& k = keys[i];
        if (!f)
            continue;
        switch (m_sortColumn) {
        case Dimensions:
            k.known = f->width && f->height;
            k.number = k.known ? double(*f->width) * double(*f->height) : 0;
            break;
        case Duration:
            k.known = f->durationMs.has_value();
            k.number = double(f->durationMs.value_or(0));
            break;
        case Taken:
            k.known = f->taken.has_value();
            k.number = double(f->taken.value_or(0));
            break;
        default: {
            const QString text = mediaText(m_rows[i], m_sortColumn);
            k.known = !text.isEmpty();
            if (k.known)
                k.text = collator.sortKey(text);
        }
        }
    }
    const bool numeric =
        m_sortColumn == Dimensions || m_sortColumn == Duration || m_sortColumn == Taken;
    const bool down = m_sortOrder == Qt::DescendingOrder;
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const bool dirA = m_rows[size_t(a)].isDir;
        if (dirA != m_rows[size_t(b)].isDir)
            return dirA;
        const Key& ka = keys[size_t(a)];
        const Key& kb = keys[size_t(b)];
        if (ka.known != kb.known)
            return ka.known;
        if (!ka.known)
            return false;
        const bool less = numeric ? ka.number < kb.number : ka.text->compare(*kb.text) < 0;
        const bool greater = numeric ? kb.number < ka.number : kb.text->compare(*ka.text) < 0;
        return down ? greater : less;
    });
    reorder(order);
}

void EntryModel::reorder(const std::vector<int>& order) {
    const size_t n = m_rows.size();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(n);
    std::vector<Entry> sorted;
    sorted.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        newRowOf[size_t(order[k])] = int(k);
        sorted.push_back(std::move(m_rows[size_t(order[k])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after << index(newRowOf[size_t(i.row())], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace vorlane
