// Every modal interaction of the program goes through one Prompts object, so that tests
// can answer in order and record what was asked.
#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

namespace vorlane {

struct FolderChoice {
    QString path;        // full path; empty when cancelled
    QString displayName; // volume label for a mount point, else the last path component
};

class Prompts {
public:
    virtual ~Prompts() = default;

    virtual QMessageBox::StandardButton
    message(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
    // Filters in Qt form: "A (*.a);;B (*.b)". Empty result = cancelled.
    virtual QString openFile(QWidget* parent, const QString& caption, const QString& filter) = 0;
    // Asks before overwriting an existing file.
    virtual QString saveFile(QWidget* parent, const QString& caption, const QString& defaultName,
                             const QString& filter) = 0;
    virtual FolderChoice chooseFolder(QWidget* parent, const QString& title,
                                      const QString& startDir = {}) = 0;
    // Runs one of the program's own modal dialogs.
    virtual int exec(QDialog* dialog) = 0;

    // Shorthands for the common message shapes.
    void info(QWidget* parent, const QString& text, const QString& caption);
    void error(QWidget* parent, const QString& text, const QString& caption);
    bool askYesNo(QWidget* parent, const QString& text, const QString& caption);
};

// The program's prompts (real dialogs) unless a test installed its own.
Prompts& prompts();
// Installs `p` (not owned); nullptr restores the real ones.
void setPrompts(Prompts* p);

// Display name of a folder: the volume label when it is a mount point with a label, else
// its last path component ("/" for the root).
QString folderDisplayName(const QString& path);

} // namespace vorlane
