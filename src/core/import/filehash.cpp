#include "core/import/filehash.h"

#include <QCryptographicHash>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace vorlane::filehash {

namespace {

// Large reads: an optical drive or a network share answers few large requests much faster
// than many small ones.
constexpr size_t kBlock = 1 << 20;

// Opens without touching the access time where the file's owner allows it; O_NOATIME is
// refused (EPERM) for files of other users, which are then opened plainly.
int openForReading(int dirFd, const char* name) {
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = ::openat(dirFd, name, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::openat(dirFd, name, flags);
    return fd;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

struct StateFree {
    void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
};

} // namespace

Outcome hashFile(int dirFd, const char* name, const std::atomic<bool>* cancel,
                 const std::function<void(qint64)>& onRead, QCryptographicHash* also) {
    Outcome out;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.error = errno;
        return out;
    }
    if (!S_ISREG(st.st_mode)) {
        out.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return out;
    }
    const FdCloser file{openForReading(dirFd, name)};
    if (file.fd < 0) {
        out.error = errno;
        return out;
    }
    // Replaced by something else between the two looks.
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error = EINVAL;
        return out;
    }
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::unique_ptr<XXH3_state_t, StateFree> state(XXH3_createState());
    if (!state || XXH3_128bits_reset(state.get()) == XXH_ERROR) {
        out.error = ENOMEM;
        return out;
    }
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlock]);
    if (!buffer) {
        out.error = ENOMEM;
        return out;
    }
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            out.cancelled = true;
            return out;
        }
        const ssize_t n = ::read(file.fd, buffer.get(), kBlock);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.error = errno;
            return out;
        }
        XXH3_128bits_update(state.get(), buffer.get(), size_t(n));
        if (also)
            also->addData(QByteArrayView(buffer.get(), qsizetype(n)));
        out.bytes += n;
        if (onRead)
            onRead(qint64(n));
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    std::memcpy(out.digest.data(), canonical.digest, DigestBytes);
    out.ok = true;
    return out;
}

QByteArray toBytes(const Digest& digest) {
    return QByteArray(reinterpret_cast<const char*>(digest.data()), DigestBytes);
}

bool fromBytes(const QByteArray& bytes, Digest& digest) {
    if (bytes.size() != DigestBytes)
        return false;
    std::memcpy(digest.data(), bytes.constData(), DigestBytes);
    return true;
}

} // namespace vorlane::filehash
