#include "core/search/searchindex.h"

#include "core/search/blockfilter.h"
#include "core/search/matcher.h"
#include "core/search/regexscan.h"
#include "core/search/scanpool.h"
#include "core/store/database.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <immintrin.h>
#include <numeric>
#include <thread>

namespace vorlane {

namespace {

inline bool isLetter(unsigned char c) {
    return static_cast<unsigned char>((c | 0x20) - 'a') < 26u;
}

// The same 64 bytes at a time, where the processor has the instructions for it (checked
// once at run time: the program is built for every x86-64).
__attribute__((target("avx2"))) const char* findEitherCaseWide(const char* p, const char* end,
                                                               unsigned char lower) {
    const __m256i caseBit = _mm256_set1_epi8(0x20);
    const __m256i want = _mm256_set1_epi8(char(lower));
    while (end - p >= 64) {
        const __m256i a = _mm256_cmpeq_epi8(
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), caseBit),
            want);
        const __m256i b = _mm256_cmpeq_epi8(
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), caseBit),
            want);
        const __m256i either = _mm256_or_si256(a, b);
        if (!_mm256_testz_si256(either, either)) {
            const auto first = unsigned(_mm256_movemask_epi8(a));
            return first != 0 ? p + __builtin_ctz(first)
                              : p + 32 + __builtin_ctz(unsigned(_mm256_movemask_epi8(b)));
        }
        p += 64;
    }
    return p;
}

const bool HaveAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

// The next byte in [p, end) equal to `value`, or with `anyCase` equal to it in either
// case (value is a letter then). Sixteen bytes at a time: the names are scanned end to
// end for every keystroke.
const char* findAnchor(const char* p, const char* end, unsigned char value, bool anyCase) {
    if (!anyCase) {
        const void* hit = std::memchr(p, value, size_t(end - p));
        return hit ? static_cast<const char*>(hit) : end;
    }
    const unsigned char lower = value | 0x20;
    if (HaveAvx2) {
        p = findEitherCaseWide(p, end, lower);
        if (end - p >= 64)
            return p;
    }
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i want = _mm_set1_epi8(char(lower));
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, caseBit), want));
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
    for (; p < end; ++p) {
        if ((static_cast<unsigned char>(*p) | 0x20) == lower)
            return p;
    }
    return end;
}

// Positions of the texts in [first, last) of `t` holding the keyword, ascending.
template <class Bytes, class Starts>
void findIn(const Bytes& bytes, const Starts& starts, size_t first, size_t last,
            const QByteArray& needle, bool fold, size_t anchor, std::vector<quint32>& out) {
    const size_t n = size_t(needle.size());
    const auto* key = reinterpret_cast<const unsigned char*>(needle.constData());
    const unsigned char anchorByte = key[anchor];
    const bool anyCase = fold && isLetter(anchorByte);
    const char* base = bytes.data();
    const size_t lo = starts[first];
    const size_t hi = starts[last];
    const char* p = base + lo + anchor;
    const char* end = base + hi;
    while (p < end) {
        p = findAnchor(p, end, anchorByte, anyCase);
        if (p >= end)
            break;
        const size_t start = size_t(p - base) - anchor;
        bool match = start + n <= hi;
        for (size_t k = 0; match && k < n; ++k) {
            const auto c = static_cast<unsigned char>(base[start + k]);
            match = (fold ? foldLetter(c) : c) == key[k];
        }
        if (!match) {
            ++p;
            continue;
        }
        // The text holding the match; the search goes on with the next text.
        const auto it =
            std::upper_bound(starts.begin() + first, starts.begin() + last + 1, quint32(start));
        const auto text = quint32(it - starts.begin() - 1);
        out.push_back(text);
        p = base + starts[text + 1] + anchor;
    }
}

QString fromUtf8(searchstore::Utf8 t) {
    return QString::fromUtf8(reinterpret_cast<const char*>(t.data), qsizetype(t.size));
}

constexpr size_t MaxBytes = std::numeric_limits<quint32>::max() - 1;
// Below this the second thread costs more than it saves.
constexpr size_t ParallelBytes = 4u << 20;

} // namespace

namespace {

// What a build fills; the index's spans point into it.
struct BuiltTexts {
    std::vector<char> bytes;
    std::vector<quint32> starts;
    std::vector<quint32> owners;
    std::vector<quint32> nulls;
    std::vector<quint32> frequency;
    std::vector<quint32> blockStarts;
    std::vector<quint64> blockBits;

    void add(searchstore::Utf8 text) {
        if (starts.empty())
            starts.push_back(0);
        if (text.data)
            bytes.insert(bytes.end(), text.data, text.data + text.size);
        else
            nulls.push_back(quint32(starts.size() - 1));
        bytes.push_back('\0');
        starts.push_back(quint32(bytes.size()));
    }
};

struct BuiltArrays {
    BuiltTexts names;
    BuiltTexts notes;
    std::vector<quint32> ids, fathers, discs;
    std::vector<qint64> sizes, times, discIds;
    std::vector<qint8> kinds, archives;
};

} // namespace

void SearchIndex::finish(bool count) {
    if (count) {
        // Counted in locals: stores through the members would be made for every byte read.
        qint64 folders = 0;
        qint64 files = 0;
        for (const qint8 k : m_kinds) {
            folders += k == 1;
            files += k == 0;
        }
        m_folderCount = folders;
        m_fileCount = files;
    }
    m_entryCount = qint64(m_ids.size());
    m_discPositions.clear();
    for (size_t i = 0; i < m_discList.size(); ++i)
        m_discPositions.insert(m_discList[i].id, quint32(i));
}

std::shared_ptr<const SearchIndex> SearchIndex::build(Database& db, const searchstore::Stamp& stamp,
                                                      const std::atomic<bool>* cancel) {
    return read(db, stamp, nullptr, true, cancel);
}

std::shared_ptr<SearchIndex> SearchIndex::read(Database& db, const searchstore::Stamp& stamp,
                                               const searchstore::RowPick* pick, bool tree,
                                               const std::atomic<bool>* cancel) {
    std::shared_ptr<SearchIndex> index(new SearchIndex);
    auto built = std::make_shared<BuiltArrays>();
    BuiltArrays& a = *built;
    index->m_stamp = stamp;
    // One snapshot for the tag, the discs, the categories and the entries (a patch holds its
    // own around all it reads).
    std::optional<ReadSnapshot> snapshot;
    if (!pick)
        snapshot.emplace(db);
    index->m_change = searchstore::changeTag(db);

    // A patch that saw no disc or category written keeps those it has.
    if (tree) {
        for (searchstore::IndexDiscs discs(db); discs.next();) {
            Disc d;
            d.id = discs.id();
            d.categoryId = discs.categoryId();
            const searchstore::Utf8 name = discs.name();
            const searchstore::Utf8 note = discs.note();
            d.name = QByteArray(reinterpret_cast<const char*>(name.data), qsizetype(name.size));
            d.note = QByteArray(reinterpret_cast<const char*>(note.data), qsizetype(note.size));
            d.nameNull = name.data == nullptr;
            d.noteNull = note.data == nullptr;
            index->m_discList.push_back(std::move(d));
        }
        for (searchstore::IndexCategories categories(db); categories.next();)
            index->m_categories.insert(categories.id(),
                                       {categories.fatherId(), fromUtf8(categories.name())});
    }

    const qint64 expected =
        pick ? 0 : searchstore::rowCount(db, true, true) - qint64(index->m_discList.size());
    if (expected > 0) {
        const auto n = size_t(expected);
        a.ids.reserve(n);
        a.fathers.reserve(n);
        a.discs.reserve(n);
        a.sizes.reserve(n);
        a.times.reserve(n);
        a.kinds.reserve(n);
        a.names.starts.reserve(n + 1);
        // Address space only: pages that are never written cost no memory, and the buffer
        // is never copied to a smaller one.
        a.names.bytes.reserve(n * 96);
        a.notes.bytes.reserve(n * 4);
    }
    BuiltTexts& names = a.names;
    BuiltTexts& notes = a.notes;
    qint64 lastDisc = 0;
    quint32 lastDiscPos = 0;
    bool haveLast = false;
    QHash<qint64, quint32> discPos;
    searchstore::IndexRows rows(db, pick);
    while (rows.next()) {
        const auto pos = quint32(a.ids.size());
        if ((pos & 4095) == 0 && cancel && cancel->load(std::memory_order_relaxed))
            return nullptr;
        const qint64 id = rows.id();
        const qint64 father = rows.fatherId();
        if (id < 0 || id > qint64(MaxBytes) || father < 0 || father > qint64(MaxBytes))
            return nullptr;
        a.ids.push_back(quint32(id));
        a.fathers.push_back(quint32(father));
        const qint64 discId = rows.discId();
        if (!haveLast || discId != lastDisc) {
            auto it = discPos.constFind(discId);
            if (it == discPos.cend()) {
                it = discPos.insert(discId, quint32(a.discIds.size()));
                a.discIds.push_back(discId);
            }
            lastDisc = discId;
            lastDiscPos = *it;
            haveLast = true;
        }
        a.discs.push_back(lastDiscPos);
        a.sizes.push_back(rows.size());
        a.times.push_back(rows.time().value_or(NoTime));
        const qint64 kind = rows.kind();
        a.kinds.push_back(kind == 1 ? 1 : kind == 0 ? 0 : -1);
        a.archives.push_back(
            qint8(rows.archive() == 1 || rows.archive() == 2 ? rows.archive() : 0));
        names.add(rows.name());
        const searchstore::Utf8 note = rows.note();
        if (note.data) {
            notes.add(note);
            notes.owners.push_back(pos);
        }
        if (names.bytes.size() > MaxBytes || notes.bytes.size() > MaxBytes ||
            a.ids.size() >= MaxBytes)
            return nullptr;
    }
    for (BuiltTexts* t : {&names, &notes}) {
        if (t->starts.empty())
            t->starts.push_back(0);
        t->frequency.assign(256, 0);
        for (const char c : t->bytes)
            ++t->frequency[static_cast<unsigned char>(c)];
        t->starts.shrink_to_fit();
        t->owners.shrink_to_fit();
        blockfilter::build(t->bytes.data(), t->starts.data(), t->starts.size() - 1, t->blockStarts,
                           t->blockBits);
    }
    for (auto [view, from] : {std::pair{&index->m_names, &names}, {&index->m_notes, &notes}}) {
        view->bytes = from->bytes;
        view->starts = from->starts;
        view->owners = from->owners;
        view->nulls = from->nulls;
        view->frequency = from->frequency;
        view->blockStarts = from->blockStarts;
        view->blockBits = from->blockBits;
    }
    index->m_ids = a.ids;
    index->m_fathers = a.fathers;
    index->m_discs = a.discs;
    index->m_sizes = a.sizes;
    index->m_times = a.times;
    index->m_kinds = a.kinds;
    index->m_archives = a.archives;
    index->m_discIds = a.discIds;
    index->m_storage = built;
    index->readMedia(db, pick);
    index->finish();
    return index;
}

bool SearchIndex::isCurrent(Database& db) const {
    try {
        return searchstore::stamp(db) == m_stamp;
    } catch (const DbError&) {
        return false;
    }
}

std::vector<quint32> SearchIndex::find(const Texts& t, const QByteArray& needle, bool fold,
                                       const std::atomic<bool>* stop) {
    std::vector<quint32> out;
    const size_t count = t.count();
    if (needle.isEmpty() || count == 0 || (stop && stop->load(std::memory_order_relaxed)))
        return out;
    // The scan looks for the keyword's rarest byte and checks the rest around it.
    size_t anchor = 0;
    quint64 best = std::numeric_limits<quint64>::max();
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const auto c = static_cast<unsigned char>(needle[i]);
        quint64 f = t.frequency[c];
        if (fold && isLetter(c))
            f = quint64(t.frequency[c | 0x20]) + t.frequency[c & ~0x20];
        if (f < best) {
            best = f;
            anchor = size_t(i);
        }
    }
    // The counts only choose the anchor; a byte they say is absent is still looked for.
    using Run = std::pair<quint32, quint32>;
    std::vector<Run> runs =
        t.blockStarts.size() < 2
            ? std::vector<Run>{{0, quint32(count)}}
            : blockfilter::candidates(t.blockStarts.data(), t.blockStarts.size() - 1,
                                      t.blockBits.data(), needle.constData(),
                                      size_t(needle.size()));
    auto scan = [&](const std::vector<Run>& part, std::vector<quint32>& into) {
        for (const Run& r : part)
            findIn(t.bytes, t.starts, r.first, r.second, needle, fold, anchor, into);
    };
    size_t total = 0;
    for (const Run& r : runs)
        total += t.starts[r.second] - t.starts[r.first];
    if (total < ParallelBytes || std::thread::hardware_concurrency() < 2) {
        scan(runs, out);
        return out;
    }
    // Two halves of the bytes to scan, split between texts, the second on the scan pool.
    std::vector<Run> second;
    size_t seen = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const size_t bytes = t.starts[runs[i].second] - t.starts[runs[i].first];
        if (seen + bytes < total / 2) {
            seen += bytes;
            continue;
        }
        const quint32 at = quint32(t.starts[runs[i].first] + (total / 2 - seen));
        const auto split = quint32(std::upper_bound(t.starts.begin() + runs[i].first,
                                                    t.starts.begin() + runs[i].second, at) -
                                   t.starts.begin());
        if (split < runs[i].second)
            second.emplace_back(split, runs[i].second);
        second.insert(second.end(), runs.begin() + qsizetype(i) + 1, runs.end());
        runs[i].second = split;
        runs.resize(i + 1);
        break;
    }
    std::vector<quint32> rest;
    runBeside([&] { scan(runs, out); }, [&] { scan(second, rest); });
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

SearchSummary SearchIndex::search(const SearchOptions& options, std::vector<IndexHit>& out,
                                  const std::atomic<bool>* stop) const {
    SearchSummary summary;
    const bool folderPhase = options.folders || options.notes;
    const bool filePhase = options.files || options.notes;
    const auto discCount = qint64(m_discList.size());
    qint64 entryRows = 0;
    if (folderPhase && filePhase)
        entryRows = entryCount();
    else if (folderPhase)
        entryRows = m_folderCount;
    else if (filePhase)
        entryRows = m_fileCount;
    summary.total = discCount + entryRows;
    if (options.keyword.isEmpty()) {
        // Conditions alone: every folder, then every file, that passes them.
        const EntryFilter filter(options);
        if (!filter.active())
            return summary;
        const std::vector<quint32> rows = allRows();
        const size_t start = out.size();
        for (const qint8 kind : {qint8(1), qint8(0)}) {
            if (!(kind == 1 ? options.folders : options.files))
                continue;
            for (size_t i = 0; i < rows.size() && !(stop && stop->load()); ++i)
                if (kindAt(rows[i]) == kind && passes(filter, rows[i]))
                    out.push_back({rows[i], false});
        }
        summary.stopped = stop && stop->load();
        summary.examined = summary.stopped ? 0 : summary.total;
        summary.hits = qint64(out.size() - start);
        return summary;
    }
    auto stopped = [&] {
        if (stop && stop->load(std::memory_order_relaxed))
            summary.stopped = true;
        return summary.stopped;
    };
    const KeywordMatcher matcher(options.keyword, options.caseSensitive, options.mode);
    const EntryFilter filter(options);
    const size_t first = out.size();
    auto matches = [&](const QByteArray& text, bool isNull) {
        return !isNull && matcher.matches(reinterpret_cast<const unsigned char*>(text.constData()),
                                          size_t(text.size()));
    };

    // Discs: the name always, the note when notes are searched; none under a condition.
    for (size_t i = 0; i < m_discList.size() && !filter.active(); ++i) {
        const Disc& d = m_discList[i];
        if (matches(d.name, d.nameNull) || (options.notes && matches(d.note, d.noteNull)))
            out.push_back({quint32(i), true});
    }
    summary.examined = discCount;

    if ((folderPhase || filePhase) && !stopped()) {
        std::vector<quint32> byName;
        if (options.folders || options.files)
            byName = rowsNamed(matcher, stop);
        std::vector<quint32> byNote;
        if (options.notes)
            byNote = rowsNoted(matcher, stop);
        if (!stopped()) {
            // Folders first, then files, each in AutoId order: the phases of the SQLite search.
            for (const qint8 kind : {qint8(1), qint8(0)}) {
                if (kind == 1 ? !folderPhase : !filePhase)
                    continue;
                const bool names = kind == 1 ? options.folders : options.files;
                auto a = byName.begin();
                auto b = byNote.begin();
                while (a != byName.end() || b != byNote.end()) {
                    quint32 row;
                    bool hit;
                    if (b == byNote.end() || (a != byName.end() && rowBefore(*a, *b))) {
                        row = *a++;
                        hit = names;
                    } else if (a == byName.end() || rowBefore(*b, *a)) {
                        row = *b++;
                        hit = true;
                    } else {
                        row = *a++;
                        ++b;
                        hit = true;
                    }
                    if (!hit || kindAt(row) != kind)
                        continue;
                    if (filter.active() && !passes(filter, row))
                        continue;
                    out.push_back({row, false});
                }
            }
            summary.examined += entryRows;
        }
    }
    summary.hits = qint64(out.size() - first);
    return summary;
}

bool SearchIndex::intact() const {
    return !m_intact || m_intact->get();
}

std::optional<SearchSummary> SearchIndex::search(const SearchOptions& options,
                                                 const SearchCallbacks& callbacks) const {
    std::vector<IndexHit> hits;
    SearchSummary summary = search(options, hits, callbacks.stop);
    if (!intact())
        return std::nullopt;
    if (callbacks.onProgress)
        callbacks.onProgress(0, summary.total);
    qint64 number = 0;
    for (const IndexHit& h : hits) {
        SearchHit full = hit(h);
        full.number = ++number;
        if (callbacks.onHit)
            callbacks.onHit(full);
    }
    if (callbacks.onProgress)
        callbacks.onProgress(summary.examined, summary.total);
    return summary;
}

std::vector<quint32> SearchIndex::matching(const Texts& t, const KeywordMatcher& matcher,
                                           const std::atomic<bool>* stop) {
    if (matcher.mode() == KeywordMode::Substring)
        return find(t, matcher.needle(), matcher.folds(), stop);
    if (const RegexScan* scan = matcher.regexScan()) {
        // Only the texts holding the pattern's literal can match, when it has one.
        const QByteArray literal = matcher.requiredLiteral();
        std::vector<quint32> holding;
        if (!literal.isEmpty())
            holding = find(t, literal, matcher.folds(), stop);
        std::vector<quint32> out =
            scan->matching(t.bytes.data(), t.starts.data(), t.count(),
                           literal.isEmpty() ? nullptr : &holding, matcher, stop);
        std::erase_if(
            out, [&](quint32 i) { return std::binary_search(t.nulls.begin(), t.nulls.end(), i); });
        return out;
    }
    // A glob or a regex: the texts holding what every match must contain (every text when
    // nothing is known), each then tested whole. Only such a literal may pass through the
    // block filter: its pairs of bytes are in every matching text.
    std::vector<quint32> candidates;
    const QByteArray literal = matcher.requiredLiteral();
    const size_t count = t.count();
    if (literal.isEmpty()) {
        candidates.resize(count);
        std::iota(candidates.begin(), candidates.end(), quint32(0));
    } else {
        candidates = find(t, literal, matcher.folds(), stop);
    }
    std::vector<quint32> out;
    size_t tested = 0;
    for (const quint32 i : candidates) {
        // A regex over every text takes a while; a stop is seen within a few thousand.
        if ((++tested & 4095) == 0 && stop && stop->load(std::memory_order_relaxed))
            return {};
        if (std::binary_search(t.nulls.begin(), t.nulls.end(), i))
            continue;
        const auto* text = reinterpret_cast<const unsigned char*>(t.bytes.data() + t.starts[i]);
        if (matcher.matches(text, t.starts[i + 1] - t.starts[i] - 1))
            out.push_back(i);
    }
    return out;
}

bool SearchIndex::passes(const EntryFilter& filter, quint32 row) const {
    const std::string_view name = nameAt(row);
    return filter.passes(reinterpret_cast<const unsigned char*>(name.data()), name.size(),
                         sizeAt(row), timeAt(row));
}

const SearchIndex::Disc* SearchIndex::discById(qint64 discId) const {
    const auto it = m_discPositions.constFind(discId);
    return it == m_discPositions.cend() ? nullptr : &m_discList[*it];
}

SearchHit SearchIndex::hit(const IndexHit& h) const {
    SearchHit out;
    if (h.disc) {
        const Disc& d = m_discList[h.row];
        out.discId = d.id;
        out.discName = QString::fromUtf8(d.name);
        return out;
    }
    const std::string_view name = nameAt(h.row);
    out.name = QString::fromUtf8(name.data(), qsizetype(name.size()));
    out.discId = discIdAt(h.row);
    out.size = sizeAt(h.row);
    out.time = timeAt(h.row);
    if (const Disc* d = discById(out.discId))
        out.discName = QString::fromUtf8(d->name);
    if (kindAt(h.row) == 1) {
        out.folderId = idAt(h.row);
    } else {
        out.folderId = fatherAt(h.row);
        out.fileId = idAt(h.row);
    }
    return out;
}

QString SearchIndex::location(const IndexHit& h) const {
    QStringList parts;
    const Disc* disc = h.disc ? &m_discList[h.row] : discById(discIdAt(h.row));
    if (!h.disc) {
        // The folders above the entry, nearest first; a damaged loop is cut off.
        qint64 father = fatherAt(h.row);
        for (int guard = 0; father != 0 && guard < 4096; ++guard) {
            const qint64 pos = positionOf(father);
            if (pos < 0)
                break;
            const std::string_view name = nameAt(quint32(pos));
            parts.prepend(QString::fromUtf8(name.data(), qsizetype(name.size())));
            father = fatherAt(quint32(pos));
        }
    }
    if (!disc)
        return parts.join(QStringLiteral(" ▸ "));
    if (!h.disc)
        parts.prepend(QString::fromUtf8(disc->name));
    qint64 category = disc->categoryId;
    for (int guard = 0; category != 0 && guard < 4096; ++guard) {
        const auto it = m_categories.constFind(category);
        if (it == m_categories.cend())
            break;
        parts.prepend(it->name);
        category = it->fatherId;
    }
    return parts.join(QStringLiteral(" ▸ "));
}

size_t SearchIndex::memoryBytes() const {
    size_t total = sizeof(*this);
    for (const Texts* t : {&m_names, &m_notes})
        total += t->bytes.size() +
                 (t->starts.size() + t->owners.size() + t->nulls.size() + t->frequency.size() +
                  t->blockStarts.size() + t->blockBits.size() * 2) *
                     4;
    total += (m_sizes.size() + m_times.size() + m_discIds.size()) * 8 +
             (m_ids.size() + m_fathers.size() + m_discs.size()) * 4 + m_kinds.size() +
             m_archives.size();
    total += m_media.rows.size() * 5 + m_media.numbers.size() * 8 + m_media.bytes.size() +
             m_media.starts.size() * 4;
    for (const Disc& d : m_discList)
        total += sizeof(Disc) + size_t(d.name.capacity() + d.note.capacity());
    if (m_overlay)
        total += extra().memoryBytes() + m_overlay->gone.size() * 4;
    return total;
}

SearchSummary runSearch(Database& db, const SearchIndex* index, const SearchOptions& options,
                        const SearchCallbacks& callbacks) {
    if (index && index->isCurrent(db)) {
        if (const std::optional<SearchSummary> summary = index->search(options, callbacks))
            return *summary;
    }
    return runSearch(db, options, callbacks);
}

} // namespace vorlane
