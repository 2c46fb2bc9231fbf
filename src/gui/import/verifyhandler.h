// The disc pop-up menu's verify command (MVerify): reads the selected disc back in the
// verify window. Reads only, so it works on a catalog opened read-only too.
#pragma once

#include "gui/common/views.h"

#include <QObject>

namespace vorlane {

class CatalogSession;
class Commands;

class VerifyHandler : public QObject {
    Q_OBJECT

public:
    VerifyHandler(CatalogSession& session, Commands& commands, const Views& views);

public slots:
    void MVerifyClick();

signals:
    // A row of the report asks for its entry: the disc, the folder holding it (0: the top
    // level) and the entry.
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 entryId);

private:
    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
};

} // namespace vorlane
