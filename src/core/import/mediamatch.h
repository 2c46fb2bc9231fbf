// Brings the media helpers' results together with the rows they belong to, on a scan's
// writer thread: a result stays until its row is stored, and goes in as soon as both are.
#pragma once

#include "core/media/mediapool.h"
#include "core/store/mediastore.h"

#include <unordered_map>
#include <vector>

namespace vorlane {

class MediaMatch {
public:
    explicit MediaMatch(Database& db) : m_writer(db) {}

    // The row of job `seq` was stored as entry `id`. Throws DbError.
    void placed(qint64 seq, qint64 id) {
        if (const auto it = m_waiting.find(seq); it != m_waiting.end()) {
            store(id, it->second);
            m_waiting.erase(it);
        } else {
            m_ids.emplace(seq, id);
        }
    }

    // Results from the helpers. Throws DbError.
    void arrived(std::vector<media::MediaResult> results) {
        for (media::MediaResult& r : results) {
            if (const auto it = m_ids.find(r.seq); it != m_ids.end()) {
                store(it->second, r);
                m_ids.erase(it);
            } else {
                m_waiting.emplace(r.seq, std::move(r));
            }
        }
    }

    qint64 facts() const { return m_facts; }
    qint64 thumbnails() const { return m_thumbnails; }

private:
    void store(qint64 id, const media::MediaResult& r) {
        if (!r.facts.isEmpty()) {
            m_writer.storeFacts(id, r.facts);
            ++m_facts;
        }
        if (!r.thumbnail.isEmpty()) {
            m_writer.storeThumbnail(id, r.thumbnail);
            ++m_thumbnails;
        }
    }

    mediastore::MediaWriter m_writer;
    std::unordered_map<qint64, qint64> m_ids;                 // a job's row, till its result
    std::unordered_map<qint64, media::MediaResult> m_waiting; // results before their row
    qint64 m_facts = 0;
    qint64 m_thumbnails = 0;
};

} // namespace vorlane
