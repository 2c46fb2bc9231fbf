// The members of archive files (zip, 7z, tar plain or compressed, ISO images), read with
// libarchive: listed by the scan as rows below the archive's row, and extracted one at a
// time when such a row is opened.
#pragma once

#include "core/import/treewalk.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <string_view>
#include <vector>

namespace vorlane::archivelist {

// True when the name ends like an archive this listing reads (".zip", ".tar.gz", ".iso"…),
// letters folded. Cheap: the scan opens only such files, and then goes by their content.
bool hasArchiveName(std::string_view name);

// One member, as the scan stores it. Folders come before their contents.
struct Member {
    WalkEntry entry; // name decoded like a file name, raw bytes when not UTF-8
    // Below the archive: a folder's own path, or the path of the folder holding a file
    // ("" at the archive's top level, else "/a/b"), in stored names.
    std::string path;
    int parent = -1; // index of the member folder holding it; -1: the archive's top level
};

struct Listing {
    // The file was read as an archive: it lists as one, also when empty.
    bool listed = false;
    std::vector<Member> members;
    // Why the contents could not be listed (damaged, encrypted, not an archive at all);
    // empty when they were. No member is kept then.
    QString problem;
};

// The work one archive may cost. An archive that passes a limit is not listed: it stays an
// ordinary file whose note says which limit it passed.
struct Limits {
    // One member's path inside the archive, in bytes: the file system's own limit.
    qint64 pathBytes = 4096;
    // Members, the folders the archive implies but does not hold counted too.
    qint64 members = 500000;
    // The paths of all members together. Every member's row repeats the path of its
    // folder, so a deep tree costs the square of its depth.
    qint64 allPathBytes = qint64(64) << 20;
    // Bytes decompressed while reading an archive compressed as a whole (.tar.gz, .tar.bz2…):
    // the archive's own size times `unpackedRatio`, at least `unpackedLeast` and at most
    // `unpackedMost`. gzip gives at most about 1,000 to 1, so only the denser formats meet
    // this below 64 GiB, and a few kilobytes of them can hold gigabytes of zeros.
    qint64 unpackedRatio = 1000;
    qint64 unpackedLeast = qint64(1) << 30;
    qint64 unpackedMost = qint64(64) << 30;

    qint64 unpackedFor(qint64 archiveSize) const;
};

// Lists the archive `name` in the open folder `dirFd`. Folders that the archive implies but
// does not hold get their own member. A path met twice keeps its last entry. Each folder's
// members are in name order. `stop` is asked between members and while a compressed
// stream is read. A listing that stops, or a file that is not a regular one, is not listed
// and has no problem.
Listing listArchive(int dirFd, const char* name, fsnames::NameDecoder& names,
                    const std::function<bool()>& stop = {}, const Limits& limits = {});

// The note an archive's row carries when its contents could not be listed, and whether a
// note is one of those (a rescan replaces such a note, never one the user wrote).
QString problemNote(const QString& problem);
bool isProblemNote(const QString& note);

// Copies the member at `inner` (its path inside the archive: raw names joined by "/") of
// the archive file `archive` to the new file `name` in the open folder `dirFd`, a folder the
// caller made for it. The file is made there and nowhere else (no link followed, nothing
// replaced); a name that is empty, "." or "..", or holds "/" or NUL, is refused. Of a path
// the archive holds twice, the last is copied, the one the listing keeps. At most `size`
// bytes, the member's catalogued size, are written: a member whose data runs past it is
// refused. False with `error` set when it could not be done; nothing is left then.
bool extractMember(const QByteArray& archive, const QByteArray& inner, qint64 size, int dirFd,
                   const QByteArray& name, QString& error, const Limits& limits = {});

} // namespace vorlane::archivelist
