// The file list's rows: one disc entry per row, seven columns (name, size, time, note and
// the hidden path, id and kind), over a plain vector so that long lists stay cheap.
#pragma once

#include "core/store/contentstore.h"

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace vorlane {

class EntryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Size, Time, Note, Path, Id, IsDir, ColumnCount };

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

    // Sorts by name, locale-aware and case-sensitive; folders and files are mixed.
    void sortByCaption();

    // "%1.1n" KB: one decimal, grouped thousands, with the user's separators.
    static QString sizeText(qint64 bytes);
    // Local date and time, "2024-05-01 16:30"; empty when unknown.
    static QString timeText(const std::optional<qint64>& secondsUtc);

private:
    std::vector<Entry> m_rows;
};

} // namespace vorlane
