#include "store/filecopy.h"

#include <QFile>
#include <QSaveFile>
#include <sys/stat.h>

namespace vorlane {

namespace {
bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}
} // namespace

bool copyFileReplacing(const QString& source, const QString& target, QString* error) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, in.errorString());
    // Copying a file onto itself would truncate it; there is nothing to do.
    if (isSameFile(source, target))
        return true;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, out.errorString());
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.cancelWriting();
            return fail(error, in.errorString());
        }
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n) {
            const QString reason = out.errorString();
            out.cancelWriting();
            return fail(error, reason);
        }
    }
    if (!out.commit())
        return fail(error, out.errorString());
    return true;
}

bool isSameFile(const QString& a, const QString& b) {
    // Device and inode: names differing in letter case are two files here, while links
    // and relative paths lead to the one file they name.
    if (a.isEmpty() || b.isEmpty())
        return false;
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace vorlane
