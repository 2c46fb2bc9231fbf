// The catalog's tables, made once for the template file; everything else copies it.
#pragma once

#include <QString>

namespace vorlane {

class Database;

// Creates the four tables and their indexes in an empty database.
void createCatalogSchema(Database& db);

// True when the open database holds the four tables with every column the program reads.
// The volume-label column is not required: the upgrade below adds it where it can.
bool hasCatalogSchema(Database& db);

// The schema version this program writes, kept in the file's `pragma user_version`.
// Files that have never seen the program carry 0.
constexpr int CatalogVersion = 7;

// True when the open catalog has every column that version 2 adds. A catalog on storage
// that cannot be written may lack them; readers then leave what they hold empty.
bool hasVersion2Columns(Database& db);

// True when the open catalog has the columns version 3 adds: `qCDFiles.FHash`,
// `qCDFiles.Archive` and `qCD.ScanOptions`. Same rule as above for storage that cannot be written.
bool hasVersion3Columns(Database& db);

// True when the open catalog has the column version 4 adds: `qCDFiles.Special`.
bool hasVersion4Columns(Database& db);

// True when the open catalog has the column version 6 adds: `qCDFiles.DirSize`, each
// folder's total.
bool hasVersion6Columns(Database& db);

// True when the open catalog has the tables version 7 adds: `qMedia` (media facts),
// `qThumb` (thumbnails) and `qForeignHash` (MD5, SHA-1 and SHA-256 digests brought in
// from other programs), with the trigger that removes an entry's rows with it.
bool hasMediaTables(Database& db);

// True when the open catalog has the change tag version 5 adds, with every trigger that
// renews it intact: only then does the tag tell whether the catalog has changed.
bool hasChangeTag(Database& db);

// The schema version of the open catalog.
int catalogVersion(Database& db);

enum class CatalogUpgrade {
    Current,     // nothing to do
    Upgraded,    // brought to CatalogVersion
    NotWritable, // left as it was: the file cannot be written now
    Newer,       // made by a later program: left untouched, to be opened read-only
};

// Runs after every open. First adds the volume-label column to catalogs made before it
// existed (any failure is ignored), then brings an older catalog to CatalogVersion in one
// transaction. Upgrades only add (columns, tables, indexes), so older readers still read
// the file. A catalog from a later program is not touched at all.
CatalogUpgrade upgradeCatalog(Database& db);

// Writes an empty catalog file at `path` (an existing file is replaced).
void writeTemplate(const QString& path);

} // namespace vorlane
