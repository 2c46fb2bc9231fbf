// How many discs hold each file (no widgets): the files a failing disc would take with it.
// Files are the same as the duplicate search decides (see duplicatestore.h).
#pragma once

#include "core/store/duplicatestore.h"

#include <QHash>
#include <atomic>
#include <vector>

namespace vorlane {

class Database;

namespace copiesstore {

struct Copy {
    qint64 size = 0;
    int discs = 0; // the discs that hold this file or one the same
    duplicatestore::Member member;
};

// The files of `minSize` bytes or more held on at most `maxDiscs` discs, the largest first
// (ties: files the same kept together, each group's members by disc and path). Nothing when
// `cancel` becomes true. Throws DbError.
std::vector<Copy> findCopies(Database& db, int maxDiscs, qint64 minSize,
                             const std::atomic<bool>* cancel = nullptr,
                             const duplicatestore::ProgressFn& progress = {});

struct SoleCopies {
    qint64 files = 0;
    qint64 bytes = 0;
};

// Per disc id, the files that no other disc holds, and their bytes. Discs without any are
// left out. Throws DbError.
QHash<qint64, SoleCopies> soleCopies(Database& db, const std::atomic<bool>* cancel = nullptr);

} // namespace copiesstore
} // namespace vorlane
