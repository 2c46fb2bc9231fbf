#include "core/import/drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace vorlane {

QString DriveInfo::displayText() const {
    return label + QStringLiteral(" (") + root() + QLatin1Char(')');
}

namespace {

// /proc/mounts writes space, tab, newline and backslash as \ooo.
QString unescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '7') {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

QString canonicalDevice(const QString& device) {
    const QString c = QFileInfo(device).canonicalFilePath();
    return c.isEmpty() ? device : c;
}

QString labelOf(const QString& mountPoint, const QString& device) {
    const QStorageInfo storage(mountPoint);
    if (storage.isValid() && !storage.name().isEmpty())
        return storage.name();
    // QStorageInfo misses labels of some loop mounts; the udev links have them.
    const QDir byLabel(QStringLiteral("/dev/disk/by-label"));
    const QString dev = canonicalDevice(device);
    for (const QFileInfo& link : byLabel.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == dev) {
            // udev escapes characters such as "/" and " " as \xNN
            QString name = link.fileName();
            QString out;
            for (qsizetype i = 0; i < name.size(); ++i) {
                if (name[i] == QLatin1Char('\\') && i + 3 < name.size() &&
                    name[i + 1] == QLatin1Char('x')) {
                    bool ok = false;
                    const int v = name.mid(i + 2, 2).toInt(&ok, 16);
                    if (ok) {
                        out += QChar(v);
                        i += 3;
                        continue;
                    }
                }
                out += name[i];
            }
            return out;
        }
    }
    return {};
}

QByteArray readMountTable() {
    QFile f(QStringLiteral("/proc/self/mounts"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

class SystemDrives : public Drives {
public:
    QList<DriveInfo> list() override {
        QList<DriveInfo> mounts = discMounts(readMountTable());
        QList<DriveInfo> out;
        const QDir block(QStringLiteral("/sys/block"));
        for (const QString& sr : block.entryList({QStringLiteral("sr*")},
                                                 QDir::AllEntries | QDir::System, QDir::Name)) {
            DriveInfo d;
            d.device = QStringLiteral("/dev/") + sr;
            for (qsizetype i = 0; i < mounts.size(); ++i) {
                if (canonicalDevice(mounts[i].device) == d.device) {
                    d.mountPoint = mounts[i].mountPoint;
                    mounts.removeAt(i);
                    break;
                }
            }
            if (!d.mountPoint.isEmpty())
                d.label = labelOf(d.mountPoint, d.device);
            out << d;
        }
        // Disc images mounted through a loop device (and discs in drives not under sr*).
        for (DriveInfo& m : mounts) {
            m.label = labelOf(m.mountPoint, m.device);
            out << m;
        }
        return out;
    }

    QString label(const QString& root) override {
        for (const DriveInfo& m : discMounts(readMountTable())) {
            if (m.mountPoint == root)
                return labelOf(m.mountPoint, m.device);
        }
        return {};
    }
};

Drives* g_drives = nullptr;

} // namespace

QList<DriveInfo> discMounts(const QByteArray& mountTable) {
    QList<DriveInfo> out;
    for (const QByteArray& line : mountTable.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 3)
            continue;
        const QByteArray type = f[2];
        if (type != "iso9660" && type != "udf")
            continue;
        DriveInfo d;
        d.device = unescapeMountField(f[0]);
        d.mountPoint = unescapeMountField(f[1]);
        bool seen = false;
        for (const DriveInfo& o : out)
            seen = seen || o.mountPoint == d.mountPoint;
        if (!seen)
            out << d;
    }
    return out;
}

Drives& drives() {
    static SystemDrives system;
    return g_drives ? *g_drives : system;
}

void setDrives(Drives* d) {
    g_drives = d;
}

} // namespace vorlane
