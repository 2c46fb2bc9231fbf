#include "store/filecopy.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    const QFileInfo fa(a), fb(b);
    if (!fa.exists() || !fb.exists())
        return false;
    return fa.canonicalFilePath() == fb.canonicalFilePath();
}

} // namespace vorlane
