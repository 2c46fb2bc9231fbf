// Compaction of a catalog file: a backup first, then the file is rebuilt in place under
// the database engine's own locking, so that a writer in another window or process waits
// for it instead of writing into a file that is being replaced. Every AutoId is kept, and
// so are the file's inode, links and permissions.
#pragma once

#include <QString>
#include <functional>

namespace vorlane {

class Database;

enum class CompactStage { BackingUp, Compacting };
enum class CompactResult { Done, BackupFailed, CompactFailed };

// The backup of a catalog: its full name with ".bak" appended.
QString backupPath(const QString& catalog);

// Compacts the catalog open in `db`, which stays open. `onStage` runs before each stage.
// On CompactFailed the catalog is unchanged and `error` receives the reason (for instance
// that another program kept the file locked).
CompactResult compactCatalog(Database& db, const std::function<void(CompactStage)>& onStage = {},
                             QString* error = nullptr);
// The same on a connection of its own to `catalog`.
CompactResult compactCatalog(const QString& catalog,
                             const std::function<void(CompactStage)>& onStage = {},
                             QString* error = nullptr);

} // namespace vorlane
