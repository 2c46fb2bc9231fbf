// The same file kept more than once across a catalog's discs (no widgets).
//
// Which files are the same: only files count (no folders, no symbolic links), and only
// those of at least a given size. Files of one size are the same when they share a content
// hash of one algorithm: ours (XXH3-128) or one brought in from another program's listing
// (MD5, SHA-1, SHA-256), and no algorithm both have tells them apart. A file without a hash,
// or with none of an algorithm the others have, is keyed by its size and name, except when
// the files of that size and name that do carry a hash could all be one content: it then
// joins their group. Every file is in exactly one group, and no group ever holds two files
// whose hashes of one algorithm differ.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

namespace vorlane {

class Database;

namespace duplicatestore {

struct Member {
    qint64 id = 0;       // the file's AutoId
    qint64 discId = 0;   // CdID
    qint64 folderId = 0; // FatherId: 0 at the disc's top level
    QString discName;
    QString path; // below the disc's root, folder names joined by '/', the file's name last
};

struct Group {
    qint64 size = 0;
    // The content hash the members share; empty when they match by size and name alone.
    QByteArray hash;
    QString algorithm; // of `hash`: "XXH3-128", "SHA-256", "SHA-1" or "MD5"
    // Disc name, then disc id, then path.
    std::vector<Member> members;
    // Bytes that all copies but one take: size × (members − 1), at most the largest qint64.
    qint64 wasted() const;
};

// Where a search stands. The files are read twice, all of them: their sizes, then those of
// the sizes shared; the groups found are then named (their disc and path looked up).
struct Progress {
    enum class Stage { Sizes, Candidates, Groups };
    Stage stage = Stage::Sizes;
    qint64 done = 0;   // rows read in this pass, or groups named
    qint64 total = -1; // what `done` counts up to; -1 while the first pass runs
};
using ProgressFn = std::function<void(const Progress&)>;

// The groups of at least two files of `minSize` bytes or more, the largest wasted space
// first (ties: larger files, then hashed groups, then by key). Two plain passes over the
// files, one snapshot: their sizes, then the files of the sizes shared; only those are kept
// in memory, so a catalog of millions of rows costs about two scans and a sort of sizes.
// When `cancel` becomes true the read stops and nothing is returned. Throws DbError when
// the catalog cannot be read. Catalogs without hash or link columns read them as empty.
// `progress`, when given, hears now and then how far it got, and once at each stage's end.
std::vector<Group> findDuplicates(Database& db, qint64 minSize,
                                  const std::atomic<bool>* cancel = nullptr,
                                  const ProgressFn& progress = {});

// Disc name, then disc id, then path.
void sortMembers(std::vector<Member>& members);

} // namespace duplicatestore
} // namespace vorlane
