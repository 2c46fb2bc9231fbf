// Whole-file copies of a catalog (backup, save as, compaction, a new file from the
// template). The copy goes to a temporary file beside the target and is renamed over it
// only when complete, so a failed copy never leaves half a file where a good one was.
#pragma once

#include <QString>

namespace vorlane {

// Copies `source` byte for byte to `target`, replacing it. Returns false (with a reason in
// `error` when given) when the source cannot be read or the target cannot be written; the
// target is then left as it was.
bool copyFileReplacing(const QString& source, const QString& target, QString* error = nullptr);

// True when both paths name the same existing file: the same device and inode, so hard
// and symbolic links count as the file itself.
bool isSameFile(const QString& a, const QString& b);

} // namespace vorlane
