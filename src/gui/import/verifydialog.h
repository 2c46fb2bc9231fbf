// The verify window: reads a disc back on a job of its own, showing the bytes read, the
// speed and the file at hand, with a cancel button; when the work is over it lists each
// file that is missing, unreadable or changed, under a summary.
#pragma once

#include "core/import/verifyjob.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace vorlane {

class VerifyDialog : public QDialog {
    Q_OBJECT

public:
    // Verifies disc `discId` (shown as `discName`) of the catalog file `catalog`.
    VerifyDialog(const QString& catalog, qint64 discId, const QString& discName,
                 QWidget* parent = nullptr);
    ~VerifyDialog() override;

    // True once the work is over and the report is shown.
    bool done() const { return m_done; }
    const VerifyResult& result() const { return m_job->result(); }

    // A problem in the report's words.
    static QString faultText(VerifyFault fault);
    // The summary above the report.
    static QString summaryText(const VerifyResult& r);

public slots:
    void btnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape cancels while the work runs, closes afterwards

private:
    void showProgress(const VerifyProgress& p);
    void jobFinished();

    VerifyJob* m_job = nullptr;
    bool m_started = false;
    bool m_done = false;
    QLabel* m_lbCurrent = nullptr;
    QLabel* m_lbBytes = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_lbSummary = nullptr;
    QTreeWidget* m_report = nullptr;
    QPushButton* m_btnCancel = nullptr;
};

} // namespace vorlane
