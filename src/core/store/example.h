// The example catalog that the first run opens.
#pragma once

#include <QString>

namespace vorlane {

// Writes a catalog with nested categories, a dozen discs with their folders and files,
// and notes, at `path` (replacing any file there).
void writeExampleCatalog(const QString& path);

// The example the user opens: a copy of the installed `installed` in `dataDir`, made on
// first use. The installed file usually lies in a folder only the administrator can
// write, where it could be neither backed up nor edited. An existing copy is kept as it
// is, since the user may have changed it. When no copy can be made, `installed` itself.
QString userExampleCatalog(const QString& installed, const QString& dataDir);

} // namespace vorlane
