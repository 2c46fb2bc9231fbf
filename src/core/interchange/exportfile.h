// Where an export goes: the file the user named (the -o option, the save dialog) or an
// open descriptor such as standard output. Shared by the command line and the window.
#pragma once

#include "core/interchange/catalogexport.h"

#include <QByteArrayView>

namespace vorlane {

// Writes the export to `target`. A regular file, or a name not taken yet, is written under
// a temporary name beside it and renamed in only once the export is complete, so a failure
// or a cancel leaves what was there and never a partial file; an existing file keeps its
// permission bits. A FIFO or a character device is opened and written as it is, never
// replaced; a FIFO without a reader is waited for (a cancel still answered). Anything
// else (a folder, a block device, a socket) and the catalog file itself are refused.
// Throws ExportWriteError saying why, in the system's words where the system refused
// ("No space left on device"), and DbError when the catalog cannot be read.
ExportResult exportToFile(Database& db, const ExportOptions& options, const QString& target,
                          const ExportHooks& hooks = {});

// Writes `bytes` to `target` as exportToFile() writes an export; `catalog` (when given)
// is never replaced. Throws ExportWriteError.
void writeFileSafely(const QString& target, QByteArrayView bytes, const QString& catalog = {});

// Writes the export straight to the open descriptor `fd`; throws as above.
ExportResult exportToDescriptor(Database& db, const ExportOptions& options, int fd,
                                const ExportHooks& hooks = {});

} // namespace vorlane
