// The verify report, shown once the disc has been read back under the progress window: a
// summary, then each file that is missing, unreadable or changed.
#pragma once

#include "core/import/verifyjob.h"

#include <QDialog>

namespace vorlane {

class VerifyDialog : public QDialog {
    Q_OBJECT

public:
    // The report of reading disc `discName` back.
    VerifyDialog(const VerifyResult& result, const QString& discName, QWidget* parent = nullptr);

    const VerifyResult& result() const { return m_result; }

    // A problem in the report's words.
    static QString faultText(VerifyFault fault);
    // The summary above the report.
    static QString summaryText(const VerifyResult& r);

private:
    const VerifyResult m_result;
};

} // namespace vorlane
