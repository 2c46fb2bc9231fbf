// The example catalog that the first run opens.
#pragma once

#include <QString>

namespace vorlane {

// Writes a catalog with nested categories, a dozen discs with their folders and files,
// and notes, at `path` (replacing any file there).
void writeExampleCatalog(const QString& path);

} // namespace vorlane
