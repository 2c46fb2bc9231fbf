#include "browser/notes.h"

#include "app/mainwindow.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace vorlane {

NotesPanel::NotesPanel(MainWindow* window) : QObject(window), w(window) {
    setObjectName(QStringLiteral("NotesPanel"));
}

void NotesPanel::showDisc(qint64 discId, const QString& name) {
    m_discId = discId;
    w->lbCDName()->setText(name);
}

void NotesPanel::closeDisc() {
    m_discId = 0;
    w->txtCDExp()->clear();
}

} // namespace vorlane
