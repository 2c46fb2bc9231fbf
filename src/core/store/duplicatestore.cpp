#include "core/store/duplicatestore.h"

#include "core/store/database.h"
#include "core/store/schema.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace vorlane::duplicatestore {

qint64 Group::wasted() const {
    if (members.size() < 2)
        return 0;
    qint64 total = 0;
    if (__builtin_mul_overflow(size, qint64(members.size() - 1), &total))
        return std::numeric_limits<qint64>::max();
    return total;
}

namespace {

// Two plain passes over the files, neither of them sorted by the engine: their sizes, then
// the files of the sizes that two files or more share. Most files have a size of their
// own, so only the few candidates are kept in memory. Sorting the sizes here costs a
// fraction of what a `group by` in the engine does.
QString filesFilter(bool links) {
    return QStringLiteral(" from qCDFiles where IsDir=0 and FSize>=?1") +
           (links ? QStringLiteral(" and (Link is null or Link='')") : QString());
}

QString sizesSql(bool links) {
    return QStringLiteral("select FSize") + filesFilter(links);
}

QString candidatesSql(bool hashes, bool links) {
    return QStringLiteral("select FSize, AutoId, CdID, FatherId, TreeName, ") +
           (hashes ? QStringLiteral("FHash") : QStringLiteral("null")) + filesFilter(links);
}

// Stops the running statement once the flag is set.
class CancelWatch {
public:
    CancelWatch(Database& db, const std::atomic<bool>* cancel) : m_db(db.handle()) {
        if (cancel)
            sqlite3_progress_handler(m_db, 10000, &CancelWatch::stop,
                                     const_cast<std::atomic<bool>*>(cancel));
    }
    ~CancelWatch() { sqlite3_progress_handler(m_db, 0, nullptr, nullptr); }
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

private:
    static int stop(void* flag) {
        return static_cast<std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
    }
    sqlite3* m_db;
};

// Folder paths below their disc's root, each folder read once.
class FolderPaths {
public:
    explicit FolderPaths(Database& db)
        : m_query(db, QStringLiteral("select FatherId, TreeName from qCDFiles where AutoId=?")) {
        m_paths.insert(0, QString());
    }

    QString operator()(qint64 folderId) {
        if (const auto it = m_paths.constFind(folderId); it != m_paths.cend())
            return *it;
        // Up to a folder already known (the top level at the latest); a damaged loop or a
        // missing parent ends the path there.
        std::vector<std::pair<qint64, QString>> chain;
        QSet<qint64> seen;
        qint64 id = folderId;
        QString base;
        while (true) {
            if (const auto it = m_paths.constFind(id); it != m_paths.cend()) {
                base = *it;
                break;
            }
            if (seen.contains(id))
                break;
            seen.insert(id);
            m_query.reset();
            m_query.bind(1, id);
            if (!m_query.next())
                break;
            chain.emplace_back(id, m_query.textOr(1));
            id = m_query.isNull(0) ? 0 : m_query.integer(0);
        }
        for (auto it = chain.crbegin(); it != chain.crend(); ++it) {
            base += QLatin1Char('/') + it->second;
            m_paths.insert(it->first, base);
        }
        return base;
    }

private:
    Query m_query;
    QHash<qint64, QString> m_paths;
};

} // namespace

namespace {

// A file of a shared size. Its name and hash are kept in one buffer for all, as offsets:
// hundreds of thousands of candidates then cost no allocation each.
struct Candidate {
    qint64 size = 0;
    qint64 id = 0;
    qint64 discId = 0;
    qint64 folderId = 0;
    quint32 nameAt = 0, nameLength = 0;
    quint32 hashAt = 0, hashLength = 0; // no hash: length 0
    // The key the grouping gives it: a hash (its own or the one its name lends it) or,
    // without one, its name.
    bool hashed = false;
    quint32 keyAt = 0, keyLength = 0;
};

class Candidates {
public:
    void add(Candidate c, std::string_view name, std::string_view hash) {
        c.nameAt = store(name);
        c.nameLength = quint32(name.size());
        c.hashAt = store(hash);
        c.hashLength = quint32(hash.size());
        m_files.push_back(c);
    }
    std::vector<Candidate>& files() { return m_files; }
    std::string_view name(const Candidate& c) const { return view(c.nameAt, c.nameLength); }
    std::string_view hash(const Candidate& c) const { return view(c.hashAt, c.hashLength); }
    std::string_view key(const Candidate& c) const { return view(c.keyAt, c.keyLength); }

private:
    quint32 store(std::string_view bytes) {
        const size_t at = m_bytes.size();
        if (at + bytes.size() > std::numeric_limits<quint32>::max())
            throw std::bad_alloc();
        m_bytes.append(bytes);
        return quint32(at);
    }
    std::string_view view(quint32 at, quint32 length) const {
        return std::string_view(m_bytes).substr(at, length);
    }
    std::vector<Candidate> m_files;
    std::string m_bytes;
};

// A group found among files of one size, before its members have disc names and paths.
struct Found {
    qint64 size = 0;
    bool hashed = false;
    QByteArray key; // the hash, or the name
    std::vector<const Candidate*> members;
};

// Applies the grouping rule to the files of one size, [begin, end).
void groupRun(Candidates& all, Candidate* begin, Candidate* end, std::vector<Found>& out) {
    // By name, hashed files first: then the first file of each name tells whether any of
    // that name has a hash, and the hashed ones agree when the first and the last do.
    std::sort(begin, end, [&](const Candidate& a, const Candidate& b) {
        if (const int c = all.name(a).compare(all.name(b)); c != 0)
            return c < 0;
        if ((a.hashLength > 0) != (b.hashLength > 0))
            return a.hashLength > 0;
        return all.hash(a) < all.hash(b);
    });
    for (Candidate* first = begin; first != end;) {
        Candidate* next = first + 1;
        while (next != end && all.name(*next) == all.name(*first))
            ++next;
        Candidate* lastHashed = first;
        while (lastHashed + 1 != next && lastHashed[1].hashLength > 0)
            ++lastHashed;
        const bool lends = first->hashLength > 0 && all.hash(*first) == all.hash(*lastHashed);
        for (Candidate* c = first; c != next; ++c) {
            const Candidate& from = c->hashLength > 0 ? *c : *first;
            c->hashed = c->hashLength > 0 || lends;
            c->keyAt = c->hashed ? from.hashAt : c->nameAt;
            c->keyLength = c->hashed ? from.hashLength : c->nameLength;
        }
        first = next;
    }
    std::sort(begin, end, [&](const Candidate& a, const Candidate& b) {
        if (a.hashed != b.hashed)
            return a.hashed;
        return all.key(a) < all.key(b);
    });
    for (Candidate* first = begin; first != end;) {
        Candidate* next = first + 1;
        while (next != end && next->hashed == first->hashed && all.key(*next) == all.key(*first))
            ++next;
        if (next - first > 1) {
            Found f;
            f.size = first->size;
            f.hashed = first->hashed;
            const std::string_view key = all.key(*first);
            f.key = QByteArray(key.data(), qsizetype(key.size()));
            for (const Candidate* c = first; c != next; ++c)
                f.members.push_back(c);
            out.push_back(std::move(f));
        }
        first = next;
    }
}

std::string_view columnView(sqlite3_stmt* s, int column) {
    const void* data = sqlite3_column_blob(s, column);
    return data ? std::string_view(static_cast<const char*>(data),
                                   size_t(sqlite3_column_bytes(s, column)))
                : std::string_view();
}

} // namespace

std::vector<Group> findDuplicates(Database& db, qint64 minSize, const std::atomic<bool>* cancel,
                                  const ProgressFn& progress) {
    const bool hashes = hasVersion3Columns(db);
    const bool links = hasVersion2Columns(db);
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    const auto report = [&progress](Progress::Stage stage, qint64 done, qint64 total) {
        if (progress)
            progress(Progress{stage, done, total});
    };
    // Rows between two looks at the flag and two reports: a few milliseconds of reading.
    constexpr qint64 kStride = 4096;
    // Both passes, and the names and paths after them, see the catalog as it was at the start.
    std::optional<ReadSnapshot> snapshot;
    if (!db.inTransaction())
        snapshot.emplace(db);
    Candidates all;
    std::vector<Found> found;
    try {
        CancelWatch watch(db, cancel);
        std::vector<qint64> shared;
        qint64 rowCount = 0;
        {
            std::vector<qint64> sizes;
            Query q(db, sizesSql(links), {minSize});
            sqlite3_stmt* st = q.statement();
            while (q.next()) {
                sizes.push_back(sqlite3_column_int64(st, 0));
                if (qint64(sizes.size()) % kStride == 0) {
                    if (cancelled())
                        return {};
                    report(Progress::Stage::Sizes, qint64(sizes.size()), -1);
                }
            }
            rowCount = qint64(sizes.size());
            report(Progress::Stage::Sizes, rowCount, rowCount);
            std::sort(sizes.begin(), sizes.end());
            for (size_t i = 1; i < sizes.size(); ++i)
                if (sizes[i] == sizes[i - 1] && (shared.empty() || shared.back() != sizes[i]))
                    shared.push_back(sizes[i]);
        }
        if (shared.empty() || cancelled())
            return {};
        Query q(db, candidatesSql(hashes, links), {minSize});
        sqlite3_stmt* s = q.statement();
        qint64 rows = 0;
        while (q.next()) {
            if (++rows % kStride == 0) {
                if (cancelled())
                    return {};
                report(Progress::Stage::Candidates, rows, rowCount);
            }
            Candidate c;
            c.size = sqlite3_column_int64(s, 0);
            if (!std::binary_search(shared.begin(), shared.end(), c.size))
                continue;
            c.id = sqlite3_column_int64(s, 1);
            c.discId = sqlite3_column_int64(s, 2);
            c.folderId = sqlite3_column_int64(s, 3);
            all.add(c, columnView(s, 4),
                    sqlite3_column_type(s, 5) == SQLITE_BLOB ? columnView(s, 5)
                                                             : std::string_view());
        }
        report(Progress::Stage::Candidates, rows, rowCount);
    } catch (const DbError&) {
        if (cancelled())
            return {};
        throw;
    }
    if (cancelled())
        return {};
    std::vector<Candidate>& files = all.files();
    std::sort(files.begin(), files.end(),
              [](const Candidate& a, const Candidate& b) { return a.size < b.size; });
    for (size_t first = 0; first < files.size();) {
        size_t next = first + 1;
        while (next < files.size() && files[next].size == files[first].size)
            ++next;
        groupRun(all, files.data() + first, files.data() + next, found);
        first = next;
    }

    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        const auto wasted = [](const Found& f) {
            qint64 w = 0;
            return __builtin_mul_overflow(f.size, qint64(f.members.size() - 1), &w)
                       ? std::numeric_limits<qint64>::max()
                       : w;
        };
        if (const qint64 wa = wasted(a), wb = wasted(b); wa != wb)
            return wa > wb;
        if (a.size != b.size)
            return a.size > b.size;
        if (a.hashed != b.hashed)
            return a.hashed;
        return a.key < b.key;
    });

    FolderPaths folderPath(db);
    QHash<qint64, QString> discNames;
    Query discName(db, QStringLiteral("select CDName from qCD where AutoId=?"));
    const auto nameOf = [&](qint64 discId) {
        if (const auto it = discNames.constFind(discId); it != discNames.cend())
            return *it;
        discName.reset();
        discName.bind(1, discId);
        const QString name = discName.next() ? discName.textOr(0) : QString();
        discNames.insert(discId, name);
        return name;
    };
    std::vector<Group> groups;
    groups.reserve(found.size());
    const qint64 groupCount = qint64(found.size());
    for (Found& f : found) {
        // Each new folder costs a query or more: a look at the flag now and then.
        if (const qint64 named = qint64(groups.size()); named % 256 == 0) {
            if (cancelled())
                return {};
            report(Progress::Stage::Groups, named, groupCount);
        }
        Group g;
        g.size = f.size;
        if (f.hashed)
            g.hash = f.key;
        g.members.reserve(f.members.size());
        for (const Candidate* c : f.members) {
            const std::string_view name = all.name(*c);
            Member m;
            m.id = c->id;
            m.discId = c->discId;
            m.folderId = c->folderId;
            m.discName = nameOf(c->discId);
            m.path = folderPath(c->folderId) + QLatin1Char('/') +
                     QString::fromUtf8(name.data(), qsizetype(name.size()));
            g.members.push_back(std::move(m));
        }
        std::sort(g.members.begin(), g.members.end(), [](const Member& a, const Member& b) {
            if (const int c = a.discName.compare(b.discName); c != 0)
                return c < 0;
            if (a.discId != b.discId)
                return a.discId < b.discId;
            if (const int c = a.path.compare(b.path); c != 0)
                return c < 0;
            return a.id < b.id;
        });
        groups.push_back(std::move(g));
    }
    report(Progress::Stage::Groups, groupCount, groupCount);
    return groups;
}

} // namespace vorlane::duplicatestore
