#include "core/store/copiesstore.h"

#include "core/store/database.h"
#include "core/store/filegroups.h"

#include <algorithm>
#include <optional>

namespace vorlane::copiesstore {

namespace {

int discCount(const filegroups::Found& f) {
    std::vector<qint64> discs;
    discs.reserve(f.members.size());
    for (const filegroups::Candidate* c : f.members)
        discs.push_back(c->discId);
    std::sort(discs.begin(), discs.end());
    return int(std::unique(discs.begin(), discs.end()) - discs.begin());
}

} // namespace

std::vector<Copy> findCopies(Database& db, int maxDiscs, qint64 minSize,
                             const std::atomic<bool>* cancel,
                             const duplicatestore::ProgressFn& progress) {
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    std::optional<ReadSnapshot> snapshot;
    if (!db.inTransaction())
        snapshot.emplace(db);
    filegroups::Candidates all;
    std::vector<filegroups::Found> found;
    if (!filegroups::groupFiles(db, minSize, true, cancel, progress, all, found))
        return {};
    std::vector<std::pair<const filegroups::Found*, int>> kept;
    for (const filegroups::Found& f : found)
        if (const int discs = discCount(f); discs <= maxDiscs)
            kept.emplace_back(&f, discs);
    std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return filegroups::listedBefore(*a.first, *b.first);
    });
    filegroups::Namer namer(db);
    std::vector<Copy> out;
    const qint64 total = qint64(kept.size());
    qint64 done = 0;
    for (const auto& [f, discs] : kept) {
        if (done++ % 256 == 0) {
            if (cancelled())
                return {};
            if (progress)
                progress({duplicatestore::Progress::Stage::Groups, done - 1, total});
        }
        std::vector<duplicatestore::Member> members;
        members.reserve(f->members.size());
        for (const filegroups::Candidate* c : f->members)
            members.push_back(namer.member(all, *c));
        duplicatestore::sortMembers(members);
        for (duplicatestore::Member& m : members)
            out.push_back(Copy{f->size, discs, std::move(m)});
    }
    if (progress)
        progress({duplicatestore::Progress::Stage::Groups, total, total});
    return out;
}

QHash<qint64, SoleCopies> soleCopies(Database& db, const std::atomic<bool>* cancel) {
    std::optional<ReadSnapshot> snapshot;
    if (!db.inTransaction())
        snapshot.emplace(db);
    filegroups::Candidates all;
    std::vector<filegroups::Found> found;
    QHash<qint64, SoleCopies> out;
    if (!filegroups::groupFiles(db, 0, true, cancel, {}, all, found))
        return out;
    for (const filegroups::Found& f : found) {
        if (discCount(f) != 1)
            continue;
        SoleCopies& s = out[f.members.front()->discId];
        for (const filegroups::Candidate* c : f.members) {
            ++s.files;
            s.bytes += c->size;
        }
    }
    return out;
}

} // namespace vorlane::copiesstore
