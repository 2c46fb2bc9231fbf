#include "gui/import/scanprogress.h"

#include "core/import/scanjob.h"
#include "core/store/database.h"
#include "core/throttle.h"
#include "gui/app/prompts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

WorkDialog::WorkDialog(const QString& objectName, const QString& caption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setModal(true);
    setCursor(Qt::WaitCursor);
    auto* layout = new QVBoxLayout(this);
    auto* animate = new QProgressBar(this); // a busy bar stands for the folder search
    animate->setObjectName(QStringLiteral("Animate"));
    animate->setRange(0, 0);
    animate->setTextVisible(false);
    layout->addWidget(animate);
    auto* title = new QLabel(QStringLiteral("正在读取文件/文件夹："), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    m_lbCurrent = new QLabel(this);
    m_lbCurrent->setObjectName(QStringLiteral("lbCurrent"));
    m_lbCurrent->setStyleSheet(QStringLiteral("color: blue"));
    m_lbCurrent->setMinimumWidth(420);
    m_lbCurrent->setTextFormat(Qt::PlainText);
    layout->addWidget(m_lbCurrent);
    auto* row = new QHBoxLayout;
    row->addStretch();
    m_btnCacel = new QPushButton(QStringLiteral("取消(&C)"), this);
    m_btnCacel->setObjectName(QStringLiteral("btnCacel"));
    m_btnCacel->setCursor(Qt::ArrowCursor);
    connect(m_btnCacel, &QPushButton::clicked, this, &WorkDialog::btnCacelClick);
    row->addWidget(m_btnCacel);
    layout->addLayout(row);
}

void WorkDialog::watch(Job* job) {
    m_job = job;
    connect(job, &Job::finished, this, &WorkDialog::jobFinished, Qt::QueuedConnection);
}

void WorkDialog::btnCacelClick() {
    if (m_job)
        m_job->cancel();
}

void WorkDialog::reject() {
    if (m_started && m_job)
        m_job->cancel();
    else
        QDialog::reject();
}

void WorkDialog::setCurrent(const QString& path) {
    m_lbCurrent->setText(path);
}

void WorkDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    if (m_job)
        m_job->start();
}

void WorkDialog::jobFinished() {
    setCursor(Qt::ArrowCursor);
    findChild<QProgressBar*>(QStringLiteral("Animate"))->setRange(0, 1);
    workDone();
    m_job = nullptr; // the work is over: Escape closes now
    accept();
}

QString ScanProgressDialog::summaryText(const ScanResult& r) {
    QString text = QStringLiteral("数据导入完毕！\r\n\r\n文件：") + QString::number(r.files) +
                   QStringLiteral("，目录：") + QString::number(r.folders);
    if (r.unreadable > 0) {
        text += QStringLiteral("\r\n无法读取的目录：") + QString::number(r.unreadable) +
                QStringLiteral("（第一个：") + r.firstUnreadable + QStringLiteral("）");
    }
    // A scan that stopped early must not read like a finished one; the count is what the
    // catalog keeps.
    if (!r.error.isEmpty()) {
        text += QStringLiteral("\r\n导入失败：") + r.error + QStringLiteral("，已保存 ") +
                QString::number(r.rows) + QStringLiteral(" 条记录。");
    } else if (r.cancelled) {
        text += QStringLiteral("\r\n导入已取消，已保存 ") + QString::number(r.rows) +
                QStringLiteral(" 条记录。");
    }
    return text;
}

ScanProgressDialog::ScanProgressDialog(Database& fallback, const ScanParams& params,
                                       QWidget* parent)
    : WorkDialog(QStringLiteral("InputDataProgressFrm"), QStringLiteral("文件读取进度显示"),
                 parent),
      m_fallback(fallback), m_params(params), m_scan(new ScanJob(fallback.path(), params, this)) {
    m_lbCounts = new QLabel(this);
    m_lbCounts->setObjectName(QStringLiteral("lbCounts"));
    m_lbCounts->setTextFormat(Qt::PlainText);
    // Above the cancel button.
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->insertWidget(box->count() - 1, m_lbCounts);
    showCounts(0, 0);
    connect(m_scan, &ScanJob::progress, this, &ScanProgressDialog::setCurrent,
            Qt::QueuedConnection);
    connect(m_scan, &ScanJob::counted, this, &ScanProgressDialog::showCounts, Qt::QueuedConnection);
    watch(m_scan);
    m_clock.start();
}

void ScanProgressDialog::showCounts(int folders, int files) {
    const QLocale locale;
    QString text = QStringLiteral("目录：") + locale.toString(folders) +
                   QStringLiteral("，文件：") + locale.toString(files);
    // A pace over a fraction of a second says little.
    const qint64 ms = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (ms >= 500) {
        const qint64 perSecond = (qint64(folders) + files) * 1000 / ms;
        text += QStringLiteral("，每秒 ") + locale.toString(perSecond) + QStringLiteral(" 项");
    }
    m_lbCounts->setText(text);
}

void ScanProgressDialog::workDone() {
    m_result = m_scan->result();
    if (!m_scan->opened()) {
        // Same walk on the GUI thread: keep the window answering between entries.
        Throttle pump(30);
        ScanCounts counts;
        ScanHooks hooks;
        hooks.cancel = &m_scan->cancelFlag();
        hooks.counts = &counts;
        hooks.progressIntervalMs = 0;
        hooks.progress = [&](const QString& path) {
            if (!pump.due())
                return;
            setCurrent(path);
            showCounts(counts.folders, counts.files);
            QCoreApplication::processEvents();
        };
        m_result = scanDisc(m_fallback, m_params, hooks);
    }
    showCounts(m_result.folders, m_result.files);
    if (!m_result.error.isEmpty()) {
        prompts().error(this, QStringLiteral("保存数据出错！\r\n") + m_result.error,
                        QStringLiteral("提示"));
    }
    prompts().info(this, summaryText(m_result), QStringLiteral("提示"));
}

} // namespace vorlane
