// Optical drives and mounted disc images, reached through an interface so that tests can
// supply their own.
#pragma once

#include <QList>
#include <QString>

namespace vorlane {

struct DriveInfo {
    QString device;     // /dev/sr0, /dev/loop3
    QString mountPoint; // empty when no disc is mounted
    QString label;      // the filesystem label; empty without a mounted disc

    // Where an import starts: the mount point, or the device while nothing is mounted.
    QString root() const { return mountPoint.isEmpty() ? device : mountPoint; }
    // label + " (" + root + ")", as the drive list shows it.
    QString displayText() const;
};

class Drives {
public:
    virtual ~Drives() = default;
    // Every optical drive (mounted or not) and every mounted iso9660/udf image.
    virtual QList<DriveInfo> list() = 0;
    // The label of the disc at `root` read afresh; empty when no disc with a label is
    // mounted there.
    virtual QString label(const QString& root) = 0;
};

// The system's drives unless a test installed its own.
Drives& drives();
void setDrives(Drives* d); // not owned; nullptr restores the system one

// Parses a mount table in the form of /proc/self/mounts and returns the disc
// filesystems (iso9660, udf) as {device, mountPoint}; octal escapes are decoded.
QList<DriveInfo> discMounts(const QByteArray& mountTable);

} // namespace vorlane
