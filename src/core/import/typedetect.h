// File-type detection: the extensions that occur below a root, so that an import can be
// limited to some of them. Never writes to the catalog.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace vorlane {

struct TypeDetectHooks {
    // Called with the full path of the file being read, at most every
    // `progressIntervalMs` (0 = every file). Runs on the detecting thread.
    std::function<void(const QString& path)> progress;
    int progressIntervalMs = 50;
    // Read only on entering a folder: a cancelled detection finishes the files of the
    // folders it is inside of, but enters no further folder.
    const std::atomic<bool>* cancel = nullptr;
};

// Walks the whole tree below `root` (any depth, few folders open at a time; names beginning
// with "." passed over; symbolic links passed over, never followed) and returns, in the
// order first met, every extension (from the last "." of a file name on, dot included) that is
// neither in `known` nor already returned, comparing with only a-z folded. Each is spelled as in
// the first file that had it. Files without a "." in their name give the empty string, which
// ScanParams::types accepts for them. An unreadable root or folder contributes nothing.
QStringList detectTypes(const QString& root, const QStringList& known,
                        const TypeDetectHooks& hooks = {});

// `list` plus those of `found` it does not hold yet (only a-z folded), sorted without
// regard to letter case: the import dialog's type list after a detection.
QStringList mergeTypes(const QStringList& list, const QStringList& found);

// How a type of such a list is shown: the empty string (no extension) by name.
QString typeCaption(const QString& type);

} // namespace vorlane
