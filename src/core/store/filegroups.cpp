#include "core/store/filegroups.h"

#include "core/store/database.h"
#include "core/store/foreignhash.h"
#include "core/store/schema.h"

#include <QSet>
#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <sqlite3.h>

namespace vorlane::filegroups {

QString slotName(int slot) {
    switch (slot) {
    case 0:
        return QStringLiteral("XXH3-128");
    case 1:
        return foreignhash::algorithmName(HashAlgorithm::Sha256);
    case 2:
        return foreignhash::algorithmName(HashAlgorithm::Sha1);
    case 3:
        return foreignhash::algorithmName(HashAlgorithm::Md5);
    }
    return {};
}

namespace {

int slotOf(HashAlgorithm a) {
    switch (a) {
    case HashAlgorithm::Sha256:
        return 1;
    case HashAlgorithm::Sha1:
        return 2;
    case HashAlgorithm::Md5:
        return 3;
    }
    return 3;
}

// Two plain passes over the files, neither of them sorted by the engine: their sizes, then
// the files (of the sizes that two files or more share, unless all are wanted). Sorting the
// sizes here costs a fraction of what a `group by` in the engine does.
QString filesFilter(bool links) {
    return QStringLiteral(" from qCDFiles where IsDir=0 and FSize>=?1") +
           (links ? QStringLiteral(" and (Link is null or Link='')") : QString());
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

std::string_view columnView(sqlite3_stmt* s, int column) {
    const void* data = sqlite3_column_blob(s, column);
    return data ? std::string_view(static_cast<const char*>(data),
                                   size_t(sqlite3_column_bytes(s, column)))
                : std::string_view();
}

using Digests = std::array<std::string_view, kSlots>;

bool agree(const Digests& a, const Digests& b) {
    for (int k = 0; k < kSlots; ++k)
        if (!a[size_t(k)].empty() && !b[size_t(k)].empty() && a[size_t(k)] != b[size_t(k)])
            return false;
    return true;
}

// Sets of files found the same; each knows the hashes its members have, and two sets join
// only where those agree.
class Sets {
public:
    Sets(const Candidates& all, const Candidate* first, size_t n) : m_parent(n), m_digests(n) {
        for (size_t i = 0; i < n; ++i) {
            m_parent[i] = i;
            for (int k = 0; k < kSlots; ++k)
                m_digests[i][size_t(k)] = all.hash(first[i], k);
        }
    }
    size_t find(size_t i) {
        while (m_parent[i] != i) {
            m_parent[i] = m_parent[m_parent[i]];
            i = m_parent[i];
        }
        return i;
    }
    const Digests& digests(size_t i) { return m_digests[find(i)]; }
    void unite(size_t a, size_t b) {
        a = find(a);
        b = find(b);
        if (a == b || !agree(m_digests[a], m_digests[b]))
            return;
        if (b < a)
            std::swap(a, b);
        m_parent[b] = a;
        for (size_t k = 0; k < size_t(kSlots); ++k)
            if (m_digests[a][k].empty())
                m_digests[a][k] = m_digests[b][k];
    }

private:
    std::vector<size_t> m_parent;
    std::vector<Digests> m_digests;
};

// Applies the grouping rule to the files of one size, [begin, end).
void groupRun(const Candidates& all, Candidate* begin, Candidate* end, bool singles,
              std::vector<Found>& out) {
    std::sort(begin, end, [&](const Candidate& a, const Candidate& b) {
        if (const int c = all.name(a).compare(all.name(b)); c != 0)
            return c < 0;
        return a.id < b.id;
    });
    const size_t n = size_t(end - begin);
    Sets sets(all, begin, n);
    // By each algorithm's digest.
    std::vector<size_t> order;
    for (int k = 0; k < kSlots; ++k) {
        order.clear();
        for (size_t i = 0; i < n; ++i)
            if (begin[i].hashLength[size_t(k)] > 0)
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return all.hash(begin[a], k) < all.hash(begin[b], k);
        });
        for (size_t i = 1; i < order.size(); ++i)
            if (all.hash(begin[order[i]], k) == all.hash(begin[order[i - 1]], k))
                sets.unite(order[i - 1], order[i]);
    }
    // By name where no hash tells otherwise.
    for (size_t first = 0; first < n;) {
        size_t next = first + 1;
        while (next < n && all.name(begin[next]) == all.name(begin[first]))
            ++next;
        Digests together{};
        bool oneContent = true;
        for (size_t i = first; i < next && oneContent; ++i) {
            if (!begin[i].hashed())
                continue;
            const Digests& d = sets.digests(i);
            oneContent = agree(together, d);
            for (size_t k = 0; k < size_t(kSlots); ++k)
                if (together[k].empty())
                    together[k] = d[k];
        }
        std::optional<size_t> anchor;
        for (size_t i = first; i < next; ++i) {
            if (begin[i].hashed() && !oneContent)
                continue;
            if (anchor)
                sets.unite(*anchor, i);
            else
                anchor = i;
        }
        first = next;
    }
    std::vector<std::pair<size_t, size_t>> byRoot; // (root, member)
    byRoot.reserve(n);
    for (size_t i = 0; i < n; ++i)
        byRoot.emplace_back(sets.find(i), i);
    std::sort(byRoot.begin(), byRoot.end());
    for (size_t first = 0; first < byRoot.size();) {
        size_t next = first + 1;
        while (next < byRoot.size() && byRoot[next].first == byRoot[first].first)
            ++next;
        if (singles || next - first > 1) {
            Found f;
            f.size = begin->size;
            const Digests& d = sets.digests(byRoot[first].first);
            // Shown by the hash most members have (ties: ours, then the strongest).
            size_t most = 0;
            for (int k = 0; k < kSlots; ++k) {
                size_t holders = 0;
                for (size_t i = first; i < next; ++i)
                    holders += begin[byRoot[i].second].hashLength[size_t(k)] > 0 ? 1 : 0;
                if (holders > most) {
                    most = holders;
                    f.slot = k;
                }
            }
            const std::string_view key =
                f.slot >= 0 ? d[size_t(f.slot)] : all.name(begin[byRoot[first].second]);
            f.key = QByteArray(key.data(), qsizetype(key.size()));
            for (size_t i = first; i < next; ++i)
                f.members.push_back(begin + byRoot[i].second);
            out.push_back(std::move(f));
        }
        first = next;
    }
}

} // namespace

void Candidates::add(Candidate c, std::string_view name, std::string_view hash) {
    c.nameAt = store(name);
    c.nameLength = quint32(name.size());
    c.hashAt[0] = store(hash);
    c.hashLength[0] = quint32(hash.size());
    m_files.push_back(c);
}

void Candidates::setHash(size_t index, int slot, std::string_view hash) {
    const quint32 at = store(hash);
    m_files[index].hashAt[size_t(slot)] = at;
    m_files[index].hashLength[size_t(slot)] = quint32(hash.size());
}

quint32 Candidates::store(std::string_view bytes) {
    const size_t at = m_bytes.size();
    if (at + bytes.size() > std::numeric_limits<quint32>::max())
        throw std::bad_alloc();
    m_bytes.append(bytes);
    return quint32(at);
}

bool groupFiles(Database& db, qint64 minSize, bool singles, const std::atomic<bool>* cancel,
                const duplicatestore::ProgressFn& progress, Candidates& all,
                std::vector<Found>& found) {
    using Stage = duplicatestore::Progress::Stage;
    const bool hashes = hasVersion3Columns(db);
    const bool links = hasVersion2Columns(db);
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    const auto report = [&progress](Stage stage, qint64 done, qint64 total) {
        if (progress)
            progress(duplicatestore::Progress{stage, done, total});
    };
    // Rows between two looks at the flag and two reports: a few milliseconds of reading.
    constexpr qint64 kStride = 4096;
    std::vector<qint64> shared;
    try {
        CancelWatch watch(db, cancel);
        qint64 rowCount = 0;
        {
            std::vector<qint64> sizes;
            Query q(db, QStringLiteral("select FSize") + filesFilter(links), {minSize});
            sqlite3_stmt* st = q.statement();
            while (q.next()) {
                sizes.push_back(sqlite3_column_int64(st, 0));
                if (qint64(sizes.size()) % kStride == 0) {
                    if (cancelled())
                        return false;
                    report(Stage::Sizes, qint64(sizes.size()), -1);
                }
            }
            rowCount = qint64(sizes.size());
            report(Stage::Sizes, rowCount, rowCount);
            std::sort(sizes.begin(), sizes.end());
            for (size_t i = 1; i < sizes.size(); ++i)
                if (sizes[i] == sizes[i - 1] && (shared.empty() || shared.back() != sizes[i]))
                    shared.push_back(sizes[i]);
        }
        if ((shared.empty() && !singles) || cancelled())
            return !cancelled();
        Query q(db,
                QStringLiteral("select FSize, AutoId, CdID, FatherId, TreeName, ") +
                    (hashes ? QStringLiteral("FHash") : QStringLiteral("null")) +
                    filesFilter(links),
                {minSize});
        sqlite3_stmt* s = q.statement();
        qint64 rows = 0;
        while (q.next()) {
            if (++rows % kStride == 0) {
                if (cancelled())
                    return false;
                report(Stage::Candidates, rows, rowCount);
            }
            Candidate c;
            c.size = sqlite3_column_int64(s, 0);
            if (!singles && !std::binary_search(shared.begin(), shared.end(), c.size))
                continue;
            c.id = sqlite3_column_int64(s, 1);
            c.discId = sqlite3_column_int64(s, 2);
            c.folderId = sqlite3_column_int64(s, 3);
            all.add(c, columnView(s, 4),
                    sqlite3_column_type(s, 5) == SQLITE_BLOB ? columnView(s, 5)
                                                             : std::string_view());
        }
        report(Stage::Candidates, rows, rowCount);
        // Hashes brought in, for the files kept.
        if (hasMediaTables(db) && !all.files().empty()) {
            QHash<qint64, size_t> at;
            at.reserve(qsizetype(all.files().size()));
            for (size_t i = 0; i < all.files().size(); ++i)
                at.insert(all.files()[i].id, i);
            Query h(db, QStringLiteral("select EntryId, Algorithm, Digest from qForeignHash"));
            while (h.next()) {
                const auto it = at.constFind(h.integer(0));
                if (it == at.cend())
                    continue;
                const std::optional<HashAlgorithm> a = foreignhash::algorithmNamed(h.textOr(1));
                const std::string_view digest = columnView(h.statement(), 2);
                if (a && qsizetype(digest.size()) == foreignhash::digestLength(*a))
                    all.setHash(*it, slotOf(*a), digest);
            }
        }
    } catch (const DbError&) {
        if (cancelled())
            return false;
        throw;
    }
    if (cancelled())
        return false;
    std::vector<Candidate>& files = all.files();
    std::sort(files.begin(), files.end(),
              [](const Candidate& a, const Candidate& b) { return a.size < b.size; });
    for (size_t first = 0; first < files.size();) {
        size_t next = first + 1;
        while (next < files.size() && files[next].size == files[first].size)
            ++next;
        groupRun(all, files.data() + first, files.data() + next, singles, found);
        first = next;
    }
    return !cancelled();
}

struct Namer::Queries {
    explicit Queries(Database& db)
        : folder(db, QStringLiteral("select FatherId, TreeName from qCDFiles where AutoId=?")),
          disc(db, QStringLiteral("select CDName from qCD where AutoId=?")) {}
    Query folder;
    Query disc;
};

Namer::Namer(Database& db) : m_queries(std::make_unique<Queries>(db)) {
    m_paths.insert(0, QString());
}

Namer::~Namer() = default;

duplicatestore::Member Namer::member(const Candidates& all, const Candidate& c) {
    const std::string_view name = all.name(c);
    duplicatestore::Member m;
    m.id = c.id;
    m.discId = c.discId;
    m.folderId = c.folderId;
    m.discName = discName(c.discId);
    m.path = folderPath(c.folderId) + QLatin1Char('/') +
             QString::fromUtf8(name.data(), qsizetype(name.size()));
    return m;
}

QString Namer::discName(qint64 discId) {
    if (const auto it = m_discs.constFind(discId); it != m_discs.cend())
        return *it;
    Query& q = m_queries->disc;
    q.reset();
    q.bind(1, discId);
    const QString name = q.next() ? q.textOr(0) : QString();
    m_discs.insert(discId, name);
    return name;
}

QString Namer::folderPath(qint64 folderId) {
    if (const auto it = m_paths.constFind(folderId); it != m_paths.cend())
        return *it;
    // Up to a folder already known (the top level at the latest); a damaged loop or a
    // missing parent ends the path there.
    Query& q = m_queries->folder;
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
        q.reset();
        q.bind(1, id);
        if (!q.next())
            break;
        chain.emplace_back(id, q.textOr(1));
        id = q.isNull(0) ? 0 : q.integer(0);
    }
    for (auto it = chain.crbegin(); it != chain.crend(); ++it) {
        base += QLatin1Char('/') + it->second;
        m_paths.insert(it->first, base);
    }
    return base;
}

bool listedBefore(const Found& a, const Found& b) {
    if (a.size != b.size)
        return a.size > b.size;
    if ((a.slot >= 0) != (b.slot >= 0))
        return a.slot >= 0;
    if (a.slot != b.slot)
        return a.slot < b.slot;
    return a.key < b.key;
}

} // namespace vorlane::filegroups
