// The search window: created once beside the main window, hidden between uses, shown
// modally. While the catalog's index is current, results follow the keyword as it is typed
// (once the typing has paused) and 查找 answers from the index at once; otherwise the
// search runs as a job with its own connection to the open catalog, its hits listed as
// they arrive, and the window (and its stop button) stays live.
#pragma once

#include "core/interchange/catalogexport.h"
#include "core/search/searchengine.h"

#include "core/throttle.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vorlane {

class CatalogSession;
class IndexKeeper;
class SearchJob;
class SearchResultModel;

class SearchWindow : public QDialog {
    Q_OBJECT

public:
    // `index` keeps the open catalog's index; without one every search reads SQLite.
    SearchWindow(QWidget* parent, CatalogSession& session, IndexKeeper* index = nullptr);
    ~SearchWindow() override;

    SearchResultModel* results() const { return m_model; }
    bool isSearching() const { return m_job != nullptr; }

    // The pause in typing after which the results follow the keyword.
    static constexpr int LiveDelayMs = 150;

    // The bar's position for `examined` of `total` rows, 0 to 100.
    static int progressPosition(qint64 examined, qint64 total);

public slots:
    // Shows the window modally over the main window.
    void tbFindClick();
    // Starts a search with the keyword box's text; searchFinished() follows when it has
    // ended.
    void btnBeginFindClick();
    void btnStopFindClick();
    // Takes the main window to the selected hit.
    void btnLookClick();
    void btnExportClick();
    void btnExitClick();

    void reject() override;

signals:
    // A search started by btnBeginFindClick has ended, its hits listed.
    void searchFinished();
    // The main window is to show this entry (a folder or a file of a disc).
    void showEntryRequested(qint64 discId, qint64 folderId, qint64 fileId);
    // The hits are to be exported, the export dialog shown above `parent`.
    void exportRequested(std::vector<vorlane::ExportItem> items, QWidget* parent);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void ListView1Change();
    void startJob(const QString& catalogPath, const SearchOptions& options);
    void jobFinished();
    void setSearching(bool on);
    // The options the controls set, with `keyword`.
    SearchOptions options(const QString& keyword) const;
    // A keyword, or conditions to search by alone.
    bool searchable(const QString& keyword) const;
    // The keyword or a condition was edited: the results follow once the typing pauses.
    void edited();
    void pollLive();
    // Lists the index's hits for what the box holds now; false without a current index.
    bool liveSearch();
    void updateCount();

    CatalogSession& m_session;
    QCheckBox* m_ckExp = nullptr;
    QCheckBox* m_ckDir = nullptr;
    QCheckBox* m_ckFile = nullptr;
    QCheckBox* m_ckDaXiao = nullptr;
    QCheckBox* m_ckGlob = nullptr;
    QCheckBox* m_ckRegex = nullptr;
    QComboBox* m_cobFind = nullptr;
    QPushButton* m_btnBeginFind = nullptr;
    QPushButton* m_btnStopFind = nullptr;
    QPushButton* m_btnLook = nullptr;
    QPushButton* m_btnExport = nullptr;
    QPushButton* m_btnExit = nullptr;
    QProgressBar* m_progressBar1 = nullptr;
    QTableView* m_listView1 = nullptr;
    SearchResultModel* m_model = nullptr;
    QLabel* m_lblCount = nullptr;
    QGroupBox* m_more = nullptr; // 更多条件: the conditions count while it is checked
    QLineEdit* m_edMinSize = nullptr;
    QLineEdit* m_edMaxSize = nullptr;
    QComboBox* m_cobSizeUnit = nullptr;
    QCheckBox* m_ckAfter = nullptr;
    QDateEdit* m_deAfter = nullptr;
    QCheckBox* m_ckBefore = nullptr;
    QDateEdit* m_deBefore = nullptr;
    QLineEdit* m_edExt = nullptr;
    IndexKeeper* m_index = nullptr;
    // The debounce: a short poll asks the throttle whether the typing has paused long
    // enough, so that tests drive it with their own clock.
    QTimer* m_livePoll = nullptr;
    Throttle m_livePause{LiveDelayMs};
    SearchJob* m_job = nullptr; // while a search runs
};

} // namespace vorlane
