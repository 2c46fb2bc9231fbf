// The one window every long job shows its progress in: the job's title, what is being read,
// the counts, the bytes and their rate, the time so far, an estimate when the total is
// known, and 取消. It starts the job when it is shown and closes as soon as the job has
// finished, so that whatever the caller shows next (the result) comes after it. A job that
// has finished can no longer be cancelled.
#pragma once

#include "core/job.h"

#include <QDialog>
#include <QElapsedTimer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vorlane {

class ProgressWindow : public QDialog {
    Q_OBJECT

public:
    ProgressWindow(Job* job, const QString& title, QWidget* parent);

    // Runs `job` under a modal window (through prompts().exec) and returns once it has
    // finished and the window has closed.
    static void run(Job& job, const QString& title, QWidget* parent);
    // Shows a window-modal window, starts `job` and returns at once. Once the job has
    // finished the window closes, `then` runs, and the window deletes itself.
    static ProgressWindow* start(Job* job, const QString& title, QWidget* parent,
                                 std::function<void()> then);

    // The texts shown, for the times and rates: seconds as m:ss or h:mm:ss.
    static QString durationText(qint64 seconds);
    static QString countsText(const JobProgress& p, qint64 elapsedMs);

public slots:
    void btnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape cancels; the window closes only when the work is over

private:
    void showProgress(const JobProgress& p);
    void refresh();
    void jobFinished();

    Job* m_job = nullptr;
    bool m_started = false;
    bool m_over = false;
    std::function<void()> m_then;
    JobProgress m_last;
    QElapsedTimer m_clock;
    QTimer* m_tick = nullptr;
    QLabel* m_lbCurrent = nullptr;
    QLabel* m_lbCounts = nullptr;
    QLabel* m_lbBytes = nullptr;
    QLabel* m_lbTime = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_btnCancel = nullptr;
};

} // namespace vorlane
