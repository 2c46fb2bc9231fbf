#include "core/store/duplicatestore.h"

#include "core/store/database.h"
#include "core/store/filegroups.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vorlane::duplicatestore {

qint64 Group::wasted() const {
    if (members.size() < 2)
        return 0;
    qint64 total = 0;
    if (__builtin_mul_overflow(size, qint64(members.size() - 1), &total))
        return std::numeric_limits<qint64>::max();
    return total;
}

std::vector<Group> findDuplicates(Database& db, qint64 minSize, const std::atomic<bool>* cancel,
                                  const ProgressFn& progress) {
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    // The reads, and the names and paths after them, see the catalog as it was at the start.
    std::optional<ReadSnapshot> snapshot;
    if (!db.inTransaction())
        snapshot.emplace(db);
    filegroups::Candidates all;
    std::vector<filegroups::Found> found;
    if (!filegroups::groupFiles(db, minSize, false, cancel, progress, all, found))
        return {};
    const auto report = [&progress](qint64 done, qint64 total) {
        if (progress)
            progress(Progress{Progress::Stage::Groups, done, total});
    };

    const auto wasted = [](const filegroups::Found& f) {
        qint64 w = 0;
        return __builtin_mul_overflow(f.size, qint64(f.members.size() - 1), &w)
                   ? std::numeric_limits<qint64>::max()
                   : w;
    };
    std::sort(found.begin(), found.end(),
              [&](const filegroups::Found& a, const filegroups::Found& b) {
                  if (const qint64 wa = wasted(a), wb = wasted(b); wa != wb)
                      return wa > wb;
                  return filegroups::listedBefore(a, b);
              });

    filegroups::Namer namer(db);
    std::vector<Group> groups;
    groups.reserve(found.size());
    const qint64 groupCount = qint64(found.size());
    for (const filegroups::Found& f : found) {
        // Each new folder costs a query or more: a look at the flag now and then.
        if (const qint64 named = qint64(groups.size()); named % 256 == 0) {
            if (cancelled())
                return {};
            report(named, groupCount);
        }
        Group g;
        g.size = f.size;
        if (f.slot >= 0) {
            g.hash = f.key;
            g.algorithm = filegroups::slotName(f.slot);
        }
        g.members.reserve(f.members.size());
        for (const filegroups::Candidate* c : f.members)
            g.members.push_back(namer.member(all, *c));
        sortMembers(g.members);
        groups.push_back(std::move(g));
    }
    report(groupCount, groupCount);
    return groups;
}

void sortMembers(std::vector<Member>& members) {
    std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
        if (const int c = a.discName.compare(b.discName); c != 0)
            return c < 0;
        if (a.discId != b.discId)
            return a.discId < b.discId;
        if (const int c = a.path.compare(b.path); c != 0)
            return c < 0;
        return a.id < b.id;
    });
}

} // namespace vorlane::duplicatestore
