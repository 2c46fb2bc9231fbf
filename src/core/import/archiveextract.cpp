// One member taken out of an archive into a file of its own, made under a folder the caller
// made, so that no name the catalog holds can place it anywhere else.
#include "core/import/archivelist.h"
#include "core/import/archivereader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane::archivelist {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isPlainName(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

// An entry at the path `wanted` that the listing shows as a file.
bool matches(archive_entry* e, const QByteArray& wanted) {
    if (archive_entry_filetype(e) == AE_IFDIR)
        return false;
    const std::vector<std::string_view> parts = detail::pathParts(detail::memberPath(e));
    return !parts.empty() && detail::joinParts(parts) == wanted;
}

// The index of the last entry matching `wanted` (-1: none), or false with `error` set.
bool findLast(detail::Reader& reader, const QByteArray& wanted, qint64& last, QString& error) {
    archive_entry* e = nullptr;
    for (qint64 index = 0;; ++index) {
        const int rc = archive_read_next_header(reader.get(), &e);
        if (rc == ARCHIVE_EOF)
            return true;
        if (rc < ARCHIVE_WARN) {
            error = reader.why();
            return false;
        }
        if (matches(e, wanted))
            last = index;
    }
}

enum class Copy { Done, TooLong, Failed };

// Writes the current entry's data to `out`, replacing what it held, at most `limit` bytes.
// `length` is the copy's length once done.
Copy copyData(detail::Reader& reader, archive_entry* e, int out, qint64 limit, qint64& length,
              QString& error) {
    const bool sized = archive_entry_size_is_set(e);
    if (sized && archive_entry_size(e) > limit)
        return Copy::TooLong;
    if (::ftruncate(out, 0) != 0) {
        error = systemError(errno);
        return Copy::Failed;
    }
    length = sized ? std::max<qint64>(0, archive_entry_size(e)) : 0;
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int got = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (got == ARCHIVE_EOF)
            return Copy::Done;
        if (got < ARCHIVE_WARN) {
            error = reader.why();
            return Copy::Failed;
        }
        if (offset < 0 || offset > limit || qint64(size) > limit - offset)
            return Copy::TooLong;
        // Sparse members hand over blocks at their own offsets.
        const char* p = static_cast<const char*>(block);
        off_t at = off_t(offset);
        while (size > 0) {
            const ssize_t n = ::pwrite(out, p, size, at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = systemError(n < 0 ? errno : ENOSPC);
                return Copy::Failed;
            }
            p += n;
            at += n;
            size -= size_t(n);
        }
        length = std::max<qint64>(length, qint64(at));
    }
}

bool extractFrom(int fd, qint64 archiveSize, const QByteArray& wanted, qint64 limit, int dirFd,
                 const QByteArray& name, QString& error, const Limits& limits) {
    const detail::Utf8Locale utf8;
    const qint64 budget = limits.unpackedFor(archiveSize);
    auto reader = std::make_unique<detail::Reader>(budget, std::function<bool()>());
    if (!reader->open(fd)) {
        error = reader->why();
        return false;
    }
    const QString missing = QStringLiteral("压缩包中没有这个文件");
    qint64 last = -1; // the entry to copy; -1: known only at the end
    if (!reader->compressed()) {
        // Here the headers alone cost little: the last match is found first, so that the
        // copy ends with it instead of reading on to the end.
        if (!findLast(*reader, wanted, last, error))
            return false;
        if (last < 0) {
            error = missing;
            return false;
        }
        reader = std::make_unique<detail::Reader>(budget, std::function<bool()>());
        if (!reader->open(fd)) {
            error = reader->why();
            return false;
        }
    }
    int out = -1;
    const auto abandon = [&] {
        if (out >= 0) {
            ::close(out);
            ::unlinkat(dirFd, name.constData(), 0);
        }
        return false;
    };
    Copy copied = Copy::Failed;
    qint64 length = 0;
    archive_entry* e = nullptr;
    for (qint64 index = 0;; ++index) {
        const int rc = archive_read_next_header(reader->get(), &e);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc < ARCHIVE_WARN) {
            error = reader->why();
            return abandon();
        }
        if (!matches(e, wanted))
            continue;
        if (out < 0) {
            out = ::openat(dirFd, name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (out < 0) {
                error = systemError(errno);
                return false;
            }
        }
        // A later entry of the same path replaces what an earlier one wrote.
        copied = copyData(*reader, e, out, limit, length, error);
        if (copied == Copy::Failed)
            return abandon();
        if (index == last)
            break;
    }
    if (out < 0) {
        error = missing;
        return false;
    }
    if (copied == Copy::TooLong) {
        error = QStringLiteral("压缩包中这个文件的数据超过目录记录的 %1 字节").arg(limit);
        return abandon();
    }
    if (::ftruncate(out, off_t(length)) != 0) {
        error = systemError(errno);
        return abandon();
    }
    if (::close(out) != 0) {
        error = systemError(errno);
        ::unlinkat(dirFd, name.constData(), 0);
        return false;
    }
    return true;
}

} // namespace

bool extractMember(const QByteArray& archive, const QByteArray& inner, qint64 size, int dirFd,
                   const QByteArray& name, QString& error, const Limits& limits) {
    if (!isPlainName(name)) {
        error = QStringLiteral("名称不能用作文件名");
        return false;
    }
    const QByteArray wanted = detail::joinParts(detail::pathParts(inner.constData()));
    const int fd = ::open(archive.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = systemError(errno);
        return false;
    }
    struct stat st {};
    bool ok = false;
    if (::fstat(fd, &st) != 0)
        error = systemError(errno);
    else if (!S_ISREG(st.st_mode))
        error = QStringLiteral("压缩包不是普通文件");
    else
        ok = extractFrom(fd, qint64(st.st_size), wanted, size, dirFd, name, error, limits);
    ::close(fd);
    return ok;
}

} // namespace vorlane::archivelist
