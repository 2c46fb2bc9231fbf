// The search index kept on disk, so that a new process (the command line, a window opening
// the catalog) searches at once instead of reading every row first.
//
// One file per catalog in the user's cache folder ($XDG_CACHE_HOME/vorlane/index/), named
// after the catalog's path. It holds the index's arrays as they lie in memory, so loading
// maps the file instead of reading it, and is written to a temporary name and renamed, so a
// reader never sees half of one. It is used only while it was built at the catalog's
// current change tag; a file that fails any check (size, bounds, order, checksum, the
// catalog's path) is treated as missing. The bounds and order are checked on every load;
// the checksum of the body (a hash of every byte, most of a search's time) until the file
// has passed it once, and again whenever the file has changed since (see Verified).
#pragma once

#include "core/search/searchindex.h"
#include "core/store/searchstore.h"

#include <QString>
#include <atomic>
#include <memory>

namespace vorlane {

class Database;

class IndexFile {
public:
    // Where the index of the catalog file `catalog` is kept.
    static QString pathFor(const QString& catalog);

    // Writes `index` as the kept index of `catalog`. False when the index has no change tag
    // (the catalog cannot tell its changes) or the file cannot be written.
    static bool save(const SearchIndex& index, const QString& catalog);

    // The kept index of `catalog` when it was built at `tag`, stamped `stamp` (what the
    // searching connection saw before `tag` was read); nullptr when it is missing, stale,
    // damaged or another catalog's.
    static std::shared_ptr<const SearchIndex> load(const QString& catalog,
                                                   const searchstore::ChangeTag& tag,
                                                   const searchstore::Stamp& stamp);
    // The same for a given index file.
    static std::shared_ptr<const SearchIndex> loadFile(const QString& file, const QString& catalog,
                                                       const searchstore::ChangeTag& tag,
                                                       const searchstore::Stamp& stamp);
};

// Bytes of the index kept on disk for `catalog`; -1 when there is none.
qint64 keptIndexBytes(const QString& catalog);

// The index for the catalog open in `db`, for a search through `db`: the kept one while it
// is current, else built from the catalog and kept for next time. nullptr when the catalog
// cannot tell its changes, or the index cannot be kept (a search through SQLite is then
// cheaper than a build for one search). `db` must have no transaction open.
std::shared_ptr<const SearchIndex> keptIndex(Database& db);

} // namespace vorlane
