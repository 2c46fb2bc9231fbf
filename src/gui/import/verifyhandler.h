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

private:
    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
};

} // namespace vorlane
