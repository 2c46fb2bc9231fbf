// The category tree's "重新扫描" on a disc: the disc's folder is walked again in a progress
// window, the differences are shown to read, and only once the user applies them are they
// written; the disc is then shown anew.
#pragma once

#include "core/import/rescan.h"

#include "gui/common/views.h"
#include <QDialog>

#include <QObject>
#include <memory>
#include <vector>

class QPlainTextEdit;

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

signals:
    // A change was double-clicked or Enter was pressed on it: its entry (for an added one,
    // the folder it goes into) is to be shown. `path` is below the disc's root.
    void changeChosen(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseLine(int block);

    QPlainTextEdit* m_list = nullptr;
    std::vector<QString> m_blockPaths; // the change's path for each line of the list
};

class RescanHandler : public QObject {
    Q_OBJECT

public:
    RescanHandler(CatalogSession& session, Commands& commands, const Views& views);

public slots:
    void MRescanClick();

signals:
    // The report asks for an entry: the disc, the folder holding it (0: the top level) and
    // the entry (0: the folder itself).
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 entryId);

private:
    // Runs `job` under the progress window; on the window's connection when the file cannot
    // be opened a second time.
    void run(RescanJob& job);
    // Shows the entry at `path` below disc `discId`'s root, or the nearest folder above it
    // that the catalog holds.
    void showPath(qint64 discId, const QString& path);

    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
};

} // namespace vorlane
