// The file notes editor: a small window on top of the main window that edits the note of
// one list entry, follows the list's selection and steps through the list.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vorlane {

class MainWindow;

class FileNotesEditor : public QDialog {
    Q_OBJECT

public:
    explicit FileNotesEditor(MainWindow* window);

    // Shows the list's row `row`; typed text not saved is dropped.
    void showEntry(int row);
    // The entry shown (its AutoId) and its list position; 0 and -1 before the first.
    qint64 entryId() const;
    int shownRow() const;
    // Writes the memo as the entry's note; false (with a message) when it could not.
    bool save();

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

    MainWindow* w;
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
