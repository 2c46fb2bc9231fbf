#include "gui/browser/listmedia.h"

#include "core/store/catalogsession.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/previewpane.h"
#include "gui/browser/thumbnailcache.h"

#include <QEvent>
#include <QItemSelectionModel>

namespace vorlane {

ListMedia::ListMedia(CatalogSession& session, FileListView* list, PreviewPane* preview,
                     QObject* parent)
    : QObject(parent), m_session(session), m_list(list), m_preview(preview),
      m_thumbnails(new ThumbnailCache(this)) {
    m_thumbnails->setFetch([this](const std::vector<qint64>& ids) {
        return mediastore::thumbnailsOf(m_session.db(), ids);
    });
    m_list->setThumbnails(m_thumbnails);
    connect(m_list, &FileListView::mediaColumnsChanged, this, [this] {
        if (m_level && !m_factsLoaded && !m_list->shownMediaColumns().isEmpty()) {
            try {
                loadFacts();
            } catch (const DbError&) {
                // The columns stay empty; the next fill tries again.
            }
        }
    });
    connect(m_list, &FileListView::changed, this, &ListMedia::updatePreview);
    if (m_preview) {
        // A pane switched on shows the selection of the moment.
        m_preview->installEventFilter(this);
        connect(m_list->model(), &EntryModel::modelReset, this, &ListMedia::updatePreview);
    }
}

void ListMedia::levelShown(qint64 discId, qint64 folderId) {
    clear();
    m_disc = discId;
    m_folder = folderId;
    m_level = true;
    Database& db = m_session.db();
    std::unordered_set<qint64> ids = mediastore::thumbnailIdsOfLevel(db, discId, folderId);
    m_list->setThumbnailsInLevel(!ids.empty());
    m_thumbnails->setLevel(std::move(ids));
    if (!m_list->shownMediaColumns().isEmpty())
        loadFacts();
}

void ListMedia::loadFacts() {
    m_list->model()->setMedia(mediastore::factsOfLevel(m_session.db(), m_disc, m_folder));
    m_factsLoaded = true;
    // A list sorted by a media column is sorted again now that it has its keys.
    if (EntryModel::isMediaColumn(m_list->model()->sortColumn()))
        m_list->model()->resort();
}

void ListMedia::clear() {
    m_level = false;
    m_factsLoaded = false;
    m_thumbnails->clear();
    m_list->setThumbnailsInLevel(false);
    m_list->model()->setMedia({});
    if (m_preview)
        m_preview->showNothing();
}

bool ListMedia::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_preview && event->type() == QEvent::Show)
        updatePreview();
    return QObject::eventFilter(watched, event);
}

void ListMedia::updatePreview() {
    if (!m_preview || m_preview->isHidden())
        return;
    const QList<int> rows = m_list->selectedRows();
    if (rows.size() != 1) {
        m_preview->showNothing();
        return;
    }
    const Entry& e = m_list->model()->entry(rows.first());
    if (e.isDir) {
        m_preview->showEntry(e.name, {}, std::nullopt);
        return;
    }
    try {
        Database& db = m_session.db();
        m_preview->showEntry(e.name, mediastore::thumbnailOf(db, e.id),
                             mediastore::factsOf(db, e.id));
    } catch (const DbError&) {
        m_preview->showEntry(e.name, {}, std::nullopt);
    }
}

} // namespace vorlane
