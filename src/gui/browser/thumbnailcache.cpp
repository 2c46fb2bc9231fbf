#include "gui/browser/thumbnailcache.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTimer>

namespace vorlane {

namespace {

// About 700 pictures of 96 px; the list shows a few dozen at a time.
constexpr int kCacheKb = 24 * 1024;
// One fetch reads at most this many at once, so a big window never stalls on one batch.
constexpr int kBatch = 64;

QImage decode(const QByteArray& jpeg, int edge) {
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > edge || image.height() > edge)
        image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailCache::ThumbnailCache(QObject* parent) : QObject(parent) {
    m_pixmaps.setMaxCost(kCacheKb);
    m_pool.setMaxThreadCount(1);
}

ThumbnailCache::~ThumbnailCache() {
    m_stopping = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void ThumbnailCache::setLevel(std::unordered_set<qint64> ids) {
    ++m_generation;
    m_ids = std::move(ids);
    m_pixmaps.clear();
    m_pending.clear();
    m_inFlight.clear();
    m_broken.clear();
}

void ThumbnailCache::want(qint64 id) {
    if (!has(id) || m_pixmaps.contains(id) || m_pending.contains(id) || m_inFlight.contains(id) ||
        m_broken.contains(id))
        return;
    m_pending.insert(id);
    // The items painted in one pass are fetched together, after the paint.
    if (!m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &ThumbnailCache::fetchPending);
    }
}

void ThumbnailCache::fetchPending() {
    m_scheduled = false;
    if (m_pending.isEmpty() || !m_fetch)
        return;
    std::vector<qint64> ids;
    for (auto it = m_pending.begin(); it != m_pending.end() && int(ids.size()) < kBatch;) {
        ids.push_back(*it);
        m_inFlight.insert(*it);
        it = m_pending.erase(it);
    }
    if (!m_pending.isEmpty()) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &ThumbnailCache::fetchPending);
    }
    std::unordered_map<qint64, QByteArray> bytes;
    try {
        bytes = m_fetch(ids);
    } catch (...) {
        // A catalog that cannot be read now keeps its type icons.
    }
    const quint64 generation = m_generation;
    const int edge = m_edge;
    m_pool.start([this, generation, edge, ids, bytes = std::move(bytes)] {
        QList<qint64> done;
        QList<QImage> images;
        for (qint64 id : ids) {
            if (m_stopping)
                return;
            const auto it = bytes.find(id);
            done << id;
            images << (it == bytes.end() ? QImage() : decode(it->second, edge));
        }
        QMetaObject::invokeMethod(
            this, [this, generation, done, images] { decoded(generation, done, images); },
            Qt::QueuedConnection);
    });
}

void ThumbnailCache::decoded(quint64 generation, const QList<qint64>& ids,
                             const QList<QImage>& images) {
    if (generation != m_generation)
        return;
    QList<qint64> shown;
    for (int i = 0; i < ids.size(); ++i) {
        const qint64 id = ids.at(i);
        m_inFlight.remove(id);
        const QImage& image = images.at(i);
        if (image.isNull()) {
            m_broken.insert(id);
            continue;
        }
        auto* pixmap = new QPixmap(QPixmap::fromImage(image));
        m_pixmaps.insert(id, pixmap, qMax(1, int(image.sizeInBytes() / 1024)));
        shown << id;
    }
    if (!shown.isEmpty())
        emit ready(shown);
}

} // namespace vorlane
