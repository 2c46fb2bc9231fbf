#include "common/scriptedprompts.h"

#include <QApplication>

QList<PromptCall> ScriptedPrompts::messages() const {
    QList<PromptCall> out;
    for (const PromptCall& c : calls) {
        if (c.kind == PromptCall::Message)
            out << c;
    }
    return out;
}

PromptCall ScriptedPrompts::lastMessage() const {
    const QList<PromptCall> m = messages();
    return m.isEmpty() ? PromptCall{} : m.last();
}

QMessageBox::StandardButton ScriptedPrompts::message(QWidget*, const QString& text,
                                                     const QString& caption, QMessageBox::Icon icon,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton) {
    QStringList shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && qobject_cast<QDialog*>(top))
            shown << top->objectName();
    }
    calls << PromptCall{PromptCall::Message, text, caption, icon, buttons,
                        defaultButton,       {},   shown};
    if (!m_buttons.isEmpty())
        return m_buttons.takeFirst();
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    return buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Cancel;
}

QString ScriptedPrompts::openFile(QWidget*, const QString& caption, const QString& filter) {
    calls << PromptCall{PromptCall::OpenFile,  {},     caption, QMessageBox::NoIcon, {},
                        QMessageBox::NoButton, filter, {}};
    return m_files.isEmpty() ? QString() : m_files.takeFirst();
}

QString ScriptedPrompts::saveFile(QWidget*, const QString& caption, const QString& defaultName,
                                  const QString& filter) {
    calls << PromptCall{PromptCall::SaveFile,  defaultName, caption, QMessageBox::NoIcon, {},
                        QMessageBox::NoButton, filter,      {}};
    return m_files.isEmpty() ? QString() : m_files.takeFirst();
}

vorlane::FolderChoice ScriptedPrompts::chooseFolder(QWidget*, const QString& title,
                                                    const QString& startDir) {
    calls << PromptCall{PromptCall::Folder,    startDir, title, QMessageBox::NoIcon, {},
                        QMessageBox::NoButton, {},       {}};
    return m_folders.isEmpty() ? vorlane::FolderChoice{} : m_folders.takeFirst();
}

int ScriptedPrompts::exec(QDialog* dialog) {
    calls << PromptCall{PromptCall::Exec,
                        dialog->objectName(),
                        dialog->windowTitle(),
                        QMessageBox::NoIcon,
                        {},
                        QMessageBox::NoButton,
                        {},
                        {}};
    if (m_dialogs.isEmpty())
        return QDialog::Rejected;
    const DialogScript script = m_dialogs.takeFirst();
    return script(dialog);
}
