// The rows of `ls`: one level of a disc in text, tsv or JSON.
#pragma once

#include "cli/clicommon.h"

namespace vorlane::cli {

// Lists level `folder` (0: the top) of `disc`; `levelBytes` is the level's path as the
// file system names it (contentstore::rawEntryPath()).
void listLevel(Context& ctx, Database& db, qint64 disc, qint64 folder, const QByteArray& levelBytes,
               const QString& format);

} // namespace vorlane::cli
