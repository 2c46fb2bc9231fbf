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

// Lists the archive `name` in the open folder `dirFd`. Folders that the archive implies but
// does not hold get their own member. A path met twice keeps its last entry. Each folder's
// members are in name order. `stop` is asked between members. A listing that stops, or a
// file that is not a regular one, is not listed and has no problem.
Listing listArchive(int dirFd, const char* name, fsnames::NameDecoder& names,
                    const std::function<bool()>& stop = {});

// The note an archive's row carries when its contents could not be listed, and whether a
// note is one of those (a rescan replaces such a note, never one the user wrote).
QString problemNote(const QString& problem);
bool isProblemNote(const QString& note);

// Copies the member at `inner` (its path inside the archive: raw names joined by "/") of
// the archive file `archive` to the new file `target`. False with `error` set when it
// could not be done; nothing is left at `target` then.
bool extractMember(const QByteArray& archive, const QByteArray& inner, const QByteArray& target,
                   QString& error);

} // namespace vorlane::archivelist
