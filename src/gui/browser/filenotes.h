// The file notes editor: a small window on top of the main window that edits the note of
// one list entry, follows the list's selection and steps through the list.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vorlane {

class CatalogSession;
class FileListView;

class FileNotesEditor : public QDialog {
    Q_OBJECT

public:
    // Edits the notes of `list`'s rows.
    FileNotesEditor(QWidget* parent, CatalogSession& session, FileListView* list);

    // Shows the list's row `row`. Another entry than the one shown first settles the typed
    // note (see settle()); false when the user chose to stay on it.
    bool showEntry(int row);
    // The entry shown (its AutoId) and its list position; 0 and -1 before the first.
    qint64 entryId() const;
    int shownRow() const;
    // Writes the memo as the entry's note; false (with a message) when it could not.
    bool save();
    // Whether the memo may be left: an unsaved edit is asked about ("保存对文件注释的修改吗？")
    // and saved or dropped. False when the user cancels, or the save failed. Without
    // `canCancel` the question has no Cancel, for a caller that cannot stop.
    bool settle(bool canCancel = true);
    // The memo is editable and its save button enabled only with full access.
    void followAccess();

signals:
    void closed();

public slots:
    void txtExpChange();
    void btnSaveClick();
    void btnPreClick();
    void btnNextClick();
    void btnExitClick();

    // Escape ends the dialog through reject() without a close event.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void step(int delta);

    CatalogSession& m_session;
    FileListView* m_list;
    QLabel* m_name;
    QPlainTextEdit* m_text;
    QPushButton* m_pre;
    QPushButton* m_next;
    QPushButton* m_save;
    QPushButton* m_exit;
    bool m_loading = false;
    bool m_closed = false;
};

} // namespace vorlane
