// The search window: created once beside the main window, hidden between uses, shown
// modally. The search itself runs on a worker thread with its own connection to the open
// catalog, so the window (and its stop button) stays live.
#pragma once

#include "core/search/searchengine.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vorlane {

class CatalogSession;
class MainWindow;
class SearchResultModel;

class SearchWindow : public QDialog {
    Q_OBJECT

public:
    SearchWindow(MainWindow* window, CatalogSession& session);
    ~SearchWindow() override;

    SearchResultModel* results() const { return m_model; }
    bool isSearching() const { return m_job != nullptr; }

    // The bar's position for `examined` of `total` rows, 0 to 100.
    static int progressPosition(qint64 examined, qint64 total);

public slots:
    // Shows the window modally over the main window.
    void tbFindClick();
    // Runs a search with the keyword box's text; returns when the search has ended.
    void btnBeginFindClick();
    void btnStopFindClick();
    // Takes the main window to the selected hit.
    void btnLookClick();
    void btnExitClick();

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Job;

    void FormCreate();
    void ListView1Change();
    void runJob(const QString& catalogPath, const SearchOptions& options);
    void collect(Job& job);
    void setSearching(bool on);

    MainWindow* w; // widgets and actions
    CatalogSession& m_session;
    QCheckBox* ckExp = nullptr;
    QCheckBox* ckDir = nullptr;
    QCheckBox* ckFile = nullptr;
    QCheckBox* ckDaXiao = nullptr;
    QComboBox* cobFind = nullptr;
    QPushButton* btnBeginFind = nullptr;
    QPushButton* btnStopFind = nullptr;
    QPushButton* btnLook = nullptr;
    QPushButton* btnExit = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QTableView* ListView1 = nullptr;
    SearchResultModel* m_model = nullptr;
    std::shared_ptr<Job> m_job;
};

} // namespace vorlane
