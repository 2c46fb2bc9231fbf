// The small modal windows that wait for long import work: the scan's progress window and
// (through the same base) the file-type detection window. The work runs as a job on a
// thread pool; the window shows the path it reports, its cancel button cancels the job,
// and the window closes when the job has finished.
#pragma once

#include "core/import/scanner.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

class QLabel;
class QPushButton;

namespace vorlane {

class Database;
class Job;
class ScanJob;

class WorkDialog : public QDialog {
    Q_OBJECT

public slots:
    void btnCacelClick();

protected:
    WorkDialog(const QString& objectName, const QString& caption, QWidget* parent);
    // The job the window waits for, made by the subclass's constructor; started when the
    // window is first shown.
    void watch(Job* job);
    // The entry being read.
    void setCurrent(const QString& path);
    // Runs once the job has finished, before the window closes.
    virtual void workDone() = 0;

    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape cancels; the window closes only when the work is over

private:
    void jobFinished();

    QLabel* m_lbCurrent = nullptr;
    QPushButton* m_btnCacel = nullptr;
    Job* m_job = nullptr;
    bool m_started = false;
};

// TInputDataProgressFrm: scans `params` into the catalog at `catalogPath` with a
// connection of its own, then shows the summary. When the file cannot be opened a second
// time, the scan runs on `fallback` (the main window's connection) on the GUI thread.
class ScanProgressDialog : public WorkDialog {
    Q_OBJECT

public:
    ScanProgressDialog(Database& fallback, const ScanParams& params, QWidget* parent);
    ScanResult result() const { return m_result; }
    // The summary shown when the scan is over: the counts, then what went wrong, if anything.
    static QString summaryText(const ScanResult& r);

protected:
    void workDone() override;

private:
    // The folders and files met so far, and the pace since the window opened.
    void showCounts(int folders, int files);

    Database& m_fallback;
    QLabel* m_lbCounts = nullptr;
    QElapsedTimer m_clock;
    ScanParams m_params;
    ScanJob* m_scan = nullptr;
    ScanResult m_result;
};

} // namespace vorlane
