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

// Adds the volume-label column to catalogs made before it existed. Runs after every open;
// any failure (the column is already there, the file is read-only) is ignored.
void upgradeCatalog(Database& db);

// Writes an empty catalog file at `path` (an existing file is replaced).
void writeTemplate(const QString& path);

} // namespace vorlane
