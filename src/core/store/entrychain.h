// Reads that follow an entry's parents: the chain shown in the path bar, and the entry a
// path below a disc's root names.
#pragma once

#include "core/store/contentstore.h"

#include <QStringList>
#include <vector>

namespace vorlane {

class Database;

namespace contentstore {

// The entry and the folders (and archives) above it, outermost first, each with its name;
// empty when there is no such entry. A damaged loop of parents is cut off.
std::vector<FolderRef> entryChain(Database& db, qint64 entryId);

// The entry of disc `discId` that `names` lead to from its top level, one name a level;
// 0 when a level has no such name.
qint64 entryAtPath(Database& db, qint64 discId, const QStringList& names);

} // namespace contentstore
} // namespace vorlane
