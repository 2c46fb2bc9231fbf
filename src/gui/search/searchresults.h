// The search window's result list: hits in a vector, six columns, the last three the ids
// that the jump reads.
#pragma once

#include "core/search/searchengine.h"

#include <QAbstractTableModel>
#include <vector>

namespace vorlane {

class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Number, DiscName, Name, DiscId, FolderId, FileId, ColumnCount };

    explicit SearchResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    void append(std::vector<SearchHit>&& hits);
    // nullptr for a row that does not exist.
    const SearchHit* hit(int row) const;

private:
    std::vector<SearchHit> m_hits;
};

} // namespace vorlane
