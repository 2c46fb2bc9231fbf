#include "gui/dups/duplicatewindow.h"

#include "core/store/catalogsession.h"
#include "core/store/database.h"
#include "core/store/duplicatesjob.h"
#include "gui/browser/contentscontroller.h"
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
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace vorlane {

namespace {

enum Column { NameColumn, DiscColumn, SizeColumn, CountColumn, WastedColumn };

} // namespace

DuplicateWindow::DuplicateWindow(QWidget* parent, CatalogSession& session)
    : QDialog(parent, Qt::Window), m_session(session) {
    setObjectName(QStringLiteral("DuplicateFrm"));
    setWindowTitle(QStringLiteral("重复文件"));
    resize(760, 480);

    auto* top = new QHBoxLayout;
    m_minSize.addTo(top, this, QStringLiteral("1"));
    m_btnFind = listparts::makeButton(this, "btnFind", QStringLiteral("查找"));
    top->addWidget(m_btnFind);
    top->addStretch();

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvDuplicates"));
    m_tree->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("光盘"), QStringLiteral("大小"),
                             QStringLiteral("个数"), QStringLiteral("浪费空间")});
    m_tree->setUniformRowHeights(true);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_tree->header()->setStretchLastSection(false);

    auto* bottom = new QHBoxLayout;
    m_lblCount = new QLabel(this);
    m_lblCount->setObjectName(QStringLiteral("lblCount"));
    bottom->addWidget(m_lblCount, 1);
    m_btnClose = listparts::makeButton(this, "btnClose", QStringLiteral("关闭"));
    bottom->addWidget(m_btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tree, 1);
    layout->addLayout(bottom);

    connect(m_btnFind, &QPushButton::clicked, this, &DuplicateWindow::btnFindClick);
    connect(m_btnClose, &QPushButton::clicked, this, &DuplicateWindow::reject);
    connect(m_minSize.edit, &QLineEdit::returnPressed, this, &DuplicateWindow::btnFindClick);
    // Double-click and Enter alike.
    connect(m_tree, &QTreeWidget::itemActivated, this, &DuplicateWindow::lookAt);
    entrylook::attach(m_tree, QStringLiteral("tvDuplicates"), m_session, [this] {
        QList<EntryTarget> targets;
        for (const QTreeWidgetItem* item : m_tree->selectedItems())
            if (item->data(NameColumn, FileRole).isValid()) // a member, not a group
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

DuplicateWindow::~DuplicateWindow() {
    if (m_job) {
        m_job->cancel();
        delete m_job; // waits for the work to end
    }
}

void DuplicateWindow::showWindow() {
    QDialog::show();
    raise();
    activateWindow();
    if (!m_searched && !m_job)
        btnFindClick();
}

qint64 DuplicateWindow::minSize() const {
    return m_minSize.bytes(1);
}

void DuplicateWindow::btnFindClick() {
    if (m_job || !m_session.db().isOpen())
        return;
    clear();
    m_searched = true;
    const QString path = m_session.db().path();
    if (path.isEmpty()) {
        // A catalog never saved has no file another connection could read; it is small.
        try {
            list(duplicatestore::findDuplicates(m_session.db(), minSize()));
        } catch (const DbError& e) {
            prompts().message(this, QStringLiteral("查找重复文件时出错：") + e.text(),
                              QStringLiteral("提示"), QMessageBox::Critical);
        }
        emit searchFinished();
        return;
    }
    m_job = new DuplicatesJob(path, minSize(), this);
    m_btnFind->setEnabled(false);
    // The progress window starts the job and closes before the result is listed.
    ProgressWindow::start(m_job, QStringLiteral("正在查找重复文件…"), this,
                          [this] { jobFinished(); });
}

void DuplicateWindow::jobFinished() {
    DuplicatesJob* job = std::exchange(m_job, nullptr);
    job->deleteLater();
    m_btnFind->setEnabled(true);
    clear();
    if (!m_searched || job->isCancelled()) {
        // Opening another catalog also ends a search: what it found belongs to the old one.
        if (m_searched)
            m_lblCount->setText(QStringLiteral("查找已取消"));
    } else if (!job->error().isEmpty()) {
        prompts().message(this, QStringLiteral("查找重复文件时出错：") + job->error(),
                          QStringLiteral("提示"), QMessageBox::Critical);
    } else {
        list(job->groups());
    }
    emit searchFinished();
}

void DuplicateWindow::list(const std::vector<duplicatestore::Group>& groups) {
    clear();
    m_tree->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(groups.size()));
    qint64 files = 0, wasted = 0;
    for (const duplicatestore::Group& g : groups) {
        auto* group = new QTreeWidgetItem;
        const duplicatestore::Member& first = g.members.front();
        group->setText(NameColumn, first.path.mid(first.path.lastIndexOf(QLatin1Char('/')) + 1));
        group->setText(SizeColumn, listparts::bytesText(g.size));
        group->setToolTip(SizeColumn, QString::number(g.size) + QStringLiteral(" 字节"));
        group->setText(CountColumn, QString::number(g.members.size()));
        group->setText(WastedColumn, listparts::bytesText(g.wasted()));
        group->setToolTip(NameColumn,
                          g.hash.isEmpty()
                              ? QStringLiteral("大小和名称相同")
                              : QStringLiteral("内容校验和（%1）相同：%2")
                                    .arg(g.algorithm, QString::fromLatin1(g.hash.toHex())));
        for (int c : {SizeColumn, CountColumn, WastedColumn})
            group->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        for (const duplicatestore::Member& m : g.members) {
            auto* member = new QTreeWidgetItem(group);
            member->setText(NameColumn, m.path);
            member->setText(DiscColumn, m.discName);
            member->setData(NameColumn, DiscRole, m.discId);
            member->setData(NameColumn, FolderRole, m.folderId);
            member->setData(NameColumn, FileRole, m.id);
        }
        items << group;
        files += qint64(g.members.size());
        if (__builtin_add_overflow(wasted, g.wasted(), &wasted))
            wasted = std::numeric_limits<qint64>::max();
    }
    m_tree->addTopLevelItems(items);
    m_tree->expandAll();
    m_tree->setUpdatesEnabled(true);
    m_lblCount->setText(QStringLiteral("共 %1 组，%2 个文件，浪费空间 %3")
                            .arg(groups.size())
                            .arg(files)
                            .arg(listparts::bytesText(wasted)));
}

void DuplicateWindow::lookAt(QTreeWidgetItem* item) {
    if (!item || !item->data(NameColumn, FileRole).isValid())
        return;
    emit showEntryRequested(item->data(NameColumn, DiscRole).toLongLong(),
                            item->data(NameColumn, FolderRole).toLongLong(),
                            item->data(NameColumn, FileRole).toLongLong());
}

void DuplicateWindow::reject() {
    if (m_job)
        m_job->cancel();
    QDialog::reject();
}

void DuplicateWindow::clear() {
    m_tree->clear();
    m_lblCount->clear();
}

} // namespace vorlane
