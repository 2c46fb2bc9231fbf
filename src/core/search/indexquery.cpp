// The query language evaluated on the index, and the orders of its hits.
#include "core/search/searchindex.h"

#include "core/search/matcher.h"
#include "core/search/querynode.h"

#include <algorithm>
#include <unordered_map>

namespace vorlane {

namespace {

using Node = SearchQuery::Node;
using Kind = Node::Kind;

// A node made ready to test rows: its matcher built once, its children cheapest first.
struct Test {
    Kind kind = Kind::All;
    std::vector<Test> children;
    std::optional<KeywordMatcher> matcher;
    std::vector<QByteArray> extensions; // folded unless case-sensitive
    bool fold = true;
    qint64 low = 0;
    qint64 high = 0;
    quint8 types = 0;
    std::vector<bool> discs; // Disc: per disc position, whether its name holds the text
    QByteArray needle;       // media texts: folded unless case-sensitive
    int cost = 0;
    // Path: what is known of each folder met so far.
    struct Folder {
        bool holds = false;
        QByteArray tail;
    };
    mutable std::unordered_map<qint64, Folder> folders;
};

Test compile(const Node& n) {
    Test t;
    t.kind = n.kind;
    t.fold = !n.caseSensitive;
    t.low = n.low;
    t.high = n.high;
    t.types = n.types;
    switch (n.kind) {
    case Kind::All:
    case Kind::Any:
    case Kind::Not:
        for (const Node& c : n.children) {
            t.children.push_back(compile(c));
            t.cost = std::max(t.cost, t.children.back().cost);
        }
        // A row fails an All at its first failing child, and passes an Any at its first
        // passing one: the cheap tests go first either way.
        std::stable_sort(t.children.begin(), t.children.end(),
                         [](const Test& a, const Test& b) { return a.cost < b.cost; });
        break;
    case Kind::Size:
    case Kind::Date:
    case Kind::Type:
        break;
    case Kind::Media:
    case Kind::Taken:
    case Kind::Duration:
    case Kind::Width:
        t.cost = 1;
        break;
    case Kind::Title:
    case Kind::Artist:
    case Kind::Album:
    case Kind::Camera:
        t.cost = 2;
        t.needle = (n.caseSensitive ? n.text : n.text.toCaseFolded()).toUtf8();
        break;
    case Kind::Ext:
        t.cost = 1;
        for (const QString& e : n.values) {
            QByteArray bytes = e.toUtf8();
            if (t.fold) {
                for (char& c : bytes)
                    c = char(foldLetter(static_cast<unsigned char>(c)));
            }
            t.extensions.push_back(bytes);
        }
        break;
    case Kind::Disc:
    case Kind::Word:
    case Kind::Note:
    case Kind::Path:
    case Kind::Regex:
        t.cost = n.kind == Kind::Disc    ? 1
                 : n.kind == Kind::Path  ? 4
                 : n.kind == Kind::Regex ? 5
                                         : 2;
        t.matcher.emplace(n.text, n.caseSensitive,
                          n.kind == Kind::Regex ? KeywordMode::Regex : KeywordMode::Substring);
        break;
    }
    return t;
}

bool holds(const KeywordMatcher& m, std::string_view text) {
    return m.matches(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

bool holds(const KeywordMatcher& m, const QByteArray& text, bool isNull) {
    return !isNull && holds(m, std::string_view(text.constData(), size_t(text.size())));
}

bool hasExtension(const Test& t, std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    QByteArray ext(name.data() + dot + 1, qsizetype(name.size() - dot - 1));
    if (t.fold) {
        for (char& c : ext)
            c = char(foldLetter(static_cast<unsigned char>(c)));
    }
    return std::find(t.extensions.begin(), t.extensions.end(), ext) != t.extensions.end();
}

// The test whose rows are read first, all others then tested on those rows only: a note
// (notes are few), else the word `guess` deems rarest or a media filter (only the `media`
// rows with facts can hold), else an either-or of such tests, else a regular expression.
// Null when every row must be walked.
template <class Guess> const Test* source(const Test& all, const Guess& guess, double media) {
    constexpr double Never = -1;
    auto estimate = [&](auto& self, const Test& t) -> double {
        switch (t.kind) {
        case Kind::Note:
            return 0;
        case Kind::Word:
            return guess(t.matcher->needle(), t.matcher->folds());
        case Kind::Regex:
            return 1e18;
        case Kind::Media:
        case Kind::Title:
        case Kind::Artist:
        case Kind::Album:
        case Kind::Camera:
        case Kind::Taken:
        case Kind::Duration:
        case Kind::Width:
            return media;
        case Kind::Any: {
            double sum = 0;
            for (const Test& c : t.children) {
                const double e = self(self, c);
                if (e == Never || c.kind == Kind::Any)
                    return Never;
                sum += e;
            }
            return sum;
        }
        default:
            return Never;
        }
    };
    const Test* best = nullptr;
    double least = 0;
    for (const Test& t : all.children) {
        const double e = estimate(estimate, t);
        if (e != Never && (!best || e < least)) {
            best = &t;
            least = e;
        }
    }
    return best;
}

} // namespace

SearchSummary SearchIndex::query(const SearchQuery& query, std::vector<IndexHit>& out,
                                 const std::atomic<bool>* stop) const {
    SearchSummary summary;
    const auto discCount = qint64(m_discList.size());
    summary.total = discCount + entryCount();
    const Node* root = query.root();
    if (!root)
        return summary;
    auto stopped = [&] {
        if (stop && stop->load(std::memory_order_relaxed))
            summary.stopped = true;
        return summary.stopped;
    };
    Test all = compile(*root);
    auto prepare = [&](auto& self, Test& t) -> void {
        if (t.kind == Kind::Disc) {
            for (const Disc& d : m_discList)
                t.discs.push_back(holds(*t.matcher, d.name, d.nameNull));
        }
        for (Test& c : t.children)
            self(self, c);
    };
    prepare(prepare, all);
    const size_t first = out.size();

    // Discs: their name and note, for a query that asks nothing only entries have.
    if (root->discCanHold()) {
        auto discHolds = [&](auto& self, const Test& t, size_t i) -> bool {
            const Disc& d = m_discList[i];
            switch (t.kind) {
            case Kind::All:
                return std::all_of(t.children.begin(), t.children.end(),
                                   [&](const Test& c) { return self(self, c, i); });
            case Kind::Any:
                return std::any_of(t.children.begin(), t.children.end(),
                                   [&](const Test& c) { return self(self, c, i); });
            case Kind::Not:
                return !self(self, t.children.front(), i);
            case Kind::Word:
                return holds(*t.matcher, d.name, d.nameNull) ||
                       holds(*t.matcher, d.note, d.noteNull);
            case Kind::Disc:
                return t.discs[i];
            case Kind::Note:
                return holds(*t.matcher, d.note, d.noteNull);
            case Kind::Regex:
                return holds(*t.matcher, d.name, d.nameNull);
            default:
                return false;
            }
        };
        for (size_t i = 0; i < m_discList.size(); ++i) {
            if (discHolds(discHolds, all, i))
                out.push_back({quint32(i), true});
        }
    }
    summary.examined = discCount;
    if (stopped())
        return summary;

    // The rows to test.
    auto unite = [&](const std::vector<quint32>& a, const std::vector<quint32>& b) {
        std::vector<quint32> both;
        both.reserve(a.size() + b.size());
        std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both),
                       [&](quint32 x, quint32 y) { return rowBefore(x, y); });
        return both;
    };
    auto rowsOf = [&](const Test& t) {
        if (t.kind >= Kind::Media)
            return mediaRows();
        if (t.kind == Kind::Note)
            return rowsNoted(*t.matcher, stop);
        if (t.kind == Kind::Regex)
            return rowsNamed(*t.matcher, stop);
        return unite(rowsNamed(*t.matcher, stop), rowsNoted(*t.matcher, stop));
    };
    std::vector<quint32> rows;
    // A word's hits are at most the names holding its rarest byte; a longer word breaks ties.
    auto guess = [&](const QByteArray& needle, bool fold) {
        double rarest = 1e15;
        for (const char ch : needle) {
            const auto c = static_cast<unsigned char>(ch);
            double n = 1e15;
            if (m_names.frequency.size() == 256) {
                const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
                n = fold && letter
                        ? double(m_names.frequency[c | 0x20]) + m_names.frequency[c & ~0x20]
                        : double(m_names.frequency[c]);
            }
            rarest = std::min(rarest, n);
        }
        return rarest + 1.0 / double(needle.size() + 1);
    };
    if (const Test* from = source(all, guess, double(mediaCount()))) {
        if (from->kind != Kind::Any) {
            rows = rowsOf(*from);
        } else {
            for (const Test& c : from->children)
                rows = unite(rows, rowsOf(c));
        }
    } else {
        rows = allRows();
    }

    // Whether the path of a folder on its disc ("/a/b") holds a path test's text, and the
    // path's last bytes, where a match that runs on into a row's own name must begin: a row
    // holds when its folder does or "<those bytes>/<name>" does. Kept per folder, so that no
    // path is made whole, however deep the folders.
    auto folderFacts = [&](const Test& t, qint64 id) -> const Test::Folder& {
        static const Test::Folder top;
        std::vector<quint32> chain;
        const Test::Folder* base = &top;
        for (int guard = 0; id != 0 && guard < 4096; ++guard) {
            if (const auto it = t.folders.find(id); it != t.folders.end()) {
                base = &it->second;
                break;
            }
            const qint64 pos = positionOf(id);
            if (pos < 0)
                break; // a damaged link: the path starts below it
            chain.push_back(quint32(pos));
            id = fatherAt(quint32(pos));
        }
        const qsizetype keep = t.matcher->needle().size() - 1;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const std::string_view name = nameAt(*it);
            Test::Folder f;
            f.tail = base->tail + '/' + QByteArray(name.data(), qsizetype(name.size()));
            f.holds = base->holds || holds(*t.matcher, f.tail, false);
            f.tail = f.tail.right(keep);
            base = &t.folders.emplace(idAt(*it), std::move(f)).first->second;
        }
        return *base;
    };

    auto mediaHolds = [&](const Test& t, quint32 row) {
        const std::optional<MediaRef> m = mediaAt(row);
        if (!m)
            return false;
        auto within = [&](MediaNumber n, bool halfOpen) {
            const std::optional<qint64> v = m->number(n);
            return v && *v >= t.low && (halfOpen ? *v < t.high : *v <= t.high);
        };
        auto text = [&](MediaText which) {
            const std::string_view s = m->text(which, t.fold);
            return std::string_view(s).find(std::string_view(
                       t.needle.constData(), size_t(t.needle.size()))) != std::string_view::npos;
        };
        switch (t.kind) {
        case Kind::Media: {
            const qint8 k = m->kind();
            return ((t.types & Node::Image) && k == 1) || ((t.types & Node::Audio) && k == 2) ||
                   ((t.types & Node::Video) && k == 3);
        }
        case Kind::Title:
            return text(MediaTitle);
        case Kind::Artist:
            return text(MediaArtist);
        case Kind::Album:
            return text(MediaAlbum);
        case Kind::Camera:
            return text(MediaCamera);
        case Kind::Taken:
            return within(MediaTaken, true);
        case Kind::Duration:
            return within(MediaDuration, false);
        case Kind::Width:
            return within(MediaWidth, false);
        default:
            return false;
        }
    };

    auto rowHolds = [&](auto& self, const Test& t, quint32 row) -> bool {
        switch (t.kind) {
        case Kind::All:
            return std::all_of(t.children.begin(), t.children.end(),
                               [&](const Test& c) { return self(self, c, row); });
        case Kind::Any:
            return std::any_of(t.children.begin(), t.children.end(),
                               [&](const Test& c) { return self(self, c, row); });
        case Kind::Not:
            return !self(self, t.children.front(), row);
        case Kind::Word: {
            if (holds(*t.matcher, nameAt(row)))
                return true;
            const std::optional<std::string_view> note = noteAt(row);
            return note && holds(*t.matcher, *note);
        }
        case Kind::Ext:
            return hasExtension(t, nameAt(row));
        case Kind::Size:
            return sizeAt(row) >= t.low && sizeAt(row) <= t.high;
        case Kind::Date: {
            const std::optional<qint64> time = timeAt(row);
            return time && *time >= t.low && *time < t.high;
        }
        case Kind::Disc: {
            const Disc* d = discById(discIdAt(row));
            return d && t.discs[size_t(d - m_discList.data())];
        }
        case Kind::Path: {
            const Test::Folder& folder = folderFacts(t, fatherAt(row));
            const std::string_view name = nameAt(row);
            return folder.holds ||
                   holds(*t.matcher,
                         folder.tail + '/' + QByteArray(name.data(), qsizetype(name.size())),
                         false);
        }
        case Kind::Note: {
            const std::optional<std::string_view> note = noteAt(row);
            return note && holds(*t.matcher, *note);
        }
        case Kind::Type: {
            const qint8 kind = kindAt(row);
            const qint8 archive = archiveAt(row);
            return ((t.types & Node::Folder) && kind == 1) ||
                   ((t.types & Node::File) && kind == 0) ||
                   ((t.types & Node::Archive) && archive == 1) ||
                   ((t.types & Node::Member) && archive == 2);
        }
        case Kind::Regex:
            return holds(*t.matcher, nameAt(row));
        case Kind::Media:
        case Kind::Title:
        case Kind::Artist:
        case Kind::Album:
        case Kind::Camera:
        case Kind::Taken:
        case Kind::Duration:
        case Kind::Width:
            return mediaHolds(t, row);
        }
        return false;
    };

    // Folders first, then files, each in the order the rows came in.
    std::vector<quint32> files;
    size_t tested = 0;
    for (const quint32 row : rows) {
        if ((++tested & 4095) == 0 && stopped())
            break;
        const qint8 kind = kindAt(row);
        if (kind < 0 || !rowHolds(rowHolds, all, row))
            continue;
        if (kind == 1)
            out.push_back({row, false});
        else
            files.push_back(row);
    }
    for (const quint32 row : files)
        out.push_back({row, false});
    if (!summary.stopped && !stopped())
        summary.examined += entryCount();
    summary.hits = qint64(out.size() - first);
    return summary;
}

void SearchIndex::sort(std::vector<IndexHit>& hits, HitOrder order, bool descending) const {
    std::vector<hitorder::Key> keys(hits.size());
    // Path: the places of the hits (categories, disc, folders) as a tree of their parts, equal
    // parts below equal places made one; numbered in the order of a walk that visits a
    // place's parts in text order, a place comes before those below it, as comparing the
    // parts one by one would have it, without making any place whole.
    struct Place {
        std::vector<quint32> below;
        QByteArray raw;
        qint64 rank = 0;
    };
    std::vector<Place> places(1);
    QHash<std::pair<quint32, QByteArray>, quint32> known;
    auto part = [&](quint32 above, const QByteArray& raw) {
        const auto key = std::make_pair(above, raw);
        if (const auto it = known.constFind(key); it != known.cend())
            return *it;
        const auto at = quint32(places.size());
        places.push_back({{}, raw, 0});
        places[above].below.push_back(at);
        known.insert(key, at);
        return at;
    };
    QHash<qint64, quint32> discPlaces;   // disc position * 2 + with the disc
    QHash<qint64, quint32> folderPlaces; // folder id
    auto discPlace = [&](const Disc* d, bool withDisc) -> quint32 {
        if (!d)
            return 0;
        const qint64 key = qint64(d - m_discList.data()) * 2 + withDisc;
        if (const auto it = discPlaces.constFind(key); it != discPlaces.cend())
            return *it;
        std::vector<QByteArray> parts;
        for (qint64 c = d->categoryId, guard = 0; c != 0 && guard < 4096; ++guard) {
            const auto it = m_categories.constFind(c);
            if (it == m_categories.cend())
                break;
            parts.push_back(it->name.toUtf8());
            c = it->fatherId;
        }
        quint32 at = 0;
        for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            at = part(at, *it);
        if (withDisc)
            at = part(at, d->name);
        discPlaces.insert(key, at);
        return at;
    };
    auto folderPlace = [&](qint64 discId, qint64 folder) {
        std::vector<quint32> chain;
        quint32 at = 0;
        bool found = false;
        for (int guard = 0; folder != 0 && guard < 4096; ++guard) {
            if (const auto it = folderPlaces.constFind(folder); it != folderPlaces.cend()) {
                at = *it;
                found = true;
                break;
            }
            const qint64 pos = positionOf(folder);
            if (pos < 0)
                break;
            chain.push_back(quint32(pos));
            folder = fatherAt(quint32(pos));
        }
        if (!found)
            at = discPlace(discById(discId), true);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const std::string_view name = nameAt(*it);
            at = part(at, QByteArray(name.data(), qsizetype(name.size())));
            folderPlaces.insert(idAt(*it), at);
        }
        return at;
    };
    for (size_t i = 0; i < hits.size() && order != HitOrder::Found; ++i) {
        const IndexHit& h = hits[i];
        hitorder::Key& k = keys[i];
        const Disc* disc = h.disc ? &m_discList[h.row] : discById(discIdAt(h.row));
        if (h.disc) {
            k.raw = disc->name;
        } else {
            const std::string_view name = nameAt(h.row);
            k.raw = QByteArray(name.data(), qsizetype(name.size()));
            k.size = sizeAt(h.row);
            k.time = timeAt(h.row);
        }
        if (order == HitOrder::Name || order == HitOrder::Path)
            k.folded = hitorder::folded(k.raw);
        if (order == HitOrder::Disc && disc)
            std::tie(k.discFolded, k.discRaw) = hitorder::text(QString::fromUtf8(disc->name));
        if (order == HitOrder::Path)
            k.placeRank =
                h.disc ? discPlace(disc, false) : folderPlace(discIdAt(h.row), fatherAt(h.row));
    }
    if (order == HitOrder::Path) {
        // Parts in text order below each place, then numbered as the walk meets them.
        std::vector<QByteArray> folded(places.size());
        for (size_t i = 1; i < places.size(); ++i)
            folded[i] = hitorder::folded(places[i].raw);
        std::vector<quint32> stack{0};
        qint64 next = 0;
        while (!stack.empty()) {
            Place& p = places[stack.back()];
            stack.pop_back();
            p.rank = next++;
            std::sort(p.below.begin(), p.below.end(), [&](quint32 a, quint32 b) {
                return hitorder::compare(folded[a], places[a].raw, folded[b], places[b].raw) < 0;
            });
            stack.insert(stack.end(), p.below.rbegin(), p.below.rend());
        }
        for (hitorder::Key& k : keys)
            k.placeRank = places[size_t(k.placeRank)].rank;
    }
    const std::vector<size_t> at = hitorder::sorted(keys, order, descending);
    std::vector<IndexHit> sorted;
    sorted.reserve(hits.size());
    for (const size_t i : at)
        sorted.push_back(hits[i]);
    hits = std::move(sorted);
}

} // namespace vorlane
