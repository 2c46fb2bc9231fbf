// An archive file opened for reading with its work bounded. A file compressed as a whole
// (.tar.gz, .tar.bz2…) is decompressed by a reader of its own and handed to the archive's
// reader block by block: libarchive would otherwise skip a member's data silently, which
// for a compressed stream means decompressing it all with no say in between. So every
// decompressed byte is counted against a budget, and a stop is answered between blocks.
#pragma once

#include <QByteArray>
#include <QString>
#include <archive.h>
#include <archive_entry.h>
#include <functional>
#include <locale.h>
#include <memory>
#include <string_view>
#include <vector>

namespace vorlane::archivelist::detail {

// libarchive hands names over in the thread's locale: names a zip marks as UTF-8 are lost
// under a plain "C" locale. Reading runs under a UTF-8 locale for the time of the object,
// which leaves the bytes of every other name as the archive holds them.
class Utf8Locale {
public:
    Utf8Locale();
    ~Utf8Locale();
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t m_locale = locale_t(nullptr);
    locale_t m_previous = locale_t(nullptr);
};

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveFree>;

class Reader {
public:
    // At most `budget` decompressed bytes; `stop`, when given, is asked at every block.
    Reader(qint64 budget, std::function<bool()> stop);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens the archive in the regular file `fd`, which stays the caller's and is read from
    // its start. False when it could not be (see why() and stopped()).
    bool open(int fd);
    archive* get() const { return m_archive.get(); }
    // The file is compressed as a whole.
    bool compressed() const { return bool(m_outer); }

    // Moves through the current member's data where skipping it would decompress out of
    // sight: a zip or 7z inside a compressed stream. False when reading must end.
    bool passData();
    // Counts `bytes` of decompressed data and asks the stop; false when reading must end.
    bool take(size_t bytes);

    // The stop said yes: reading ended without a fault of the archive.
    bool stopped() const { return m_stopped; }
    // Why the last call failed: the budget, or libarchive's own words.
    QString why() const;

private:
    static la_ssize_t readDecompressed(archive* a, void* self, const void** buffer);

    ArchivePtr m_outer; // the decompressing reader of a compressed file
    ArchivePtr m_archive;
    qint64 m_budget;
    qint64 m_taken = 0;
    std::function<bool()> m_stop;
    bool m_stopped = false;
    bool m_overBudget = false;
};

// libarchive's words for the last fault of `a`.
QString errorText(archive* a);

// The parts of a member's path, without empty, "." and ".." parts: "./a//b/" is "a/b". A
// path that climbs out of the archive stays inside it.
std::vector<std::string_view> pathParts(const char* path);
QByteArray joinParts(const std::vector<std::string_view>& parts);

// The member's path: its UTF-8 form where the archive gives no bytes of its own.
const char* memberPath(archive_entry* e);

} // namespace vorlane::archivelist::detail
