#include "gui/import/rescanoptions.h"

#include "gui/import/scanoptionsbox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

RescanOptionsDialog::RescanOptionsDialog(const ScanParams& stored, QWidget* parent)
    : QDialog(parent), m_stored(stored) {
    setObjectName(QStringLiteral("RescanOptionsFrm"));
    setWindowTitle(QStringLiteral("重新扫描"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* source = new QLabel(this);
    source->setObjectName(QStringLiteral("lbSource"));
    source->setTextFormat(Qt::PlainText);
    source->setWordWrap(true);
    source->setText(
        QStringLiteral("重新读取 %1，使用以下选项。修改的选项将保存，供以后的重新扫描使用。")
            .arg(stored.root.isEmpty() ? QStringLiteral("/") : stored.root));
    layout->addWidget(source);
    m_box = new ScanOptionsBox(this);
    m_box->setOptions(stored);
    layout->addWidget(m_box);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* start = buttons->addButton(QStringLiteral("开始"), QDialogButtonBox::AcceptRole);
    start->setObjectName(QStringLiteral("btnStart"));
    start->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ScanParams RescanOptionsDialog::options() const {
    ScanParams out = m_stored;
    m_box->takeOptions(out);
    return out;
}

} // namespace vorlane
