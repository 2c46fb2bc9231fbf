#include "gui/import/typedetectdialog.h"

#include "core/import/typedetect.h"

namespace vorlane {

TypeDetectDialog::TypeDetectDialog(const QString& root, const QStringList& known, QWidget* parent)
    : WorkDialog(QStringLiteral("FileBakCheckFrm"), QStringLiteral("文件类型检测"), parent),
      m_root(root), m_known(known) {}

void TypeDetectDialog::work() {
    TypeDetectHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const QString& path) { setCurrent(path); };
    m_found = detectTypes(m_root, m_known, hooks);
}

} // namespace vorlane
