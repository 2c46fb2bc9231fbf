#include "gui/common/prompts.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStorageInfo>

namespace vorlane {

void Prompts::info(QWidget* parent, const QString& text, const QString& caption) {
    message(parent, text, caption, QMessageBox::Information);
}

void Prompts::error(QWidget* parent, const QString& text, const QString& caption) {
    message(parent, text, caption, QMessageBox::Critical);
}

bool Prompts::askYesNo(QWidget* parent, const QString& text, const QString& caption) {
    return message(parent, text, caption, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::NoButton) == QMessageBox::Yes;
}

namespace {

class QtPrompts final : public Prompts {
public:
    QMessageBox::StandardButton message(QWidget* parent, const QString& text,
                                        const QString& caption, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override {
        QMessageBox box(icon, caption, text, buttons, parent);
        if (defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(defaultButton);
        return QMessageBox::StandardButton(box.exec());
    }

    QString openFile(QWidget* parent, const QString& caption, const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, m_lastDir, filter);
    }

    QString saveFile(QWidget* parent, const QString& caption, const QString& defaultName,
                     const QString& filter) override {
        const QString start =
            m_lastDir.isEmpty() ? defaultName : QDir(m_lastDir).filePath(defaultName);
        const QString name = QFileDialog::getSaveFileName(parent, caption, start, filter);
        if (!name.isEmpty())
            m_lastDir = QFileInfo(name).absolutePath();
        return name;
    }

    FolderChoice chooseFolder(QWidget* parent, const QString& title,
                              const QString& startDir) override {
        const QString dir = QFileDialog::getExistingDirectory(
            parent, title, startDir.isEmpty() ? m_lastFolder : startDir);
        if (dir.isEmpty())
            return {};
        m_lastFolder = dir;
        return {dir, folderDisplayName(dir)};
    }

    int exec(QDialog* dialog) override { return dialog->exec(); }

private:
    QString m_lastDir;
    QString m_lastFolder;
};

QtPrompts& qtPrompts() {
    static QtPrompts p;
    return p;
}

Prompts* g_prompts = nullptr;

} // namespace

Prompts& prompts() {
    return g_prompts ? *g_prompts : qtPrompts();
}

void setPrompts(Prompts* p) {
    g_prompts = p;
}

QString folderDisplayName(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QStorageInfo storage(clean);
    if (storage.isValid() && QDir::cleanPath(storage.rootPath()) == clean &&
        !storage.name().isEmpty())
        return storage.name();
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

} // namespace vorlane
