// The small modal windows that run long import work on a worker thread: the scan's
// progress window and (through the same base) the file-type detection window. The window
// stays live while the work runs; its cancel button only sets a flag the work polls.
#pragma once

#include "core/import/scanner.h"

#include <QDialog>
#include <QMutex>
#include <QString>
#include <atomic>

class QLabel;
class QPushButton;
class QThread;
class QTimer;

namespace vorlane {

class Database;

class WorkDialog : public QDialog {
    Q_OBJECT

public:
    ~WorkDialog() override;
    bool isFinished() const { return m_finishedMark; }

public slots:
    void btnCacelClick();

protected:
    WorkDialog(const QString& objectName, const QString& caption, QWidget* parent);
    // Runs on the worker thread; must poll cancelFlag() and may call setCurrent().
    virtual void work() = 0;
    // Runs on the GUI thread once the work has ended; returns when the window may close.
    virtual void workDone() = 0;

    const std::atomic<bool>& cancelFlag() const { return m_cancel; }
    // Thread-safe: the text shown in lbCurrent at the next timer tick.
    void setCurrent(const QString& path);

    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape cancels; the window closes only when the work is over

private:
    void Timer1Timer();

    QLabel* m_lbCurrent = nullptr;
    QPushButton* m_btnCacel = nullptr;
    QTimer* m_timer = nullptr;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_workEnded{false};
    bool m_started = false;
    bool m_finishedMark = false;
    QMutex m_mutex;
    QString m_current;
    QString m_shown;
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
    void work() override;
    void workDone() override;

private:
    Database& m_fallback;
    ScanParams m_params;
    QString m_catalogPath;
    ScanResult m_result;
    bool m_needFallback = false;
};

} // namespace vorlane
