// The verify report, shown once the disc has been read back under the progress window: a
// summary, then each file that is missing, unreadable or changed.
#pragma once

#include "core/import/verifyjob.h"

#include <QDialog>

class QTreeWidget;
class QTreeWidgetItem;

namespace vorlane {

class VerifyDialog : public QDialog {
    Q_OBJECT

public:
    // The report of reading disc `discName` back.
    VerifyDialog(const VerifyResult& result, const QString& discName, QWidget* parent = nullptr);

    const VerifyResult& result() const { return m_result; }

signals:
    // A row was double-clicked or Enter was pressed on it: its entry is to be shown.
    void entryChosen(qint64 entryId);

public:
    // A problem in the report's words.
    static QString faultText(VerifyFault fault);
    // The summary above the report.
    static QString summaryText(const VerifyResult& r);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(QTreeWidgetItem* item);

    const VerifyResult m_result;
    QTreeWidget* m_report = nullptr;
};

} // namespace vorlane
