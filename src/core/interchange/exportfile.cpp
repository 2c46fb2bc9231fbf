#include "core/interchange/exportfile.h"

#include "core/store/database.h"
#include "core/store/filecopy.h"

#include <QFile>
#include <QIODevice>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Writes to a descriptor it does not own with write(2), unbuffered, so that a failure
// carries the system's own reason instead of a buffered file's "Unknown error".
class DescriptorDevice final : public QIODevice {
public:
    explicit DescriptorDevice(int fd) : m_fd(fd) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
            if (n >= 0) {
                done += n;
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A descriptor left non-blocking by whoever opened it.
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, -1);
                continue;
            }
            setErrorString(systemError(errno));
            return -1;
        }
        return done;
    }

private:
    int m_fd;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now: a device may report a failure only then.
    int close() {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd;
};

// A reader that goes away must not end the program, which writes from a worker thread in
// the window: SIGPIPE is held back on this thread while it writes (the write then fails
// with EPIPE), and one that it raised is taken back.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
    }
    ~PipeSignalHeld() {
        sigset_t pending;
        if (!sigismember(&m_before, SIGPIPE) && sigpending(&pending) == 0 &&
            sigismember(&pending, SIGPIPE)) {
            const timespec now{0, 0};
            sigtimedwait(&m_pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_before;
};

[[noreturn]] void refuse(const QString& text) {
    throw ExportWriteError(text);
}

bool cancelled(const ExportHooks& hooks) {
    return hooks.cancel && hooks.cancel->load(std::memory_order_relaxed);
}

// Opens a FIFO or a character device for writing, as it is. Opening a FIFO blocks until a
// reader comes; it is waited for here in steps, so that a cancel is still answered.
// -1 when cancelled meanwhile.
int openDirect(const QByteArray& path, const ExportHooks& hooks) {
    for (;;) {
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
                ::close(fd);
                refuse(QStringLiteral("it changed while it was opened; nothing was written"));
            }
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        const int code = errno;
        if (code != ENXIO && code != EINTR)
            refuse(systemError(code));
        // ENXIO: a FIFO that nobody reads yet.
        if (cancelled(hooks))
            return -1;
        if (code == ENXIO)
            QThread::msleep(50);
    }
}

} // namespace

ExportResult exportToDescriptor(Database& db, const ExportOptions& options, int fd,
                                const ExportHooks& hooks) {
    DescriptorDevice device(fd);
    return exportCatalog(db, options, device, hooks);
}

namespace {

// Writes `target` with `write` (given the descriptor to write to), as exportToFile() says.
template <typename Write>
ExportResult writeTarget(const QString& target, const QString& catalog, const ExportHooks& hooks,
                         Write write) {
    const QByteArray path = QFile::encodeName(target);
    struct stat st {};
    bool exists = true;
    if (::stat(path.constData(), &st) != 0) {
        if (errno != ENOENT)
            refuse(systemError(errno));
        exists = false;
    }
    if (exists && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        Descriptor fd(openDirect(path, hooks));
        if (fd.get() < 0)
            return ExportResult::Cancelled;
        const PipeSignalHeld held;
        const ExportResult result = write(fd.get());
        if (fd.close() != 0 && result == ExportResult::Done)
            refuse(systemError(errno));
        return result;
    }
    if (exists && S_ISDIR(st.st_mode))
        refuse(systemError(EISDIR));
    if (exists && !S_ISREG(st.st_mode))
        refuse(QStringLiteral("neither a file, a FIFO nor a character device; nothing was "
                              "written"));
    if (exists && !catalog.isEmpty() && isSameFile(catalog, target))
        refuse(QStringLiteral("this is the catalog itself; it was not replaced"));
    // A file the user may not write is not replaced behind its back either.
    if (exists && ::access(path.constData(), W_OK) != 0)
        refuse(systemError(errno));

    ReplacingFile file(target);
    QString error;
    if (!file.open(&error))
        refuse(error);
    // A failure or a cancel leaves the file as it was: `file` removes its temporary.
    const ExportResult result = write(file.handle());
    if (result != ExportResult::Done)
        return result;
    if (!file.commit(exists ? st.st_mode & 0777 : newFileMode(), &error))
        refuse(error);
    return ExportResult::Done;
}

} // namespace

ExportResult exportToFile(Database& db, const ExportOptions& options, const QString& target,
                          const ExportHooks& hooks) {
    return writeTarget(target, db.path(), hooks,
                       [&](int fd) { return exportToDescriptor(db, options, fd, hooks); });
}

void writeFileSafely(const QString& target, QByteArrayView bytes, const QString& catalog) {
    writeTarget(target, catalog, {}, [&](int fd) {
        const PipeSignalHeld held;
        DescriptorDevice device(fd);
        if (device.write(bytes.data(), bytes.size()) != bytes.size())
            refuse(device.errorString());
        return ExportResult::Done;
    });
}

} // namespace vorlane
