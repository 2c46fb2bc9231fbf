// The hits of a search, for the search window's result list and the search bar's hit list:
// one column per fact, the ids the jump reads hidden among them. Hits from SQLite come
// whole; hits from the index stay as ids beside the index, and their texts are made when a
// row is drawn, so that a keyword matching most of a large catalog holds no string per hit.
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
    enum Column { Number, DiscName, Name, DiscId, FolderId, FileId, Path, Size, Time, ColumnCount };
    // The search window's headings, or the search bar's shorter ones (where a disc hit also
    // shows its name in the name column, with an icon for each kind of hit).
    enum class Look { Window, Bar };

    explicit SearchResultModel(QObject* parent = nullptr, Look look = Look::Window);

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

    // Puts the hits in the column's order (Number: the order they were found in); a column
    // below 0 drops the order. The order is kept for the hits that follow.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // What the order of a column is.
    static HitOrder orderOf(int column);
    // Sorts again by the kept order: hits from SQLite once they have all arrived.
    void resort();

    // Sizes in KB or by their magnitude, as the file list shows them.
    void setSizesInKb(bool on);

    // All hits of the search, also those not yet handed to the view.
    qint64 hitCount() const;

    void clear();
    void append(std::vector<SearchHit>&& hits);
    // Replaces the list with hits of `index`, numbered from 1 in their order, and sorts
    // them by the kept order unless they are `sorted` in it already.
    void setIndexHits(std::shared_ptr<const SearchIndex> index, std::vector<IndexHit>&& hits,
                      bool sorted = false);
    // Sets the order the hits that follow are in, without sorting.
    void setSortState(int column, Qt::SortOrder order);
    // Finds the path of a hit that came from SQLite; asked only for rows drawn.
    void setLocator(std::function<QString(const SearchHit&)> locator);

    // nullopt for a row that does not exist.
    std::optional<SearchHit> hit(int row) const;
    // Every hit as a row to export, in order.
    std::vector<ExportItem> exportItems() const;
    // Where the hit lies: categories, disc and folders.
    QString location(int row) const;

private:
    void sortHits();
    QVariant text(const SearchHit& h, int row, int column) const;

    const Look m_look;
    std::vector<SearchHit> m_hits;
    IndexHit indexHit(int row) const { return m_indexHits[size_t(row)]; }

    std::shared_ptr<const SearchIndex> m_index;
    std::vector<IndexHit> m_indexHits;
    // The index's hits in the order found, kept once they are sorted otherwise.
    std::vector<IndexHit> m_found;
    size_t m_shown = 0; // index hits handed to the view
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sizesInKb = true;
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
