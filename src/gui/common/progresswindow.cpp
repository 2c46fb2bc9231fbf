#include "gui/common/progresswindow.h"

#include "gui/common/prompts.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vorlane {

namespace {

// The bar counts in thousandths: totals beyond what an int holds still fit.
constexpr int kSteps = 1000;
constexpr int kPathWidth = 480;

QString sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// The share of the work done, when the job knows its total; below 0 otherwise.
double doneShare(const JobProgress& p) {
    if (p.bytesTotal > 0 && p.bytesDone >= 0)
        return qBound(0.0, double(p.bytesDone) / double(p.bytesTotal), 1.0);
    if (p.itemsTotal > 0 && p.itemsDone >= 0)
        return qBound(0.0, double(p.itemsDone) / double(p.itemsTotal), 1.0);
    return -1;
}

QLabel* addLabel(QVBoxLayout* layout, const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    return label;
}

} // namespace

ProgressWindow::ProgressWindow(Job* job, const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_job(job) {
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(title);
    setModal(true);
    setCursor(Qt::WaitCursor);
    auto* layout = new QVBoxLayout(this);
    QLabel* heading = addLabel(layout, "lbTitle", this);
    heading->setText(title);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    m_lbCurrent = addLabel(layout, "lbCurrent", this);
    m_lbCurrent->setStyleSheet(QStringLiteral("color: blue"));
    m_lbCurrent->setMinimumWidth(kPathWidth);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("pbProgress"));
    m_bar->setRange(0, 0); // busy until a total is known
    m_bar->setTextVisible(false);
    layout->addWidget(m_bar);
    m_lbCounts = addLabel(layout, "lbCounts", this);
    m_lbBytes = addLabel(layout, "lbBytes", this);
    m_lbTime = addLabel(layout, "lbTime", this);
    auto* row = new QHBoxLayout;
    row->addStretch();
    m_btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnCancel->setCursor(Qt::ArrowCursor);
    m_btnCancel->setEnabled(job->isCancellable());
    connect(m_btnCancel, &QPushButton::clicked, this, &ProgressWindow::btnCancelClick);
    row->addWidget(m_btnCancel);
    layout->addLayout(row);

    // The time so far moves on while a job reads one large file without reporting.
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &ProgressWindow::refresh);
    connect(job, &Job::progressed, this, &ProgressWindow::showProgress, Qt::QueuedConnection);
    connect(job, &Job::finished, this, &ProgressWindow::jobFinished, Qt::QueuedConnection);
    refresh();
}

void ProgressWindow::run(Job& job, const QString& title, QWidget* parent) {
    ProgressWindow window(&job, title, parent);
    prompts().exec(&window);
}

ProgressWindow* ProgressWindow::start(Job* job, const QString& title, QWidget* parent,
                                      std::function<void()> then) {
    auto* window = new ProgressWindow(job, title, parent);
    window->m_then = std::move(then);
    window->setWindowModality(Qt::WindowModal);
    window->show(); // starts the job
    return window;
}

QString ProgressWindow::durationText(qint64 seconds) {
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString mmss = QStringLiteral("%1:%2")
                             .arg(h > 0 ? m : seconds / 60, h > 0 ? 2 : 1, 10, QLatin1Char('0'))
                             .arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QString::number(h) + QLatin1Char(':') + mmss : mmss;
}

QString ProgressWindow::countsText(const JobProgress& p, qint64 elapsedMs) {
    const QLocale locale;
    QStringList parts;
    qint64 items = 0;
    const auto add = [&](const char16_t* name, qint64 n) {
        if (n < 0)
            return;
        parts << QString::fromUtf16(name) + locale.toString(n);
        items += n;
    };
    add(u"目录：", p.folders);
    add(u"文件：", p.files);
    add(u"条目：", p.entries);
    if (parts.isEmpty())
        return {};
    // A pace over a fraction of a second says little.
    if (elapsedMs >= 500)
        parts << QStringLiteral("每秒 ") + locale.toString(items * 1000 / elapsedMs) +
                     QStringLiteral(" 项");
    return parts.join(QStringLiteral("，"));
}

void ProgressWindow::btnCancelClick() {
    // What has finished stays done: a late press does not undo or mark it.
    if (m_job && !m_over && !m_job->isOver())
        m_job->cancel();
}

void ProgressWindow::reject() {
    if (m_started && !m_over)
        btnCancelClick();
    else
        QDialog::reject();
}

void ProgressWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    m_clock.start();
    m_tick->start();
    m_job->start();
}

void ProgressWindow::showProgress(const JobProgress& p) {
    if (m_over)
        return;
    m_last = p;
    refresh();
}

void ProgressWindow::refresh() {
    const JobProgress& p = m_last;
    const qint64 ms = m_clock.isValid() ? m_clock.elapsed() : 0;
    const QFontMetrics metrics(m_lbCurrent->font());
    m_lbCurrent->setText(metrics.elidedText(p.path, Qt::ElideMiddle, kPathWidth));
    m_lbCurrent->setToolTip(p.path);
    m_lbCounts->setText(countsText(p, ms));
    m_lbCounts->setVisible(!m_lbCounts->text().isEmpty());
    if (p.bytesDone >= 0) {
        QString text = QStringLiteral("已读取 ") + sizeText(p.bytesDone);
        if (p.bytesTotal > 0)
            text += QStringLiteral(" / ") + sizeText(p.bytesTotal);
        if (ms >= 500)
            text += QStringLiteral("，") + sizeText(p.bytesDone * 1000 / ms) + QStringLiteral("/s");
        m_lbBytes->setText(text);
    }
    m_lbBytes->setVisible(p.bytesDone >= 0);
    const double share = doneShare(p);
    if (share >= 0) {
        m_bar->setRange(0, kSteps);
        m_bar->setValue(int(share * kSteps));
    }
    QString time = QStringLiteral("已用时间：") + durationText(ms / 1000);
    // An estimate from the pace so far, once there is a pace to speak of.
    if (share > 0 && share < 1 && ms >= 1000)
        time += QStringLiteral("，预计还需：") +
                durationText(qint64(double(ms) * (1 - share) / share / 1000 + 0.5));
    m_lbTime->setText(time);
}

void ProgressWindow::jobFinished() {
    m_over = true;
    m_tick->stop();
    m_btnCancel->setEnabled(false);
    setCursor(Qt::ArrowCursor);
    if (!m_then) {
        accept();
        return;
    }
    // Closed before the result is shown, so nothing of it stays above the result.
    hide();
    const std::function<void()> then = std::move(m_then);
    m_job = nullptr;
    deleteLater();
    then();
}

} // namespace vorlane
