#include "core/import/archivereader.h"

#include <QLocale>
#include <cerrno>
#include <clocale>
#include <unistd.h>

namespace vorlane::archivelist::detail {

namespace {

constexpr size_t kBlock = 64 * 1024;

void supportFormats(archive* a) {
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_iso9660(a);
}

} // namespace

Utf8Locale::Utf8Locale() {
    m_locale = ::newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(nullptr));
    if (m_locale != locale_t(nullptr))
        m_previous = ::uselocale(m_locale);
}

Utf8Locale::~Utf8Locale() {
    if (m_locale == locale_t(nullptr))
        return;
    ::uselocale(m_previous);
    ::freelocale(m_locale);
}

QString errorText(archive* a) {
    const char* text = a ? archive_error_string(a) : nullptr;
    return text ? QString::fromUtf8(text) : QStringLiteral("未知错误");
}

Reader::Reader(qint64 budget, std::function<bool()> stop)
    : m_budget(budget), m_stop(std::move(stop)) {}

bool Reader::open(int fd) {
    // A first reader finds out whether the file is compressed as a whole; its filters then
    // decompress it for the archive's reader.
    m_outer.reset(archive_read_new());
    if (!m_outer)
        return false;
    archive* outer = m_outer.get();
    archive_read_support_filter_gzip(outer);
    archive_read_support_filter_bzip2(outer);
    archive_read_support_filter_xz(outer);
    archive_read_support_filter_zstd(outer);
    archive_read_support_format_raw(outer);
    if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_open_fd(outer, fd, kBlock) != ARCHIVE_OK) {
        m_archive = std::move(m_outer); // its error says why
        return false;
    }
    m_archive.reset(archive_read_new());
    if (!m_archive)
        return false;
    supportFormats(m_archive.get());
    if (archive_filter_code(outer, 0) == ARCHIVE_FILTER_NONE) {
        // Read directly, where zip, 7z, ISO and plain tar pass over data without reading it.
        m_outer.reset();
        return ::lseek(fd, 0, SEEK_SET) == 0 &&
               archive_read_open_fd(m_archive.get(), fd, kBlock) == ARCHIVE_OK;
    }
    archive_entry* whole = nullptr;
    if (archive_read_next_header(outer, &whole) != ARCHIVE_OK) {
        std::swap(m_archive, m_outer);
        return false;
    }
    return archive_read_open(m_archive.get(), this, nullptr, &Reader::readDecompressed, nullptr) ==
           ARCHIVE_OK;
}

la_ssize_t Reader::readDecompressed(archive* a, void* self, const void** buffer) {
    auto* r = static_cast<Reader*>(self);
    size_t size = 0;
    la_int64_t offset = 0;
    const int rc = archive_read_data_block(r->m_outer.get(), buffer, &size, &offset);
    if (rc == ARCHIVE_EOF)
        return 0;
    if (rc < ARCHIVE_WARN) {
        archive_set_error(a, archive_errno(r->m_outer.get()), "%s",
                          errorText(r->m_outer.get()).toUtf8().constData());
        return ARCHIVE_FATAL;
    }
    if (!r->take(size)) {
        archive_set_error(a, ECANCELED, "%s", r->why().toUtf8().constData());
        return ARCHIVE_FATAL;
    }
    return la_ssize_t(size);
}

bool Reader::take(size_t bytes) {
    if (m_stopped || m_overBudget)
        return false;
    if (m_stop && m_stop()) {
        m_stopped = true;
        return false;
    }
    m_taken += qint64(bytes);
    if (m_taken > m_budget) {
        m_overBudget = true;
        return false;
    }
    return true;
}

bool Reader::passData() {
    if (!m_outer ||
        (archive_format(m_archive.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_TAR)
        return true;
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int rc = archive_read_data_block(m_archive.get(), &block, &size, &offset);
        if (rc == ARCHIVE_EOF)
            return true;
        if (rc < ARCHIVE_WARN || !take(size))
            return false;
    }
}

QString Reader::why() const {
    if (m_overBudget)
        return QStringLiteral("解压后超过 ") +
               QLocale::c().formattedDataSize(m_budget, 0, QLocale::DataSizeIecFormat);
    return errorText(m_archive.get());
}

std::vector<std::string_view> pathParts(const char* path) {
    std::vector<std::string_view> parts;
    if (!path)
        return parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return parts;
}

QByteArray joinParts(const std::vector<std::string_view>& parts) {
    QByteArray out;
    for (const std::string_view p : parts) {
        if (!out.isEmpty())
            out += '/';
        out.append(p.data(), qsizetype(p.size()));
    }
    return out;
}

const char* memberPath(archive_entry* e) {
    const char* path = archive_entry_pathname(e);
    return path ? path : archive_entry_pathname_utf8(e);
}

} // namespace vorlane::archivelist::detail
