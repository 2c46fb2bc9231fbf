// Catalog files for tests, written through the database layer.
#pragma once

#include "core/store/database.h"

#include <QList>
#include <QString>
#include <QVariantList>

namespace testcat {

// An empty catalog at `path` (from the schema, like the template).
void create(const QString& path);
qint64 addCategory(vorlane::Database& db, const QString& name, qint64 father = 0, int order = 0);
qint64 addDisc(vorlane::Database& db, qint64 classId, const QString& name, int order = 0,
               const QString& sourcePath = {}, const QString& note = {});
qint64 addEntry(vorlane::Database& db, qint64 disc, qint64 father, const QString& name, bool isDir,
                qint64 size = 0, const QString& fpath = {}, const QString& note = {});
// A catalog as it was written before schema versions: `pragma user_version` 0, an index on
// CdID alone, and, unless `withVolumeLabel`, no CDId column (a file that never saw the
// program).
void createUnversioned(const QString& path, bool withVolumeLabel);
// Stamps the catalog at `path` with schema version `version`.
void setVersion(const QString& path, int version);
// Every row of the four tables, each led by its table's name, for comparing a catalog
// before and after.
QList<QVariantList> allRows(const QString& path);
// Points the program's settings and data folder at a new, empty temporary folder.
void isolateSettings();

} // namespace testcat
