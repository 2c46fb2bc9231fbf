// The catalog's own check: the file's integrity, then the rules of catalogrules.h (names
// that cannot stand in a path, missing parents, files holding entries, entries on another
// disc than their folder, circles of parents, archive members out of place), and media
// facts or thumbnails left without their entry.
#pragma once

#include <QString>
#include <functional>

namespace vorlane {

class Database;

// Reports each fault as it is found, one line each (e.g. "disc 4: its category 9 does
// not exist"), and returns their number: 0 for a sound catalog. Throws DbError when the
// file cannot be read; the faults reported before stand.
int checkCatalog(Database& db, const std::function<void(const QString& fault)>& onFault);

} // namespace vorlane
