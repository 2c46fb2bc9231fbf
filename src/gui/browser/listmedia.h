// What the list shows of media for the level it holds: the facts for the media columns
// (read for the whole level at once, and only while such a column is shown), the
// thumbnails for large icons, and the preview pane following the selection.
#pragma once

#include <QObject>
#include <QPointer>

namespace vorlane {

class CatalogSession;
class FileListView;
class PreviewPane;
class ThumbnailCache;

class ListMedia : public QObject {
    Q_OBJECT

public:
    ListMedia(CatalogSession& session, FileListView* list, PreviewPane* preview, QObject* parent);

    // The list is about to take the entries of a level (folder 0: the disc's top level).
    // Throws DbError.
    void levelShown(qint64 discId, qint64 folderId);
    void clear();

    ThumbnailCache* thumbnails() const { return m_thumbnails; }

public slots:
    // The preview follows the list's single selected entry.
    void updatePreview();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadFacts();

    CatalogSession& m_session;
    FileListView* m_list;
    QPointer<PreviewPane> m_preview;
    ThumbnailCache* m_thumbnails;
    qint64 m_disc = 0;
    qint64 m_folder = 0;
    bool m_level = false;       // a level is shown
    bool m_factsLoaded = false; // its facts are in the model
};

} // namespace vorlane
