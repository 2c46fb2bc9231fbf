// The disc notes panel, and the disc row being shown (its note and source path).
#pragma once

#include <QObject>
#include <QString>

namespace vorlane {

class MainWindow;

class NotesPanel : public QObject {
    Q_OBJECT

public:
    explicit NotesPanel(MainWindow* window);

    // Reads the disc's row and shows its note; the disc query is then open.
    void showDisc(qint64 discId, const QString& name);
    // Closes the disc query and empties the panel.
    void closeDisc();
    bool isDiscOpen() const { return m_discId != 0; }
    qint64 discId() const { return m_discId; }

private:
    MainWindow* w;
    qint64 m_discId = 0;
};

} // namespace vorlane
