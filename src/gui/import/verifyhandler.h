// The disc pop-up menu's verify command (MVerify): reads the selected disc back in the
// verify window. Reads only, so it works on a catalog opened read-only too.
#pragma once

#include <QObject>

namespace vorlane {

class CatalogSession;
class MainWindow;

class VerifyHandler : public QObject {
    Q_OBJECT

public:
    VerifyHandler(MainWindow* window, CatalogSession& session);

public slots:
    void MVerifyClick();

private:
    MainWindow* w;
    CatalogSession& m_session;
};

} // namespace vorlane
