// The thumbnails of the level the list shows, for the large-icon style: which entries have
// one is known when the level is filled; the pictures are fetched for the items that come
// into sight, a batch at a time, decoded on a thread of its own and kept in a cache of
// bounded size.
#pragma once

#include <QByteArray>
#include <QCache>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vorlane {

class ThumbnailCache : public QObject {
    Q_OBJECT

public:
    // Reads the stored JPEGs of some entries (on the window's thread, from its catalog).
    using Fetch = std::function<std::unordered_map<qint64, QByteArray>(const std::vector<qint64>&)>;

    explicit ThumbnailCache(QObject* parent = nullptr);
    ~ThumbnailCache() override;

    void setFetch(Fetch fetch) { m_fetch = std::move(fetch); }
    // The pictures are made to fit this square.
    void setEdge(int pixels) { m_edge = pixels; }
    int edge() const { return m_edge; }

    // A new level: these entries have a thumbnail. Forgets every picture of the last one.
    void setLevel(std::unordered_set<qint64> ids);
    void clear() { setLevel({}); }
    bool isEmpty() const { return m_ids.empty(); }
    bool has(qint64 id) const { return m_ids.count(id) != 0; }

    // The decoded picture; nullptr while it is not (yet) there.
    const QPixmap* pixmap(qint64 id) const { return m_pixmaps.object(id); }
    // Asks for an entry's picture; ready() follows once it is decoded.
    void want(qint64 id);

    // Waits for the decoding under way (tests).
    void waitForDone() { m_pool.waitForDone(); }

signals:
    void ready(const QList<qint64>& ids);

private:
    void fetchPending();
    void decoded(quint64 generation, const QList<qint64>& ids, const QList<QImage>& images);

    Fetch m_fetch;
    int m_edge = 96;
    std::unordered_set<qint64> m_ids;
    QCache<qint64, QPixmap> m_pixmaps; // cost in KB
    QSet<qint64> m_pending;            // asked for, not fetched yet
    QSet<qint64> m_inFlight;           // fetched, being decoded
    QSet<qint64> m_broken;             // could not be decoded: the type icon stays
    bool m_scheduled = false;
    quint64 m_generation = 0; // a new level drops what was decoded for the last
    QThreadPool m_pool;
    std::atomic_bool m_stopping{false};
};

} // namespace vorlane
