// The search window: created once beside the main window, hidden between uses, shown
// modally. The search itself runs as a job with its own connection to the open catalog;
// its hits are listed as they arrive, and the window (and its stop button) stays live.
#pragma once

#include "core/search/searchengine.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vorlane {

class CatalogSession;
class MainWindow;
class SearchJob;
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
    // Starts a search with the keyword box's text; searchFinished() follows when it has
    // ended.
    void btnBeginFindClick();
    void btnStopFindClick();
    // Takes the main window to the selected hit.
    void btnLookClick();
    void btnExitClick();

    void reject() override;

signals:
    // A search started by btnBeginFindClick has ended, its hits listed.
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void ListView1Change();
    void startJob(const QString& catalogPath, const SearchOptions& options);
    void jobFinished();
    void setSearching(bool on);

    MainWindow* m_w; // widgets and actions
    CatalogSession& m_session;
    QCheckBox* m_ckExp = nullptr;
    QCheckBox* m_ckDir = nullptr;
    QCheckBox* m_ckFile = nullptr;
    QCheckBox* m_ckDaXiao = nullptr;
    QComboBox* m_cobFind = nullptr;
    QPushButton* m_btnBeginFind = nullptr;
    QPushButton* m_btnStopFind = nullptr;
    QPushButton* m_btnLook = nullptr;
    QPushButton* m_btnExit = nullptr;
    QProgressBar* m_progressBar1 = nullptr;
    QTableView* m_listView1 = nullptr;
    SearchResultModel* m_model = nullptr;
    SearchJob* m_job = nullptr; // while a search runs
};

} // namespace vorlane
