#include "gui/import/verifydialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

namespace {

QString sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// The algorithms compared by: one by its name, several each with its count.
QString algorithmsText(const VerifyResult& r) {
    QStringList parts;
    for (const auto& [name, files] : r.algorithms)
        parts << (r.algorithms.size() == 1 ? name
                                           : QStringLiteral("%1 %2 个").arg(name).arg(files));
    return parts.isEmpty()
               ? QString()
               : QStringLiteral("（") + parts.join(QStringLiteral("，")) + QStringLiteral("）");
}

} // namespace

VerifyDialog::VerifyDialog(const VerifyResult& result, const QString& discName, QWidget* parent)
    : QDialog(parent), m_result(result) {
    setObjectName(QStringLiteral("VerifyFrm"));
    setWindowTitle(QStringLiteral("校验光盘 - ") + discName);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(summaryText(result), this);
    summary->setObjectName(QStringLiteral("lbSummary"));
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary->setMinimumWidth(480);
    layout->addWidget(summary);
    auto* report = new QTreeWidget(this);
    report->setObjectName(QStringLiteral("tvVerifyReport"));
    report->setRootIsDecorated(false);
    report->setUniformRowHeights(true);
    report->setHeaderLabels(
        {QStringLiteral("问题"), QStringLiteral("文件"), QStringLiteral("说明")});
    report->setMinimumHeight(200);
    for (const VerifyProblem& p : result.problems) {
        QString detail = p.reason;
        if (p.fault == VerifyFault::SizeDiffers)
            detail =
                QStringLiteral("目录中 %1 字节，现在 %2 字节").arg(p.storedSize).arg(p.foundSize);
        auto* item = new QTreeWidgetItem(report, {faultText(p.fault), p.path, detail});
        item->setToolTip(1, p.path);
        item->setData(0, Qt::UserRole, p.entryId);
    }
    m_report = report;
    connect(report, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { choose(item); });
    report->installEventFilter(this);
    report->header()->resizeSections(QHeaderView::ResizeToContents);
    report->setVisible(!result.problems.empty());
    layout->addWidget(report, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
}

void VerifyDialog::choose(QTreeWidgetItem* item) {
    if (item)
        emit entryChosen(item->data(0, Qt::UserRole).toLongLong());
}

bool VerifyDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a row jumps to it rather than pressing 关闭.
    if (watched == m_report && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_report->currentItem()) {
            choose(m_report->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString VerifyDialog::faultText(VerifyFault fault) {
    switch (fault) {
    case VerifyFault::Missing:
        return QStringLiteral("文件不存在");
    case VerifyFault::Unreadable:
        return QStringLiteral("无法读取");
    case VerifyFault::NotAFile:
        return QStringLiteral("不是文件");
    case VerifyFault::SizeDiffers:
        return QStringLiteral("大小不同");
    case VerifyFault::HashDiffers:
        return QStringLiteral("内容不同");
    case VerifyFault::TimeDiffers:
        return QStringLiteral("时间不同");
    case VerifyFault::Corrupt:
        return QStringLiteral("可能损坏");
    case VerifyFault::Changed:
        return QStringLiteral("已修改");
    }
    return {};
}

QString VerifyDialog::summaryText(const VerifyResult& r) {
    switch (r.end) {
    case VerifyEnd::NoDisc:
        return QStringLiteral("光盘不存在。");
    case VerifyEnd::RootUnreadable:
        return QStringLiteral("无法读取光盘位置：") + r.root + QStringLiteral("（") + r.reason +
               QStringLiteral("）");
    case VerifyEnd::CatalogError:
        return QStringLiteral("读取数据出错：") + r.reason;
    case VerifyEnd::Done:
    case VerifyEnd::Cancelled:
        break;
    }
    QString text = QStringLiteral("已校验 %1 个文件（%2），位置：%3。")
                       .arg(r.files)
                       .arg(sizeText(r.bytes), r.root);
    if (r.sizeAndTimeOnly)
        text += QStringLiteral("\n此光盘导入时没有计算校验和，只按大小和时间校验。");
    else if (r.hashed < r.files)
        text += QStringLiteral("\n%1 个文件按校验和%2校验，其余按大小和时间。")
                    .arg(r.hashed)
                    .arg(algorithmsText(r));
    else
        text += QStringLiteral("\n按校验和%1校验。").arg(algorithmsText(r));
    if (r.skipped > 0)
        text += QStringLiteral("\n跳过 %1 个链接和压缩包成员。").arg(r.skipped);
    if (r.special > 0)
        text += QStringLiteral("\n跳过 %1 个特殊文件（管道、设备、套接字），它们没有可校验的内容。")
                    .arg(r.special);
    if (r.end == VerifyEnd::Cancelled)
        text += QStringLiteral("\n校验已取消，光盘没有读完。");
    const qint64 corrupt = r.count(VerifyFault::Corrupt), changed = r.count(VerifyFault::Changed);
    if (corrupt > 0 || changed > 0)
        text += QStringLiteral("\n可能损坏 %1 个（内容变了，大小和时间未变），已修改 %2 个。")
                    .arg(corrupt)
                    .arg(changed);
    text += r.problems.empty()
                ? QStringLiteral("\n全部文件一致。")
                : QStringLiteral("\n%1 个文件不一致或无法读取。").arg(r.problems.size());
    return text;
}

} // namespace vorlane
