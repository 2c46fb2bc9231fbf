// Compaction of a catalog file: a backup first, then a compacted copy (every AutoId kept)
// that replaces the file.
#pragma once

#include <QString>
#include <functional>

namespace vorlane {

enum class CompactStage { BackingUp, Compacting };
enum class CompactResult { Done, BackupFailed, CompactFailed };

// The backup of a catalog: its full name with ".bak" appended.
QString backupPath(const QString& catalog);

// The compacted copy is built in `tempDir` under the catalog's file name (a stale file of
// that name is removed first), then copied over the catalog and removed. `onStage` runs
// before each stage; a caller holding a connection to the catalog closes it when
// Compacting begins. On CompactFailed the catalog is unchanged unless the reason says
// otherwise; `error` receives the reason.
CompactResult compactCatalog(const QString& catalog,
                             const std::function<void(CompactStage)>& onStage = {},
                             QString* error = nullptr, const QString& tempDir = {});

} // namespace vorlane
