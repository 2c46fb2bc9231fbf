// The category tree's "重新扫描" on a disc: the disc's folder is walked again in a progress
// window, the differences are shown to read, and only once the user applies them are they
// written; the disc is then shown anew.
#pragma once

#include "core/import/rescan.h"

#include "gui/common/views.h"
#include <QDialog>

#include <QObject>
#include <memory>

namespace vorlane {

class CatalogSession;
class Commands;

// TRescanReportFrm: the counts and every change, with 应用 and 取消.
class RescanReportDialog : public QDialog {
    Q_OBJECT

public:
    RescanReportDialog(const RescanReport& report, QWidget* parent);
    // One line per change as the list shows it.
    static QString changeLine(const RescanChange& change);
};

class RescanHandler : public QObject {
    Q_OBJECT

public:
    RescanHandler(CatalogSession& session, Commands& commands, const Views& views);

public slots:
    void MRescanClick();

private:
    // Runs `job` under the progress window; on the window's connection when the file cannot
    // be opened a second time.
    void run(RescanJob& job);

    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
};

} // namespace vorlane
