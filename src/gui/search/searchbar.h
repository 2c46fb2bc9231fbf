// The search bar of the main window: a query typed into the tool bar searches the whole
// catalog once the typing pauses, on the thread pool, and its hits take the file list's
// place until the bar is cleared (Escape) or a hit is jumped to (Enter, double click).
// The listing under the hits is left as it was, so clearing the bar shows it unchanged.
#pragma once

#include "core/search/query.h"
#include "core/throttle.h"
#include "gui/common/views.h"

#include <QObject>

class QTimer;

namespace vorlane {

class CatalogSession;
class Commands;
class IndexKeeper;
class SearchResultModel;
class BarQueryJob;

class SearchBar : public QObject {
    Q_OBJECT

public:
    // `index` keeps the open catalog's index, which every query reads.
    SearchBar(CatalogSession& session, Commands& commands, const Views& views, IndexKeeper& index,
              QObject* parent = nullptr);
    ~SearchBar() override;

    SearchResultModel* hits() const { return m_model; }
    // The hits are shown in the file list's place.
    bool isShowingHits() const;
    // A query is waiting for its pause, its index or its answer.
    bool isBusy() const;

    // The pause in typing after which the query runs.
    static constexpr int LiveDelayMs = 150;

public slots:
    // Ctrl+E: into the bar, its text selected.
    void MSearchBarClick();
    // Jumps to the chosen hit (the first when none is chosen); with a query still under
    // way, to the first of its hits once they are in.
    void jumpToHit();
    // Empties the bar: the listing comes back as it was.
    void clear();
    void setSizesInKb(bool on);

signals:
    // The main window is to show this entry with the hit selected.
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 fileId);
    // The file list is shown again; its status and the commands on its selection are to
    // be told anew.
    void listingRestored();
    // The hits of a query have been listed.
    void hitsListed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edited();
    void pollPause();
    // Parses the bar's text and starts its query, or says why it cannot run.
    void runQuery();
    void queryFinished(BarQueryJob* job);
    void showHits(bool on);
    void setError(const QString& message);
    void setStatus(const QString& text);
    void leave();
    void cancelQuery();

    CatalogSession& m_session;
    Commands& m_commands;
    Views m_views;
    IndexKeeper& m_index;
    SearchResultModel* m_model = nullptr;
    // The debounce: a short poll asks the throttle whether the typing has paused long
    // enough, so that tests drive it with their own clock.
    QTimer* m_pausePoll = nullptr;
    Throttle m_pause{LiveDelayMs};
    BarQueryJob* m_job = nullptr; // the newest query while it runs
    bool m_waitingForIndex = false;
    bool m_jumpWhenListed = false;
    bool m_statusTold = false; // the list's status panel speaks for the bar
};

} // namespace vorlane
