#include "core/import/rescancompare.h"

#include "core/settings/text.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/mediastore.h"
#include "core/store/rescanstore.h"

#include <QCollator>
#include <algorithm>
#include <unordered_map>

namespace vorlane {

// The walk takes each folder as the file system lists it, which spares it a collation key
// per entry. What is added goes in as a scan would store it: in name order within each
// folder, each folder before its contents.
void orderAdditions(std::vector<RescanPlan::Addition>& adds) {
    if (adds.size() < 2)
        return;
    // Siblings by their parent: an existing folder's AutoId (0: the top level), or -1 - i
    // for addition i.
    std::unordered_map<qint64, std::vector<int>> groups;
    std::vector<qint64> existing; // in order of first appearance
    for (int i = 0; i < int(adds.size()); ++i) {
        const RescanPlan::Addition& a = adds[size_t(i)];
        const qint64 group = a.parentAdded >= 0 ? -1 - qint64(a.parentAdded) : a.parentId;
        auto [it, made] = groups.try_emplace(group);
        if (made && group >= 0)
            existing.push_back(group);
        it->second.push_back(i);
    }
    const QCollator collator = nameCollator();
    std::vector<QString> names;
    names.reserve(adds.size());
    for (const RescanPlan::Addition& a : adds)
        names.push_back(QString::fromUtf8(a.name.data(), qsizetype(a.name.size())));
    for (auto& [group, members] : groups) {
        std::stable_sort(members.begin(), members.end(), [&](int a, int b) {
            return collator.compare(names[size_t(a)], names[size_t(b)]) < 0;
        });
    }
    std::vector<int> order;
    order.reserve(adds.size());
    std::vector<int> moved(adds.size(), -1);
    std::vector<std::pair<const std::vector<int>*, size_t>> stack;
    for (const qint64 group : existing) {
        stack.emplace_back(&groups[group], 0);
        while (!stack.empty()) {
            auto& [members, next] = stack.back();
            if (next == members->size()) {
                stack.pop_back();
                continue;
            }
            const int i = (*members)[next++];
            moved[size_t(i)] = int(order.size());
            order.push_back(i);
            if (const auto it = groups.find(-1 - qint64(i)); it != groups.end())
                stack.emplace_back(&it->second, 0);
        }
    }
    std::vector<RescanPlan::Addition> sorted;
    sorted.reserve(adds.size());
    for (const int i : order) {
        RescanPlan::Addition a = std::move(adds[size_t(i)]);
        if (a.parentAdded >= 0)
            a.parentAdded = moved[size_t(a.parentAdded)];
        sorted.push_back(std::move(a));
    }
    adds = std::move(sorted);
}

bool applyRescan(Database& db, const RescanPlan& plan, const std::atomic<bool>* cancel,
                 QString* error) {
    const auto stopped = [&](size_t step) {
        return cancel && (step & 1023) == 0 && cancel->load(std::memory_order_relaxed);
    };
    try {
        if (!catalogstore::discExists(db, plan.discId)) {
            if (error)
                *error = QStringLiteral("the disc no longer exists");
            return false;
        }
        Transaction tx(db);
        size_t step = 0;
        std::optional<mediastore::MediaWriter> media;
        if (mediastore::available(db))
            media.emplace(db);
        {
            rescanstore::ChangeWriter writer(db);
            for (const qint64 id : plan.removals) {
                if (stopped(++step))
                    return false;
                writer.remove(id);
            }
            for (const RescanPlan::Change& c : plan.changes) {
                if (stopped(++step))
                    return false;
                if (c.timeOnly)
                    writer.retime(c.id, c.mtime);
                else
                    writer.change(c.id, c.size, c.mtime, c.link, c.hash, int(c.archive),
                                  int(c.special), c.note);
                if (c.newContent && media)
                    media->drop(c.id);
            }
        }
        {
            contentstore::EntryWriter rows(db, plan.discId);
            std::vector<qint64> ids(plan.additions.size(), 0);
            for (size_t i = 0; i < plan.additions.size(); ++i) {
                if (stopped(++step))
                    return false;
                const RescanPlan::Addition& a = plan.additions[i];
                contentstore::ScannedEntry row;
                row.name = a.name;
                row.path = a.path;
                row.size = a.size;
                row.isDir = a.isDir;
                row.fatherId = a.parentAdded >= 0 ? ids[size_t(a.parentAdded)] : a.parentId;
                row.mtime = a.mtime;
                row.raw = a.raw;
                row.link = a.link;
                row.hash = a.hash;
                row.note = a.note;
                row.archive = a.archive;
                row.special = a.special;
                ids[i] = rows.add(row);
            }
            if (media) {
                for (const RescanPlan::Media& m : plan.media) {
                    const qint64 id = m.change >= 0      ? plan.changes[size_t(m.change)].id
                                      : m.unchanged >= 0 ? plan.mediaOnly[size_t(m.unchanged)].id
                                                         : ids[size_t(m.addition)];
                    if (!m.facts.isEmpty())
                        media->storeFacts(id, m.facts);
                    if (!m.thumbnail.isEmpty())
                        media->storeThumbnail(id, m.thumbnail);
                }
            }
        }
        if (cancel && cancel->load())
            return false;
        if (plan.newRoot)
            catalogstore::setDiscSource(db, plan.discId, plan.root);
        foldersizes::storeTotals(db, plan.discId);
        catalogstore::setScanFacts(db, plan.discId, plan.facts);
        tx.commit();
    } catch (const DbError& e) {
        if (error)
            *error = e.text();
        return false;
    }
    return true;
}

} // namespace vorlane
