#include "core/store/filecopy.h"

#include "core/store/database.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Directory and file name of an encoded path.
QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// ".<name>.vorlane-": what every temporary name of this target starts with. Long names are
// cut so that the whole temporary name stays within the file system's limit.
QByteArray tempPrefix(const QByteArray& target) {
    return '.' + nameOf(target).left(160) + QByteArrayLiteral(".vorlane-");
}

// The target with a symbolic link at its place followed, as a copy replaces what the link
// points to.
QByteArray resolvedTarget(const QString& target) {
    const QFileInfo info(target);
    if (info.isSymLink()) {
        const QString real = info.canonicalFilePath();
        if (!real.isEmpty())
            return QFile::encodeName(real);
    }
    return QFile::encodeName(target);
}

// The process id in a temporary name after its prefix ("<pid>-XXXXXX", possibly followed
// by the journal suffix of the database engine), or 0 when the rest is not of that form.
pid_t ownerPid(const QByteArray& rest) {
    QByteArray tail = rest;
    if (tail.endsWith("-journal"))
        tail.chop(8);
    const qsizetype dash = tail.indexOf('-');
    if (dash <= 0 || tail.size() - dash - 1 != 6)
        return 0;
    for (qsizetype i = 0; i < tail.size(); ++i) {
        const char c = tail.at(i);
        const bool digit = c >= '0' && c <= '9';
        const bool alnum = digit || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (i < dash ? !digit : i > dash && !alnum)
            return 0;
    }
    bool ok = false;
    const long pid = tail.left(dash).toLong(&ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
}

bool processGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

// Read without changing the umask, which other threads may rely on at the same moment.
mode_t newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

namespace {

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

ReplacingFile::ReplacingFile(const QString& target) : m_target(resolvedTarget(target)) {}

ReplacingFile::~ReplacingFile() {
    discard();
}

bool ReplacingFile::open(QString* error) {
    discard();
    removeStaleTemporaries(QFile::decodeName(m_target));
    QByteArray name = folderOf(m_target) + '/' + tempPrefix(m_target) +
                      QByteArray::number(qint64(::getpid())) + QByteArrayLiteral("-XXXXXX");
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(error, QFile::decodeName(folderOf(m_target)) + QStringLiteral(": ") +
                               systemError(errno));
    m_fd = fd;
    m_temp = name;
    return true;
}

QString ReplacingFile::tempPath() const {
    return QFile::decodeName(m_temp);
}

bool ReplacingFile::commit(mode_t mode, QString* error) {
    if (m_fd < 0)
        return fail(error, QStringLiteral("no file to commit"));
    if (::fchmod(m_fd, mode & 07777) != 0 || ::fsync(m_fd) != 0) {
        const int code = errno;
        discard();
        return fail(error, systemError(code));
    }
    ::close(m_fd);
    m_fd = -1;
    if (::rename(m_temp.constData(), m_target.constData()) != 0) {
        const int code = errno;
        discard();
        return fail(error, QFile::decodeName(m_target) + QStringLiteral(": ") + systemError(code));
    }
    m_temp.clear();
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folderOf(m_target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void ReplacingFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        ::unlink((m_temp + QByteArrayLiteral("-journal")).constData());
        m_temp.clear();
    }
}

void removeStaleTemporaries(const QString& target) {
    const QByteArray encoded = QFile::encodeName(target);
    const QByteArray folder = folderOf(encoded);
    const QByteArray prefix = tempPrefix(encoded);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dfd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (!name.startsWith(prefix))
            continue;
        const pid_t pid = ownerPid(name.mid(prefix.size()));
        if (pid == 0 || pid == ::getpid() || !processGone(pid))
            continue;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        ::unlinkat(dfd, e->d_name, 0);
    }
    ::closedir(dir);
}

bool copyFileReplacing(const QString& source, const QString& target, QString* error) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, in.errorString());
    // Copying a file onto itself would truncate it; there is nothing to do.
    if (isSameFile(source, target))
        return true;
    ReplacingFile out(target);
    if (!out.open(error))
        return false;
    struct stat st {};
    const mode_t mode = ::stat(QFile::encodeName(target).constData(), &st) == 0 ? st.st_mode & 07777
                                                                                : newFileMode();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return fail(error, in.errorString());
        if (n == 0)
            break;
        if (!writeAll(out.handle(), buffer.constData(), n))
            return fail(error, systemError(errno));
    }
    return out.commit(mode, error);
}

bool backupCatalog(Database& db, const QString& target, QString* error,
                   const std::function<bool()>& between) {
    const QByteArray catalog = QFile::encodeName(db.path());
    struct stat st {};
    if (::stat(catalog.constData(), &st) != 0)
        return fail(error, db.path() + QStringLiteral(": ") + systemError(errno));
    // A backup name that leads to the catalog itself must not replace it.
    if (isSameFile(db.path(), target))
        return fail(error, target + QStringLiteral(" is the catalog itself"));
    ReplacingFile out(target);
    if (!out.open(error))
        return false;
    try {
        db.backupTo(out.tempPath(), between);
    } catch (const DbError& e) {
        return fail(error, e.text());
    }
    return out.commit(st.st_mode & 0777, error);
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
