// The orders hits are put in, for the index's hits and for those found through SQLite.
#include "core/search/query.h"

#include "core/search/querynode.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace vorlane {

namespace {

int compareBytes(const QByteArray& a, const QByteArray& b) {
    const int c = std::memcmp(a.constData(), b.constData(), size_t(std::min(a.size(), b.size())));
    return c != 0 ? c : a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool before(const hitorder::Key& a, const hitorder::Key& b, HitOrder order) {
    switch (order) {
    case HitOrder::Found:
        return false;
    case HitOrder::Size:
        return a.size < b.size;
    case HitOrder::Time:
        return a.time < b.time; // an unknown time first
    case HitOrder::Disc:
        return hitorder::compare(a.discFolded, a.discRaw, b.discFolded, b.discRaw) < 0;
    case HitOrder::Path:
        if (a.placeRank >= 0 && b.placeRank >= 0) {
            if (a.placeRank != b.placeRank)
                return a.placeRank < b.placeRank;
            break;
        }
        for (size_t i = 0; i < std::min(a.place.size(), b.place.size()); ++i) {
            const int c = hitorder::compare(a.place[i].first, a.place[i].second, b.place[i].first,
                                            b.place[i].second);
            if (c != 0)
                return c < 0;
        }
        if (a.place.size() != b.place.size())
            return a.place.size() < b.place.size();
        break;
    case HitOrder::Name:
        break;
    }
    return hitorder::compare(a.folded, a.raw, b.folded, b.raw) < 0;
}

} // namespace

namespace hitorder {

int compare(const QByteArray& foldedA, const QByteArray& rawA, const QByteArray& foldedB,
            const QByteArray& rawB) {
    const int c = compareBytes(foldedA, foldedB);
    return c != 0 ? c : compareBytes(rawA, rawB);
}

QByteArray folded(const QByteArray& utf8) {
    if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return c & 0x80; }))
        return QString::fromUtf8(utf8).toCaseFolded().toUtf8();
    QByteArray out = utf8;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    }
    return out;
}

std::pair<QByteArray, QByteArray> text(const QString& s) {
    return {s.toCaseFolded().toUtf8(), s.toUtf8()};
}

std::vector<size_t> sorted(const std::vector<Key>& keys, HitOrder order, bool descending) {
    std::vector<size_t> out(keys.size());
    std::iota(out.begin(), out.end(), size_t(0));
    if (order == HitOrder::Found) {
        if (descending)
            std::reverse(out.begin(), out.end());
        return out;
    }
    std::stable_sort(out.begin(), out.end(), [&](size_t a, size_t b) {
        return descending ? before(keys[b], keys[a], order) : before(keys[a], keys[b], order);
    });
    return out;
}

} // namespace hitorder

void sortHits(std::vector<SearchHit>& hits, HitOrder order, bool descending,
              const std::function<QStringList(const SearchHit&)>& place) {
    std::vector<hitorder::Key> keys(hits.size());
    for (size_t i = 0; i < hits.size() && order != HitOrder::Found; ++i) {
        const SearchHit& h = hits[i];
        hitorder::Key& k = keys[i];
        std::tie(k.folded, k.raw) =
            hitorder::text(h.kind() == SearchHit::Kind::Disc ? h.discName : h.name);
        k.size = h.size;
        k.time = h.time;
        if (order == HitOrder::Disc)
            std::tie(k.discFolded, k.discRaw) = hitorder::text(h.discName);
        if (order == HitOrder::Path && place) {
            for (const QString& part : place(h))
                k.place.push_back(hitorder::text(part));
        }
    }
    const std::vector<size_t> at = hitorder::sorted(keys, order, descending);
    std::vector<SearchHit> out;
    out.reserve(hits.size());
    for (const size_t i : at)
        out.push_back(std::move(hits[i]));
    hits = std::move(out);
}

} // namespace vorlane
