// Everything the catalog holds of one entry, read at once for its properties and for
// copying its path.
#pragma once

#include "core/store/contentstore.h"
#include "core/store/mediastore.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace vorlane {

class Database;

struct EntryFacts {
    qint64 id = 0;
    qint64 discId = 0;
    qint64 fatherId = 0;
    QString name;    // TreeName, as shown
    QByteArray raw;  // FName: the name's own bytes when they are not UTF-8; else empty
    QString path;    // FPath: a folder's own path, or the holding folder's path for a file
    qint64 size = 0; // FSize
    bool isDir = false;
    std::optional<qint64> mtime; // seconds since 1970 UTC; unknown for older or hand-made rows
    QString link;                // a symbolic link's target
    QByteArray hash;             // FHash: XXH3-128, its canonical 16 bytes; empty: none taken
    ArchiveMark archive = ArchiveMark::None;
    SpecialKind special = SpecialKind::None;
    QString note; // TreeExp
    // The disc it is on; the name is empty and the source path too when the disc is gone.
    QString discName;
    QString sourcePath;
    // For a member of a listed archive: that archive's id and its path below the disc's
    // root ("/A/b.zip"); 0 and empty otherwise.
    qint64 archiveId = 0;
    QString archivePath;
    // What a scan read of its picture, sound or video; none when nothing was read.
    std::optional<MediaFacts> media;

    // The entry's path below the disc's root, as shown ("/A/B/f.txt").
    QString pathBelowRoot() const;
    // Where it lies on the disc's source: the source path in front of the path below it.
    QString fullPath() const { return sourcePath + pathBelowRoot(); }
};

namespace entryfacts {

// The entry's facts; nullopt when there is no such entry. Throws DbError.
std::optional<EntryFacts> read(Database& db, qint64 entryId);

} // namespace entryfacts
} // namespace vorlane
