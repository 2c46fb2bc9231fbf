#include "core/search/indexfile.h"

#include "core/search/blockfilter.h"
#include "core/store/database.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <xxhash.h>

namespace vorlane {

namespace {

constexpr char Magic[8] = {'V', 'L', 'I', 'N', 'D', 'E', 'X', '\0'};
constexpr quint64 Format = 4; // 4: the media facts
constexpr quint64 ByteOrder = 0x0102030405060708ull;

enum Section {
    NameBytes,
    NameStarts,
    NameNulls,
    NameFrequency,
    NameBlocks,
    NameBlockBits,
    NoteBytes,
    NoteStarts,
    NoteOwners,
    NoteNulls,
    NoteFrequency,
    NoteBlocks,
    NoteBlockBits,
    Ids,
    Fathers,
    DiscPositions,
    Sizes,
    Times,
    Kinds,
    Archives,
    DiscIds,
    DiscList,
    Categories,
    CatalogPath,
    MediaRows,
    MediaKinds,
    MediaNumbers,
    MediaBytes,
    MediaStarts,
    SectionCount
};

struct Extent {
    quint64 offset;
    quint64 bytes;
};

struct Header {
    char magic[8];
    quint64 format;
    quint64 byteOrder;
    quint64 headerBytes;
    quint64 fileBytes;
    qint64 tag;
    qint64 schema;
    quint64 discCount;
    quint64 categoryCount;
    qint64 folderCount;
    qint64 fileCount;
    quint64 bodyHash;   // XXH3-64 of every byte after the header
    quint64 headerHash; // XXH3-64 of the header with this field zero
    Extent sections[SectionCount];
};

quint64 headerHash(Header h) {
    h.headerHash = 0;
    return XXH3_64bits(&h, sizeof h);
}

QString canonical(const QString& catalog) {
    const QFileInfo info(catalog);
    const QString c = info.canonicalFilePath();
    return c.isEmpty() ? info.absoluteFilePath() : c;
}

QString cacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/vorlane/index");
}

// The section writer: every section starts on an 8-byte boundary, the body is hashed as it
// goes out.
class Writer {
public:
    explicit Writer(QSaveFile& file) : m_file(file), m_state(XXH3_createState()) {
        XXH3_64bits_reset(m_state);
    }
    ~Writer() { XXH3_freeState(m_state); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool put(const void* data, size_t bytes) {
        const char* p = static_cast<const char*>(data);
        while (bytes > 0) {
            const size_t chunk = std::min<size_t>(bytes, 1u << 24);
            if (m_file.write(p, qint64(chunk)) != qint64(chunk))
                return false;
            XXH3_64bits_update(m_state, p, chunk);
            p += chunk;
            bytes -= chunk;
            m_at += chunk;
        }
        return true;
    }
    bool section(Extent& e, const void* data, size_t bytes) {
        static const char zeros[8] = {};
        if (m_at % 8 != 0 && !put(zeros, 8 - m_at % 8))
            return false;
        e = {m_at, bytes};
        return put(data, bytes);
    }
    template <class T> bool section(Extent& e, const T& span) {
        return section(e, span.data(), span.size() * sizeof(*span.data()));
    }
    quint64 at() const { return m_at; }
    quint64 hash() const { return XXH3_64bits_digest(m_state); }

private:
    QSaveFile& m_file;
    XXH3_state_t* m_state;
    quint64 m_at = sizeof(Header);
};

void putBytes(QByteArray& out, const QByteArray& text, bool isNull) {
    const qint64 length = isNull ? -1 : text.size();
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(text);
}

void putNumber(QByteArray& out, qint64 value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads what putNumber() and putBytes() wrote, never past the end.
class Reader {
public:
    Reader(const char* data, size_t bytes) : m_p(data), m_end(data + bytes) {}
    bool number(qint64& v) {
        if (size_t(m_end - m_p) < sizeof v)
            return false;
        std::memcpy(&v, m_p, sizeof v);
        m_p += sizeof v;
        return true;
    }
    bool text(QByteArray& out, bool& isNull) {
        qint64 length = 0;
        if (!number(length) || length < -1 || length > m_end - m_p)
            return false;
        isNull = length < 0;
        out = QByteArray(m_p, isNull ? 0 : qsizetype(length));
        m_p += isNull ? 0 : length;
        return true;
    }
    bool atEnd() const { return m_p == m_end; }

private:
    const char* m_p;
    const char* m_end;
};

// The checks of every load, over arrays of a million values: no early exit, so that the
// compiler turns them into vector code.
bool ascending(const quint32* v, size_t count) {
    bool out = true;
    for (size_t i = 1; i < count; ++i)
        out &= v[i] > v[i - 1];
    return out;
}

bool rising(const quint32* v, size_t count) {
    bool out = true;
    for (size_t i = 1; i < count; ++i)
        out &= v[i] >= v[i - 1];
    return out;
}

bool below(const quint32* v, size_t count, size_t limit) {
    if (limit > std::numeric_limits<quint32>::max())
        return true;
    bool out = true;
    for (size_t i = 0; i < count; ++i)
        out &= v[i] < quint32(limit);
    return out;
}

struct Mapping {
    void* address = MAP_FAILED;
    size_t bytes = 0;
    ~Mapping() {
        if (address != MAP_FAILED)
            munmap(address, bytes);
    }
};

// What a file that passed its checksum looked like: a later change to the file by any
// writer moves its change time (ctime, which no one can set back), so while the index file
// still looks like this its body need not be hashed again; the structural checks run on
// every load regardless. Kept beside the index, written whole or not at all.
struct Verified {
    char magic[8];
    quint64 device, inode, bytes;
    qint64 modified, modifiedNs, changed, changedNs;
    quint64 bodyHash, headerHash;
};
constexpr char VerifiedMagic[8] = {'V', 'L', 'I', 'D', 'X', 'O', 'K', '\0'};

Verified verifiedFor(const struct stat& st, const Header& h) {
    Verified v{};
    std::memcpy(v.magic, VerifiedMagic, sizeof v.magic);
    v.device = quint64(st.st_dev);
    v.inode = quint64(st.st_ino);
    v.bytes = quint64(st.st_size);
    v.modified = st.st_mtim.tv_sec;
    v.modifiedNs = st.st_mtim.tv_nsec;
    v.changed = st.st_ctim.tv_sec;
    v.changedNs = st.st_ctim.tv_nsec;
    v.bodyHash = h.bodyHash;
    v.headerHash = h.headerHash;
    return v;
}

QByteArray verifiedPath(const QString& file) {
    return QFile::encodeName(file + QStringLiteral(".ok"));
}

bool wasVerified(const QByteArray& record, const Verified& now) {
    const int fd = ::open(record.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Verified v{};
    const bool read = ::read(fd, &v, sizeof v) == ssize_t(sizeof v);
    ::close(fd);
    return read && std::memcmp(&v, &now, sizeof v) == 0;
}

// Time stamps are only as fine as the kernel's clock tick, so a change made within the
// tick of the previous one may leave them as they were. A file is recorded only once its
// last change is well in the past; any later change then shows.
void recordVerified(const QByteArray& record, const Verified& v) {
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec - v.changed < 2)
        return;
    QSaveFile out(QFile::decodeName(record));
    if (out.open(QIODevice::WriteOnly) &&
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        out.write(reinterpret_cast<const char*>(&v), sizeof v) == qint64(sizeof v))
        out.commit();
}

} // namespace

QString IndexFile::pathFor(const QString& catalog) {
    const QByteArray path = canonical(catalog).toUtf8();
    return cacheFolder() + QLatin1Char('/') +
           QString::number(XXH3_64bits(path.constData(), size_t(path.size())), 16)
               .rightJustified(16, QLatin1Char('0')) +
           QStringLiteral(".idx");
}

bool IndexFile::save(const SearchIndex& index, const QString& catalog) {
    // A patched index keeps its changes beside the arrays the file would hold.
    if (!index.m_change || index.m_overlay)
        return false;
    const QString target = pathFor(catalog);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return false;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Names of a catalog with a password are no one else's business.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Header h{};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.format = Format;
    h.byteOrder = ByteOrder;
    h.headerBytes = sizeof(Header);
    h.tag = index.m_change->tag;
    h.schema = index.m_change->schema;
    h.discCount = index.m_discList.size();
    h.categoryCount = quint64(index.m_categories.size());
    h.folderCount = index.m_folderCount;
    h.fileCount = index.m_fileCount;
    if (file.write(reinterpret_cast<const char*>(&h), sizeof h) != qint64(sizeof h))
        return false;

    QByteArray discs;
    for (const SearchIndex::Disc& d : index.m_discList) {
        putNumber(discs, d.id);
        putNumber(discs, d.categoryId);
        putBytes(discs, d.name, d.nameNull);
        putBytes(discs, d.note, d.noteNull);
    }
    QByteArray categories;
    for (auto it = index.m_categories.cbegin(); it != index.m_categories.cend(); ++it) {
        putNumber(categories, it.key());
        putNumber(categories, it->fatherId);
        putBytes(categories, it->name.toUtf8(), false);
    }
    const QByteArray path = canonical(catalog).toUtf8();

    Writer w(file);
    Extent* s = h.sections;
    const bool written =
        w.section(s[NameBytes], index.m_names.bytes) &&
        w.section(s[NameStarts], index.m_names.starts) &&
        w.section(s[NameNulls], index.m_names.nulls) &&
        w.section(s[NameFrequency], index.m_names.frequency) &&
        w.section(s[NameBlocks], index.m_names.blockStarts) &&
        w.section(s[NameBlockBits], index.m_names.blockBits) &&
        w.section(s[NoteBytes], index.m_notes.bytes) &&
        w.section(s[NoteStarts], index.m_notes.starts) &&
        w.section(s[NoteOwners], index.m_notes.owners) &&
        w.section(s[NoteNulls], index.m_notes.nulls) &&
        w.section(s[NoteFrequency], index.m_notes.frequency) &&
        w.section(s[NoteBlocks], index.m_notes.blockStarts) &&
        w.section(s[NoteBlockBits], index.m_notes.blockBits) && w.section(s[Ids], index.m_ids) &&
        w.section(s[Fathers], index.m_fathers) && w.section(s[DiscPositions], index.m_discs) &&
        w.section(s[Sizes], index.m_sizes) && w.section(s[Times], index.m_times) &&
        w.section(s[Kinds], index.m_kinds) && w.section(s[Archives], index.m_archives) &&
        w.section(s[DiscIds], index.m_discIds) &&
        w.section(s[DiscList], discs.constData(), size_t(discs.size())) &&
        w.section(s[Categories], categories.constData(), size_t(categories.size())) &&
        w.section(s[CatalogPath], path.constData(), size_t(path.size())) &&
        w.section(s[MediaRows], index.m_media.rows) &&
        w.section(s[MediaKinds], index.m_media.kinds) &&
        w.section(s[MediaNumbers], index.m_media.numbers) &&
        w.section(s[MediaBytes], index.m_media.bytes) &&
        w.section(s[MediaStarts], index.m_media.starts);
    if (!written)
        return false;
    h.fileBytes = w.at();
    h.bodyHash = w.hash();
    h.headerHash = headerHash(h);
    if (!file.seek(0) || file.write(reinterpret_cast<const char*>(&h), sizeof h) != sizeof h)
        return false;
    return file.commit();
}

std::shared_ptr<const SearchIndex> IndexFile::load(const QString& catalog,
                                                   const searchstore::ChangeTag& tag,
                                                   const searchstore::Stamp& stamp) {
    return loadFile(pathFor(catalog), catalog, tag, stamp);
}

std::shared_ptr<const SearchIndex> IndexFile::loadFile(const QString& file, const QString& catalog,
                                                       const searchstore::ChangeTag& tag,
                                                       const searchstore::Stamp& stamp) {
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    Header h{};
    const bool headerRead = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                            quint64(st.st_size) >= sizeof h &&
                            ::pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h);
    // The cheap checks first: a stale index is the usual case, and is never mapped.
    if (!headerRead || std::memcmp(h.magic, Magic, sizeof Magic) != 0 || h.format != Format ||
        h.byteOrder != ByteOrder || h.headerBytes != sizeof h ||
        h.fileBytes != quint64(st.st_size) || h.headerHash != headerHash(h) || h.tag != tag.tag ||
        h.schema != tag.schema) {
        ::close(fd);
        return nullptr;
    }
    auto mapping = std::make_shared<Mapping>();
    mapping->bytes = size_t(st.st_size);
    mapping->address = ::mmap(nullptr, mapping->bytes, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapping->address == MAP_FAILED)
        return nullptr;
    const char* base = static_cast<const char*>(mapping->address);
    for (const Extent& e : h.sections) {
        if (e.offset < sizeof h || e.offset % 8 != 0 || e.offset > h.fileBytes ||
            e.bytes > h.fileBytes - e.offset)
            return nullptr;
    }
    const Extent* s = h.sections;
    const QByteArray path = canonical(catalog).toUtf8();
    if (s[CatalogPath].bytes != quint64(path.size()) ||
        std::memcmp(base + s[CatalogPath].offset, path.constData(), size_t(path.size())) != 0)
        return nullptr;

    std::shared_ptr<SearchIndex> index(new SearchIndex);
    index->m_stamp = stamp;
    index->m_change = tag;
    index->m_storage = mapping;
    auto bind = [&](auto& span, Section section) {
        using T = std::remove_const_t<std::remove_pointer_t<decltype(span.ptr)>>;
        const Extent& e = s[section];
        if (e.bytes % sizeof(T) != 0)
            return false;
        span.ptr = reinterpret_cast<const T*>(base + e.offset);
        span.len = size_t(e.bytes / sizeof(T));
        return true;
    };
    SearchIndex& x = *index;
    if (!bind(x.m_names.bytes, NameBytes) || !bind(x.m_names.starts, NameStarts) ||
        !bind(x.m_names.nulls, NameNulls) || !bind(x.m_names.frequency, NameFrequency) ||
        !bind(x.m_names.blockStarts, NameBlocks) || !bind(x.m_names.blockBits, NameBlockBits) ||
        !bind(x.m_notes.blockStarts, NoteBlocks) || !bind(x.m_notes.blockBits, NoteBlockBits) ||
        !bind(x.m_notes.bytes, NoteBytes) || !bind(x.m_notes.starts, NoteStarts) ||
        !bind(x.m_notes.owners, NoteOwners) || !bind(x.m_notes.nulls, NoteNulls) ||
        !bind(x.m_notes.frequency, NoteFrequency) || !bind(x.m_ids, Ids) ||
        !bind(x.m_fathers, Fathers) || !bind(x.m_discs, DiscPositions) || !bind(x.m_sizes, Sizes) ||
        !bind(x.m_times, Times) || !bind(x.m_kinds, Kinds) || !bind(x.m_archives, Archives) ||
        !bind(x.m_discIds, DiscIds) || !bind(x.m_media.rows, MediaRows) ||
        !bind(x.m_media.kinds, MediaKinds) || !bind(x.m_media.numbers, MediaNumbers) ||
        !bind(x.m_media.bytes, MediaBytes) || !bind(x.m_media.starts, MediaStarts))
        return nullptr;

    // Every offset and position the search follows is checked here, so that no file,
    // however made, can lead it out of the arrays. Whether the values are the ones written
    // (a flipped bit, a file edited by hand) the checksum tells; it reads the whole file,
    // so it runs beside the first search, which reports nothing before it has passed, and
    // only until the file has passed once (see Verified).
    const size_t n = x.m_ids.size();
    if (x.m_fathers.size() != n || x.m_discs.size() != n || x.m_sizes.size() != n ||
        x.m_times.size() != n || x.m_kinds.size() != n || x.m_archives.size() != n ||
        x.m_names.count() != n || x.m_notes.owners.size() != x.m_notes.count())
        return nullptr;
    for (const SearchIndex::Texts* t : {&x.m_names, &x.m_notes}) {
        if (t->starts.empty() || t->starts[0] != 0 || t->starts[t->count()] != t->bytes.size() ||
            t->frequency.size() != 256 || !ascending(t->starts.data(), t->starts.size()) ||
            !ascending(t->nulls.data(), t->nulls.size()) ||
            !below(t->nulls.data(), t->nulls.size(), t->count()) || t->blockStarts.empty() ||
            t->blockStarts[0] != 0 || t->blockStarts[t->blockStarts.size() - 1] != t->count() ||
            !ascending(t->blockStarts.data(), t->blockStarts.size()) ||
            t->blockBits.size() != (t->blockStarts.size() - 1) * blockfilter::WordsPerBlock)
            return nullptr;
    }
    if (!ascending(x.m_notes.owners.data(), x.m_notes.owners.size()) ||
        !below(x.m_notes.owners.data(), x.m_notes.owners.size(), n) ||
        !below(x.m_discs.data(), x.m_discs.size(), x.m_discIds.size()))
        return nullptr;
    const SearchIndex::Media& m = x.m_media;
    const size_t texts = m.count() * 2 * SearchIndex::MediaTexts;
    if (m.kinds.size() != m.count() || m.numbers.size() != m.count() * SearchIndex::MediaNumbers ||
        m.starts.size() != texts + 1 || m.starts[0] != 0 || m.starts[texts] != m.bytes.size() ||
        !ascending(m.rows.data(), m.rows.size()) || !below(m.rows.data(), m.rows.size(), n) ||
        !rising(m.starts.data(), m.starts.size()))
        return nullptr;
    Reader discs(base + s[DiscList].offset, size_t(s[DiscList].bytes));
    for (quint64 i = 0; i < h.discCount; ++i) {
        SearchIndex::Disc d;
        if (!discs.number(d.id) || !discs.number(d.categoryId) || !discs.text(d.name, d.nameNull) ||
            !discs.text(d.note, d.noteNull))
            return nullptr;
        x.m_discList.push_back(std::move(d));
    }
    Reader categories(base + s[Categories].offset, size_t(s[Categories].bytes));
    for (quint64 i = 0; i < h.categoryCount; ++i) {
        qint64 id = 0;
        SearchIndex::Category c;
        QByteArray name;
        bool isNull = false;
        if (!categories.number(id) || !categories.number(c.fatherId) ||
            !categories.text(name, isNull))
            return nullptr;
        c.name = QString::fromUtf8(name);
        x.m_categories.insert(id, c);
    }
    if (!discs.atEnd() || !categories.atEnd())
        return nullptr;
    // The counts come from the header, whose own hash is checked on every load: counting
    // would read every page of the kinds.
    x.finish(false);
    x.m_folderCount = h.folderCount;
    x.m_fileCount = h.fileCount;
    const Verified seen = verifiedFor(st, h);
    const QByteArray record = verifiedPath(file);
    if (wasVerified(record, seen))
        return index;
    const char* body = base + sizeof h;
    const size_t bodyBytes = size_t(h.fileBytes - sizeof h);
    const quint64 expected = h.bodyHash;
    // The mapping is held by the check as well, so the index may go first.
    index->m_intact = std::make_shared<std::shared_future<bool>>(
        std::async(std::launch::async, [mapping, body, bodyBytes, expected, seen, record,
                                        name = QFile::encodeName(file)] {
            const bool intact = XXH3_64bits(body, bodyBytes) == expected;
            if (intact) {
                recordVerified(record, seen);
            } else {
                ::unlink(name.constData()); // built anew next time
                ::unlink(record.constData());
            }
            return intact;
        }).share());
    return index;
}

qint64 keptIndexBytes(const QString& catalog) {
    const QFileInfo info(IndexFile::pathFor(catalog));
    return info.isFile() ? info.size() : -1;
}

std::shared_ptr<const SearchIndex> keptIndex(Database& db) {
    const searchstore::Stamp stamp = searchstore::stamp(db);
    const std::optional<searchstore::ChangeTag> tag = searchstore::changeTag(db);
    if (!tag)
        return nullptr;
    if (auto index = IndexFile::load(db.path(), *tag, stamp))
        return index;
    // Built only where it can be kept: for one search SQLite answers sooner than a build.
    const QString target = IndexFile::pathFor(db.path());
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder) || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return nullptr;
    std::shared_ptr<const SearchIndex> index = SearchIndex::build(db, stamp);
    if (!index || !IndexFile::save(*index, db.path()))
        return nullptr;
    return index;
}

} // namespace vorlane
