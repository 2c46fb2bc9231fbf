// The duplicate files window: a tool window beside the main window listing the groups of
// files kept more than once, the largest wasted space first. A member row takes the main
// window to its file, as a search hit does. The search runs as a job on a connection of
// its own under the progress window, whose 取消 ends it; the list shows only what a search
// that ran to its end found.
#pragma once

#include "core/store/duplicatestore.h"

#include "gui/dups/listparts.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vorlane {

class CatalogSession;
class DuplicatesJob;

class DuplicateWindow : public QDialog {
    Q_OBJECT

public:
    DuplicateWindow(QWidget* parent, CatalogSession& session);
    ~DuplicateWindow() override;

    bool isSearching() const { return m_job != nullptr; }
    QTreeWidget* tree() const { return m_tree; }

    // Item data: the file's ids on a member row (none on a group row).
    enum Role { DiscRole = Qt::UserRole + 1, FolderRole, FileRole };

public slots:
    // Shows the window (and starts a search when it holds none yet).
    void showWindow();
    // Looks for duplicates of the size the field asks for; searchFinished() follows.
    void btnFindClick();
    // Takes the main window to the current member's file.
    void lookAt(QTreeWidgetItem* item);

    void reject() override;

signals:
    void searchFinished();
    // The main window is to show this file.
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 fileId);

private:
    // The least size the field and its unit give; 1 byte when the field is empty or bad.
    qint64 minSize() const;
    void list(const std::vector<duplicatestore::Group>& groups);
    void jobFinished();
    void clear();

    CatalogSession& m_session;
    listparts::MinSizeField m_minSize;
    QPushButton* m_btnFind = nullptr;
    QPushButton* m_btnClose = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_lblCount = nullptr;
    DuplicatesJob* m_job = nullptr;
    bool m_searched = false;
};

} // namespace vorlane
