// The search window's result list: seven columns, the ids the jump reads hidden among
// them. Hits from SQLite come whole; hits from the index stay as ids beside the index, and
// their texts are made when a row is drawn, so that a keyword matching most of a large
// catalog holds no string per hit.
#pragma once

#include "core/interchange/catalogexport.h"
#include "core/search/searchengine.h"
#include "core/search/searchindex.h"

#include <QAbstractTableModel>
#include <QHash>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vorlane {

class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Number, DiscName, Name, DiscId, FolderId, FileId, Path, ColumnCount };

    explicit SearchResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The index's hits reach the view a block at a time, as it scrolls down to them: a view
    // keeps a little for every row it has.
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    static constexpr size_t FetchBlock = 10000;

    // All hits of the search, also those not yet handed to the view.
    qint64 hitCount() const;

    void clear();
    void append(std::vector<SearchHit>&& hits);
    // Replaces the list with hits of `index`, numbered from 1 in their order.
    void setIndexHits(std::shared_ptr<const SearchIndex> index, std::vector<IndexHit>&& hits);
    // Finds the path of a hit that came from SQLite; asked only for rows drawn.
    void setLocator(std::function<QString(const SearchHit&)> locator);

    // nullopt for a row that does not exist.
    std::optional<SearchHit> hit(int row) const;
    // Every hit as a row to export, in order.
    std::vector<ExportItem> exportItems() const;
    // Where the hit lies: categories, disc and folders.
    QString location(int row) const;

private:
    std::vector<SearchHit> m_hits;
    IndexHit indexHit(int row) const {
        return {m_indexRows[size_t(row)], size_t(row) < m_discHits};
    }

    std::shared_ptr<const SearchIndex> m_index;
    // The index's hits, four bytes each: the disc hits (which always come first) and then
    // the entry hits, by position.
    std::vector<quint32> m_indexRows;
    size_t m_discHits = 0;
    size_t m_shown = 0; // index hits handed to the view
    // Views ask for more while they take in a change, before they have laid out a row;
    // what they have is enough then.
    bool m_changing = false;
    std::function<QString(const SearchHit&)> m_locator;
    mutable QHash<int, QString> m_paths; // of SQLite hits drawn so far
    // The index hit made last: a row is drawn one column after another.
    mutable int m_madeRow = -1;
    mutable SearchHit m_made;
};

} // namespace vorlane
