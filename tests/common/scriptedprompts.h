// Prompts for tests: answers come from a script, in order, and every call is recorded.
#pragma once

#include "gui/common/prompts.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

struct PromptCall {
    enum Kind { Message, OpenFile, SaveFile, Folder, Exec } kind = Message;
    QString text;    // message text, or the dialog's objectName for Exec
    QString caption; // message caption, or the file dialog's caption / filter
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString extra; // default name of a save dialog, filter of a file dialog
    // Messages: the objectNames of the dialogs on screen when it came (a message must not
    // sit below a window that is still there).
    QStringList shownDialogs;
};

class ScriptedPrompts : public vorlane::Prompts {
public:
    using DialogScript = std::function<int(QDialog*)>;

    ScriptedPrompts() { vorlane::setPrompts(this); }
    ~ScriptedPrompts() override { vorlane::setPrompts(nullptr); }

    // Queue answers. Messages without a queued answer get their default (or Ok/No).
    void answer(QMessageBox::StandardButton b) { m_buttons << b; }
    void answerFile(const QString& path) { m_files << path; }
    void answerFolder(const QString& path, const QString& displayName = {}) {
        m_folders << vorlane::FolderChoice{path, displayName};
    }
    // A dialog script types into the dialog and returns its result; without one, exec()
    // rejects the dialog.
    void answerDialog(DialogScript script) { m_dialogs << std::move(script); }

    QList<PromptCall> calls;
    QList<PromptCall> messages() const;
    PromptCall lastMessage() const;
    void clear() { calls.clear(); }
    int pendingAnswers() const {
        return int(m_buttons.size() + m_files.size() + m_folders.size() + m_dialogs.size());
    }

    QMessageBox::StandardButton message(QWidget* parent, const QString& text,
                                        const QString& caption, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    QString openFile(QWidget* parent, const QString& caption, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& caption, const QString& defaultName,
                     const QString& filter) override;
    vorlane::FolderChoice chooseFolder(QWidget* parent, const QString& title,
                                       const QString& startDir) override;
    int exec(QDialog* dialog) override;

private:
    QList<QMessageBox::StandardButton> m_buttons;
    QStringList m_files;
    QList<vorlane::FolderChoice> m_folders;
    QList<DialogScript> m_dialogs;
};
