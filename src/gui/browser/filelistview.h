// The file list lvMain: one model shown in four styles (large icons, small icons, list,
// details), with one selection shared by all of them.
#pragma once

#include <QStackedWidget>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QMenu;
class QTreeView;

namespace vorlane {

class EntryModel;
class ThumbnailCache;
struct ListViewSettings;

class FileListView : public QStackedWidget {
    Q_OBJECT

public:
    enum Style { LargeIcon, SmallIcon, List, Report };

    explicit FileListView(QWidget* parent = nullptr);

    EntryModel* model() const { return m_model; }
    QItemSelectionModel* selectionModel() const { return m_selection; }
    QListView* iconView() const { return m_icons; }
    QTreeView* reportView() const { return m_report; }
    QAbstractItemView* activeView() const;

    Style style() const { return m_style; }
    void setStyle(Style style);

    // Rows of the selected items, ascending.
    QList<int> selectedRows() const;
    int selectedCount() const;
    int currentRow() const; // the focused row, -1 when none
    void selectRow(int row, bool clearOthers = true);
    void selectAll();
    void clearSelection();

    // A header click: sorts by the column, the other way round when it is already sorted
    // by it ascending, and shows the order on the header.
    void sortByColumn(int column);

    // The media facts' columns of the details style, shown or hidden as from the header's
    // pop-up menu.
    QList<int> shownMediaColumns() const;
    void setMediaColumnShown(int column, bool on);
    QMenu* headerMenu() const { return m_headerMenu; }

    // Large icons show these pictures in place of the type icons, bigger while the level
    // has any.
    void setThumbnails(ThumbnailCache* thumbnails);
    void setThumbnailsInLevel(bool any);

    // The style, the sort, the column widths and the media columns shown, to keep for the
    // next start; and back.
    ListViewSettings viewSettings() const;
    void restoreView(const ListViewSettings& view);

signals:
    // The selection or the current item changed (the list's change notification).
    void changed();
    void doubleClicked(int row);
    void headerClicked(int column);
    void contextMenuRequested(const QPoint& globalPos);
    void deletePressed();
    // A media column was shown or hidden.
    void mediaColumnsChanged();
    // Backspace: the way up.
    void backPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The name column takes the width the other columns leave, until the user sizes it.
    void fitNameColumn();
    void sectionResized(int section);

    EntryModel* m_model;
    QItemSelectionModel* m_selection;
    QListView* m_icons;
    QTreeView* m_report;
    QMenu* m_headerMenu;
    ThumbnailCache* m_thumbnails = nullptr;
    bool m_thumbnailsInLevel = false;
    Style m_style = Report;
    bool m_fitting = false;
    bool m_nameSized = false; // the user has sized the name column
};

} // namespace vorlane
