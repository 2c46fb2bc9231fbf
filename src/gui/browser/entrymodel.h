// The file list's rows: one disc entry per row, seven columns (name, size, time, note and
// the hidden path, id and kind) and the media facts' columns the user may show, over a
// plain vector so that long lists stay cheap.
#pragma once

#include "core/store/contentstore.h"
#include "core/store/mediastore.h"

#include <QAbstractTableModel>
#include <QString>
#include <unordered_map>
#include <vector>

namespace vorlane {

class EntryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Name,
        Size,
        Time,
        Note,
        Path,
        Id,
        IsDir,
        // The media facts, hidden until chosen from the header's menu.
        Dimensions,
        Duration,
        Taken,
        Camera,
        Title,
        Artist,
        Album,
        ColumnCount
    };
    static constexpr int FirstMediaColumn = Dimensions;
    static constexpr int LastMediaColumn = Album;
    static bool isMediaColumn(int c) { return c >= FirstMediaColumn && c <= LastMediaColumn; }
    // The columns a header click sorts by: what the user sees, not the hidden keys.
    static bool isSortable(int c) { return (c >= Name && c <= Note) || isMediaColumn(c); }

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void clear();
    void reserve(size_t rows) { m_rows.reserve(rows); }
    void setEntries(std::vector<Entry> entries);
    void append(const Entry& e);
    // One insertion for the whole batch, so long fills stay cheap for the views.
    void append(std::vector<Entry>&& batch);
    void removeRowsById(const QList<qint64>& ids);
    void setNote(int row, const QString& note);
    const Entry& entry(int row) const { return m_rows.at(size_t(row)); }
    const std::vector<Entry>& entries() const { return m_rows; }
    int rowOfId(qint64 id) const; // -1 when absent

    // The media facts of the level shown, by entry id; rows without any show nothing there.
    void setMedia(std::unordered_map<qint64, MediaFacts> facts);
    const MediaFacts* mediaOf(qint64 id) const;

    // Sorts by a column (name and note collated, size by bytes, time by the moment),
    // folders above files in either order; ties keep their order. The order is kept and
    // applied again by resort() after the next fill. A column below 0 drops it.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    void resort();
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Sizes in KB ("%1.1n" KB) or by their magnitude; see sizeText().
    void setSizesInKb(bool on);
    bool sizesInKb() const { return m_sizesInKb; }
    // Local date and time, "2024-05-01 16:30"; empty when unknown.
    static QString timeText(const std::optional<qint64>& secondsUtc);
    // What a special file is ("命名管道"...), shown in its size's place; empty for none.
    static QString specialText(SpecialKind kind);

private:
    // Puts the rows in `order` (new row -> old row), carrying persistent indexes along.
    void reorder(const std::vector<int>& order);

    QString mediaText(const Entry& e, int column) const;
    void sortByMedia();

    std::vector<Entry> m_rows;
    std::unordered_map<qint64, MediaFacts> m_media;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sizesInKb = true;
};

} // namespace vorlane
