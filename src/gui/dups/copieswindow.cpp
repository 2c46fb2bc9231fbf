#include "gui/dups/copieswindow.h"

#include "core/store/catalogsession.h"
#include "core/store/copiesjob.h"
#include "core/store/database.h"
#include "gui/browser/entrylook.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/dups/listparts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace vorlane {

namespace {

enum Column { NameColumn, DiscColumn, SizeColumn, DiscsColumn };

} // namespace

CopiesWindow::CopiesWindow(QWidget* parent, CatalogSession& session)
    : QDialog(parent, Qt::Window), m_session(session) {
    setObjectName(QStringLiteral("CopiesFrm"));
    setWindowTitle(QStringLiteral("副本统计"));
    resize(760, 480);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("最多光盘数："), this));
    m_sbMaxDiscs = new QSpinBox(this);
    m_sbMaxDiscs->setObjectName(QStringLiteral("sbMaxDiscs"));
    m_sbMaxDiscs->setRange(1, 999);
    m_sbMaxDiscs->setValue(1);
    top->addWidget(m_sbMaxDiscs);
    m_minSize.addTo(top, this, QStringLiteral("0"));
    m_btnFind = listparts::makeButton(this, "btnFind", QStringLiteral("统计"));
    top->addWidget(m_btnFind);
    top->addStretch();

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvCopies"));
    m_tree->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("光盘"), QStringLiteral("大小"),
                             QStringLiteral("光盘数")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_tree->header()->setStretchLastSection(false);

    auto* bottom = new QHBoxLayout;
    m_lblCount = new QLabel(this);
    m_lblCount->setObjectName(QStringLiteral("lblCount"));
    bottom->addWidget(m_lblCount, 1);
    QPushButton* close = listparts::makeButton(this, "btnClose", QStringLiteral("关闭"));
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tree, 1);
    layout->addLayout(bottom);

    connect(m_btnFind, &QPushButton::clicked, this, &CopiesWindow::btnFindClick);
    connect(close, &QPushButton::clicked, this, &CopiesWindow::reject);
    connect(m_minSize.edit, &QLineEdit::returnPressed, this, &CopiesWindow::btnFindClick);
    connect(m_tree, &QTreeWidget::itemActivated, this, &CopiesWindow::lookAt);
    entrylook::attach(m_tree, QStringLiteral("tvCopies"), m_session, [this] {
        QList<EntryTarget> targets;
        for (const QTreeWidgetItem* item : m_tree->selectedItems())
            targets.append({item->data(NameColumn, DiscRole).toLongLong(),
                            item->data(NameColumn, FileRole).toLongLong()});
        return targets;
    });
    // Ids from another catalog would lead nowhere, or to the wrong file.
    connect(&m_session, &CatalogSession::fileChanged, this, [this] {
        if (m_job)
            m_job->cancel();
        clear();
        m_searched = false;
    });
}

CopiesWindow::~CopiesWindow() {
    if (m_job) {
        m_job->cancel();
        delete m_job; // waits for the work to end
    }
}

void CopiesWindow::showWindow() {
    QDialog::show();
    raise();
    activateWindow();
    if (!m_searched && !m_job)
        btnFindClick();
}

qint64 CopiesWindow::minSize() const {
    return m_minSize.bytes(0);
}

void CopiesWindow::btnFindClick() {
    if (m_job || !m_session.db().isOpen())
        return;
    clear();
    m_searched = true;
    const QString path = m_session.db().path();
    if (path.isEmpty()) {
        // A catalog never saved has no file another connection could read; it is small.
        try {
            list(copiesstore::findCopies(m_session.db(), m_sbMaxDiscs->value(), minSize()));
        } catch (const DbError& e) {
            prompts().message(this, QStringLiteral("统计副本时出错：") + e.text(),
                              QStringLiteral("提示"), QMessageBox::Critical);
        }
        emit searchFinished();
        return;
    }
    m_job = new CopiesJob(path, m_sbMaxDiscs->value(), minSize(), this);
    m_btnFind->setEnabled(false);
    ProgressWindow::start(m_job, QStringLiteral("正在统计副本…"), this, [this] { jobFinished(); });
}

void CopiesWindow::jobFinished() {
    CopiesJob* job = std::exchange(m_job, nullptr);
    job->deleteLater();
    m_btnFind->setEnabled(true);
    clear();
    if (!m_searched || job->isCancelled()) {
        if (m_searched)
            m_lblCount->setText(QStringLiteral("统计已取消"));
    } else if (!job->error().isEmpty()) {
        prompts().message(this, QStringLiteral("统计副本时出错：") + job->error(),
                          QStringLiteral("提示"), QMessageBox::Critical);
    } else {
        list(job->copies());
    }
    emit searchFinished();
}

void CopiesWindow::list(const std::vector<copiesstore::Copy>& copies) {
    clear();
    m_tree->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(copies.size()));
    qint64 bytes = 0;
    for (const copiesstore::Copy& c : copies) {
        auto* item = new QTreeWidgetItem;
        item->setText(NameColumn, c.member.path);
        item->setText(DiscColumn, c.member.discName);
        item->setText(SizeColumn, listparts::bytesText(c.size));
        item->setToolTip(SizeColumn, QString::number(c.size) + QStringLiteral(" 字节"));
        item->setText(DiscsColumn, QString::number(c.discs));
        for (int col : {SizeColumn, DiscsColumn})
            item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(NameColumn, DiscRole, c.member.discId);
        item->setData(NameColumn, FolderRole, c.member.folderId);
        item->setData(NameColumn, FileRole, c.member.id);
        items << item;
        if (__builtin_add_overflow(bytes, c.size, &bytes))
            bytes = std::numeric_limits<qint64>::max();
    }
    m_tree->addTopLevelItems(items);
    m_tree->setUpdatesEnabled(true);
    m_lblCount->setText(QStringLiteral("共 %1 个文件，%2，只在不超过 %3 张光盘上")
                            .arg(copies.size())
                            .arg(listparts::bytesText(bytes))
                            .arg(m_sbMaxDiscs->value()));
}

void CopiesWindow::lookAt(QTreeWidgetItem* item) {
    if (!item || !item->data(NameColumn, FileRole).isValid())
        return;
    emit showEntryRequested(item->data(NameColumn, DiscRole).toLongLong(),
                            item->data(NameColumn, FolderRole).toLongLong(),
                            item->data(NameColumn, FileRole).toLongLong());
}

void CopiesWindow::reject() {
    if (m_job)
        m_job->cancel();
    QDialog::reject();
}

void CopiesWindow::clear() {
    m_tree->clear();
    m_lblCount->clear();
}

} // namespace vorlane
