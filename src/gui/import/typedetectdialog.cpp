#include "gui/import/typedetectdialog.h"

#include "core/import/typedetectjob.h"

namespace vorlane {

TypeDetectDialog::TypeDetectDialog(const QString& root, const QStringList& known, QWidget* parent)
    : WorkDialog(QStringLiteral("FileBakCheckFrm"), QStringLiteral("文件类型检测"), parent),
      m_detect(new TypeDetectJob({root, known}, this)) {
    connect(m_detect, &TypeDetectJob::progress, this, &TypeDetectDialog::setCurrent,
            Qt::QueuedConnection);
    watch(m_detect);
}

void TypeDetectDialog::workDone() {
    m_found = m_detect->found();
}

} // namespace vorlane
