#include "gui/import/verifydialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

namespace {

QString sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// The bar counts in steps of a thousandth: sizes beyond what an int holds still fit.
constexpr int kSteps = 1000;

} // namespace

VerifyDialog::VerifyDialog(const QString& catalog, qint64 discId, const QString& discName,
                           QWidget* parent)
    : QDialog(parent), m_job(new VerifyJob(catalog, VerifyParams{discId, {}}, this)) {
    setObjectName(QStringLiteral("VerifyFrm"));
    setWindowTitle(QStringLiteral("校验光盘 - ") + discName);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_lbCurrent = new QLabel(this);
    m_lbCurrent->setObjectName(QStringLiteral("lbCurrent"));
    m_lbCurrent->setTextFormat(Qt::PlainText);
    m_lbCurrent->setMinimumWidth(480);
    layout->addWidget(m_lbCurrent);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pbVerify"));
    m_progress->setRange(0, kSteps);
    m_progress->setValue(0);
    layout->addWidget(m_progress);
    m_lbBytes = new QLabel(this);
    m_lbBytes->setObjectName(QStringLiteral("lbBytes"));
    layout->addWidget(m_lbBytes);
    m_lbSummary = new QLabel(this);
    m_lbSummary->setObjectName(QStringLiteral("lbSummary"));
    m_lbSummary->setTextFormat(Qt::PlainText);
    m_lbSummary->setWordWrap(true);
    m_lbSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_lbSummary);
    m_report = new QTreeWidget(this);
    m_report->setObjectName(QStringLiteral("tvVerifyReport"));
    m_report->setRootIsDecorated(false);
    m_report->setUniformRowHeights(true);
    m_report->setHeaderLabels(
        {QStringLiteral("问题"), QStringLiteral("文件"), QStringLiteral("说明")});
    m_report->setMinimumHeight(200);
    m_report->setVisible(false);
    layout->addWidget(m_report, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    m_btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(m_btnCancel, &QPushButton::clicked, this, &VerifyDialog::btnCancelClick);
    row->addWidget(m_btnCancel);
    layout->addLayout(row);

    connect(m_job, &VerifyJob::progress, this, &VerifyDialog::showProgress, Qt::QueuedConnection);
    connect(m_job, &Job::finished, this, &VerifyDialog::jobFinished, Qt::QueuedConnection);
}

VerifyDialog::~VerifyDialog() {
    m_job->cancel();
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
        text +=
            QStringLiteral("\n%1 个文件按校验和（XXH3-128）校验，其余按大小和时间。").arg(r.hashed);
    else
        text += QStringLiteral("\n按校验和（XXH3-128）校验。");
    if (r.skipped > 0)
        text += QStringLiteral("\n跳过 %1 个链接和压缩包成员。").arg(r.skipped);
    if (r.special > 0)
        text += QStringLiteral("\n跳过 %1 个特殊文件（管道、设备、套接字），它们没有可校验的内容。")
                    .arg(r.special);
    if (r.end == VerifyEnd::Cancelled)
        text += QStringLiteral("\n校验已取消，光盘没有读完。");
    text += r.problems.empty()
                ? QStringLiteral("\n全部文件一致。")
                : QStringLiteral("\n%1 个文件不一致或无法读取。").arg(r.problems.size());
    return text;
}

void VerifyDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    m_job->start();
}

void VerifyDialog::btnCancelClick() {
    if (m_done)
        accept();
    else
        m_job->cancel();
}

void VerifyDialog::reject() {
    if (m_started && !m_done)
        m_job->cancel();
    else
        QDialog::reject();
}

void VerifyDialog::showProgress(const VerifyProgress& p) {
    if (m_done)
        return;
    m_lbCurrent->setText(p.path);
    m_progress->setValue(p.bytesTotal > 0
                             ? int(std::min<qint64>(kSteps, p.bytesDone * kSteps / p.bytesTotal))
                         : p.filesTotal > 0 ? int(p.filesDone * kSteps / p.filesTotal)
                                            : 0);
    m_lbBytes->setText(
        QStringLiteral("已读取 %1 / %2，%3/s")
            .arg(sizeText(p.bytesDone), sizeText(p.bytesTotal), sizeText(p.bytesPerSecond)));
}

void VerifyDialog::jobFinished() {
    m_done = true;
    const VerifyResult& r = m_job->result();
    m_lbCurrent->clear();
    if (r.end == VerifyEnd::Done)
        m_progress->setValue(kSteps);
    m_lbSummary->setText(summaryText(r));
    for (const VerifyProblem& p : r.problems) {
        QString detail = p.reason;
        if (p.fault == VerifyFault::SizeDiffers)
            detail =
                QStringLiteral("目录中 %1 字节，现在 %2 字节").arg(p.storedSize).arg(p.foundSize);
        auto* item = new QTreeWidgetItem(m_report, {faultText(p.fault), p.path, detail});
        item->setToolTip(1, p.path);
    }
    m_report->header()->resizeSections(QHeaderView::ResizeToContents);
    m_report->setVisible(!r.problems.empty());
    m_btnCancel->setText(QStringLiteral("关闭(&C)"));
}

} // namespace vorlane
