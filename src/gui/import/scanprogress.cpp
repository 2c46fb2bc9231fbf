#include "gui/import/scanprogress.h"

#include "gui/app/prompts.h"
#include "core/store/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
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

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(30);
    connect(m_timer, &QTimer::timeout, this, &WorkDialog::Timer1Timer);
}

WorkDialog::~WorkDialog() {
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

void WorkDialog::btnCacelClick() {
    m_cancel = true;
}

void WorkDialog::reject() {
    if (m_finishedMark || !m_started)
        QDialog::reject();
    else
        m_cancel = true;
}

void WorkDialog::setCurrent(const QString& path) {
    QMutexLocker lock(&m_mutex);
    m_current = path;
}

void WorkDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    m_thread = QThread::create([this] {
        work();
        m_workEnded = true;
    });
    m_thread->start();
    m_timer->start();
}

void WorkDialog::Timer1Timer() {
    if (m_finishedMark) {
        m_timer->stop();
        accept();
        return;
    }
    {
        QMutexLocker lock(&m_mutex);
        if (m_current != m_shown) {
            m_shown = m_current;
            m_lbCurrent->setText(m_shown);
        }
    }
    if (!m_workEnded)
        return;
    m_thread->wait();
    m_timer->stop();
    setCursor(Qt::ArrowCursor);
    findChild<QProgressBar*>(QStringLiteral("Animate"))->setRange(0, 1);
    workDone();
    m_finishedMark = true;
    m_timer->start(); // closes at the next tick
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
      m_fallback(fallback), m_params(params), m_catalogPath(fallback.path()) {}

void ScanProgressDialog::work() {
    Database db;
    try {
        if (m_catalogPath.isEmpty())
            throw DbError(QStringLiteral("no catalog file"));
        db.open(m_catalogPath);
        if (db.isReadOnly())
            throw DbError(QStringLiteral("read-only"));
    } catch (const DbError&) {
        m_needFallback = true;
        return;
    }
    ScanHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const QString& path) { setCurrent(path); };
    m_result = scanTree(db, m_params, hooks);
}

void ScanProgressDialog::workDone() {
    if (m_needFallback) {
        // Same walk on the GUI thread: keep the window answering between entries.
        QElapsedTimer pump;
        pump.start();
        ScanHooks hooks;
        hooks.cancel = &cancelFlag();
        hooks.progressIntervalMs = 0;
        hooks.progress = [&](const QString& path) {
            if (pump.elapsed() < 30)
                return;
            pump.restart();
            setCurrent(path);
            findChild<QLabel*>(QStringLiteral("lbCurrent"))->setText(path);
            QCoreApplication::processEvents();
        };
        m_result = scanTree(m_fallback, m_params, hooks);
    }
    if (!m_result.error.isEmpty()) {
        prompts().error(this, QStringLiteral("保存数据出错！\r\n") + m_result.error,
                        QStringLiteral("提示"));
    }
    prompts().info(this, summaryText(m_result), QStringLiteral("提示"));
}

} // namespace vorlane
