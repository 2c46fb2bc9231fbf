// The disc notes panel, and the disc row being shown (its note and source path).
#pragma once

#include "core/store/catalogstore.h"
#include "core/store/copiesstore.h"
#include "gui/common/views.h"

#include <QHash>
#include <QObject>
#include <QString>

namespace vorlane {

class CatalogSession;
class SoleCopiesJob;

class NotesPanel : public QObject {
    Q_OBJECT

public:
    NotesPanel(CatalogSession& session, const Views& views);
    ~NotesPanel() override;

    // Reads the disc's row and shows its note; the disc query is then open. `caption` is
    // the text of the disc's tree node.
    void showDisc(qint64 discId, const QString& caption);
    // Closes the disc query and empties the panel.
    void closeDisc();
    bool isDiscOpen() const { return m_open; }
    qint64 discId() const { return m_open ? m_row.id : 0; }
    QString discIdText() const { return m_open ? QString::number(m_row.id) : QString(); }
    QString sourcePath() const { return m_row.sourcePath; }
    const DiscRow& row() const { return m_row; }
    // The memo differs from the stored note.
    bool isNoteEdited() const;
    // Before the shown disc's note goes away (another disc shown, the catalog closed):
    // asks whether to store an unsaved edit. Yes stores it, No drops it; false when the
    // user cancels or the note could not be stored, and the disc must stay.
    bool settleNote();

    // Points the shown disc at a new location, stored at once. The memo's text goes with
    // it, as the whole row is written. Throws DbError when the row cannot be stored.
    void storeSourcePath(const QString& path);

public slots:
    // The header follows a rename of the shown disc.
    void discRenamed(qint64 discId, const QString& name);
    void txtCDExpChange();
    void btnExpSaveClick();
    void btnInExpClick();

private:
    void setMemo(const QString& text);
    // The line above the note: the shown disc's import facts; empty without a disc.
    void showFacts();

    // What each disc alone holds, counted for the whole catalog once after each change.
    void countSoleCopies();

    CatalogSession& m_session;
    const Views m_views;
    DiscRow m_row;
    bool m_open = false;
    bool m_loading = false;
    QHash<qint64, copiesstore::SoleCopies> m_sole;
    bool m_soleKnown = false;
    SoleCopiesJob* m_soleJob = nullptr;
};

} // namespace vorlane
