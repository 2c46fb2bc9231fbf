// The copies window: a tool window beside the main window listing the files held on at most
// so many discs (one at first), the largest first: what a failing disc would take with it.
// A row takes the main window to its file. The count runs as a job on a connection of its
// own under the progress window, whose 取消 ends it.
#pragma once

#include "core/store/copiesstore.h"

#include "gui/dups/listparts.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace vorlane {

class CatalogSession;
class CopiesJob;

class CopiesWindow : public QDialog {
    Q_OBJECT

public:
    CopiesWindow(QWidget* parent, CatalogSession& session);
    ~CopiesWindow() override;

    bool isSearching() const { return m_job != nullptr; }
    QTreeWidget* tree() const { return m_tree; }

    enum Role { DiscRole = Qt::UserRole + 1, FolderRole, FileRole };

public slots:
    // Shows the window (and counts when it holds nothing yet).
    void showWindow();
    // Counts with the limits the fields give; searchFinished() follows.
    void btnFindClick();
    // Takes the main window to the row's file.
    void lookAt(QTreeWidgetItem* item);

    void reject() override;

signals:
    void searchFinished();
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 fileId);

private:
    qint64 minSize() const;
    void list(const std::vector<copiesstore::Copy>& copies);
    void jobFinished();
    void clear();

    CatalogSession& m_session;
    QSpinBox* m_sbMaxDiscs = nullptr;
    listparts::MinSizeField m_minSize;
    QPushButton* m_btnFind = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_lblCount = nullptr;
    CopiesJob* m_job = nullptr;
    bool m_searched = false;
};

} // namespace vorlane
