// Each folder's total: the sizes of all files below it at any depth, kept in
// qCDFiles.DirSize so that a listing shows it without reading the folder's whole branch.
// A link counts 0; an archive counts its own size, never its members'; a folder inside an
// archive totals the members below it.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace vorlane {

class Database;

namespace foldersizes {

// True when the catalog has the DirSize column.
bool available(Database& db);

// The column expression for an entry's size as shown and searched: a folder's total, a
// file's own size. A catalog without the totals (older, opened read-only) gives FSize, or
// with `unknownNegative` -1 for a folder, so that a listing leaves its size out as before.
QString sizeColumn(Database& db, bool unknownNegative = false);

// Works out and stores the totals of every folder of one disc (nullopt: of every disc),
// in one pass over its rows. Rows whose total is already right are not written. Run it
// inside the caller's transaction. Throws DbError. Does nothing without the column.
void storeTotals(Database& db, std::optional<qint64> discId);

// Works the totals out again for the given folders and every folder above them, deepest
// first, each from its own children: after a hand add, a removal or a move below them.
// Ids that are no longer folders are passed over. Throws DbError.
void refreshAbove(Database& db, const QList<qint64>& folderIds);

} // namespace foldersizes
} // namespace vorlane
