#include "gui/import/importdialog.h"

#include "core/import/drives.h"
#include "core/import/typedetect.h"
#include "core/import/typedetectjob.h"
#include "core/settings/settings.h"
#include "core/store/catalogsession.h"
#include "core/store/catalogstore.h"
#include "gui/browser/nodes.h"
#include "gui/common/guards.h"
#include "gui/common/icons.h"
#include "gui/common/platform.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/import/scanoptionsbox.h"
#include "gui/import/scanprogress.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vorlane {

namespace {

const QString kNotice = QStringLiteral("提示");

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

ImportDialog::ImportDialog(QWidget* parent, CatalogSession& session, qint64 categoryId)
    : QDialog(parent), m_session(session), m_categoryId(QString::number(categoryId)) {
    setObjectName(QStringLiteral("InputDataFrm"));
    setWindowTitle(QStringLiteral("内容导入"));
    auto* layout = new QVBoxLayout(this);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("标  识："), this));
    m_txtCDName = named(new QLineEdit(this), "txtCDName");
    nameRow->addWidget(m_txtCDName);
    layout->addLayout(nameRow);

    auto* source = new QGridLayout;
    m_rdo1 = named(new QRadioButton(QStringLiteral("选择光盘"), this), "rdo1");
    m_rdo1->setChecked(true);
    m_cobCDDriver = named(new QComboBox(this), "cobCDDriver");
    m_cobCDDriver->setMinimumWidth(260);
    auto* btnRefresh = named(new QToolButton(this), "btnRefresh");
    btnRefresh->setToolTip(QStringLiteral("更新光盘列表"));
    btnRefresh->setIcon(themeIcon(QStringLiteral("view-refresh")));
    m_rdo2 = named(new QRadioButton(QStringLiteral("选择目录："), this), "rdo2");
    // A path may be typed or pasted too; it is checked on confirmation.
    m_txtCDPath = named(new QLineEdit(this), "txtCDPath");
    auto* btnSelectPath = named(new QToolButton(this), "btnSelectPath");
    btnSelectPath->setText(QStringLiteral("..."));
    source->addWidget(m_rdo1, 0, 0);
    source->addWidget(m_cobCDDriver, 0, 1);
    source->addWidget(btnRefresh, 0, 2);
    source->addWidget(m_rdo2, 1, 0);
    source->addWidget(m_txtCDPath, 1, 1);
    source->addWidget(btnSelectPath, 1, 2);
    layout->addLayout(source);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_rdo1);
    modes->addButton(m_rdo2);

    auto* toolsRow = new QHBoxLayout;
    auto* btnLook = named(new QPushButton(QStringLiteral("查看"), this), "btnLook");
    btnLook->setToolTip(QStringLiteral("查看选定的目录或光盘内容"));
    auto* btnCheckFile =
        named(new QPushButton(QStringLiteral("检测文件类型"), this), "btnCheckFile");
    btnCheckFile->setToolTip(QStringLiteral("检测光盘中存在的文件类型"));
    toolsRow->addWidget(btnLook);
    toolsRow->addWidget(btnCheckFile);
    toolsRow->addStretch();
    layout->addLayout(toolsRow);

    m_options = new ScanOptionsBox(this);
    layout->addWidget(m_options);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_btnOk = named(new QPushButton(QStringLiteral("确认"), this), "btnOk");
    m_btnOk->setEnabled(false);
    m_btnOk->setAutoDefault(false);
    auto* bitBtn2 = named(new QPushButton(QStringLiteral("取消"), this), "BitBtn2");
    bitBtn2->setDefault(true);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(bitBtn2);
    layout->addLayout(buttons);

    connect(m_txtCDName, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_btnOk->setEnabled(!t.isEmpty()); });
    connect(m_cobCDDriver, &QComboBox::activated, this, &ImportDialog::cobCDDriverChange);
    connect(btnRefresh, &QToolButton::clicked, this, &ImportDialog::btnRefreshClick);
    connect(btnSelectPath, &QToolButton::clicked, this, &ImportDialog::btnSelectPathClick);
    connect(btnLook, &QPushButton::clicked, this, &ImportDialog::btnLookClick);
    connect(btnCheckFile, &QPushButton::clicked, this, &ImportDialog::btnCheckFileClick);
    connect(m_rdo1, &QRadioButton::clicked, this, &ImportDialog::rdo1Click);
    connect(m_rdo2, &QRadioButton::clicked, this, &ImportDialog::rdo2Click);
    connect(m_txtCDPath, &QLineEdit::textEdited, this, &ImportDialog::txtCDPathEdited);
    connect(m_btnOk, &QPushButton::clicked, this, &ImportDialog::btnOkClick);
    connect(bitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    btnRefreshClick();

    // Started from what the last import was confirmed with.
    const Settings::ImportChoices last = Settings().importChoices();
    ScanParams start;
    start.checksums = last.checksums;
    start.archives = last.archives;
    start.media = last.media;
    start.thumbnails = last.thumbnails;
    start.exclude = last.exclude;
    m_options->setOptions(start);
    if (!last.folder.isEmpty()) {
        m_rdo2->setChecked(true);
        m_txtCDPath->setText(last.folder);
        m_rootPath = last.folder;
        m_autoName = folderDisplayName(last.folder);
        m_txtCDName->setText(m_autoName);
    }
}

QStringList ImportDialog::types() const {
    return m_options->types();
}

void ImportDialog::btnRefreshClick() {
    m_cobCDDriver->clear();
    for (const DriveInfo& d : drives().list())
        m_cobCDDriver->addItem(d.displayText(), d.root());
    m_cobCDDriver->setCurrentIndex(-1);
}

void ImportDialog::rdo1Click() {
    m_txtCDPath->clear();
    m_txtCDName->clear();
}

void ImportDialog::rdo2Click() {
    m_cobCDDriver->setCurrentIndex(-1);
    m_txtCDName->clear();
    m_label.clear();
}

void ImportDialog::cobCDDriverChange() {
    m_rdo1->setChecked(true);
    rdo1Click();
    m_txtCDName->clear();
    const int index = m_cobCDDriver->currentIndex();
    if (index < 0)
        return;
    // The root travels with the item, so a "(" in a mount point cannot mislead us.
    m_rootPath = m_cobCDDriver->itemData(index).toString();
    const QString label = drives().label(m_rootPath);
    if (!label.isEmpty()) {
        m_txtCDName->setText(label);
        m_label = label;
        m_txtCDName->setFocus();
        return;
    }
    prompts().error(this, QStringLiteral("光驱中没发现光盘！"), QStringLiteral("读取失败"));
    m_cobCDDriver->setCurrentIndex(-1);
}

void ImportDialog::txtCDPathEdited(const QString& text) {
    if (!m_rdo2->isChecked()) {
        m_rdo2->setChecked(true);
        m_cobCDDriver->setCurrentIndex(-1);
        m_label.clear();
    }
    m_rootPath = text.trimmed();
    // The name follows the path until the user gives one of their own.
    if (m_txtCDName->text().isEmpty() || m_txtCDName->text() == m_autoName) {
        m_autoName = m_rootPath.isEmpty() ? QString() : folderDisplayName(m_rootPath);
        m_txtCDName->setText(m_autoName);
    }
}

void ImportDialog::btnSelectPathClick() {
    const FolderChoice choice =
        prompts().chooseFolder(this, QStringLiteral("路径选择"), m_txtCDPath->text().trimmed());
    if (choice.path.isEmpty())
        return;
    m_rdo2->setChecked(true);
    rdo2Click();
    m_txtCDPath->setText(choice.path);
    m_rootPath = choice.path;
    m_autoName = choice.displayName.isEmpty() ? folderDisplayName(choice.path) : choice.displayName;
    m_txtCDName->setText(m_autoName);
    m_txtCDName->setFocus();
}

bool ImportDialog::checkSource() {
    if (m_rdo1->isChecked() && m_cobCDDriver->currentIndex() < 0) {
        prompts().error(this, QStringLiteral("请选择光盘！"), kNotice);
        return false;
    }
    if (m_rdo2->isChecked()) {
        const QString typed = m_txtCDPath->text().trimmed();
        if (typed.isEmpty()) {
            prompts().error(this, QStringLiteral("请选择目录！"), kNotice);
            return false;
        }
        const QFileInfo info(QDir::cleanPath(typed));
        if (!info.exists()) {
            prompts().error(this, QStringLiteral("目录不存在：") + typed, kNotice);
            return false;
        }
        if (!info.isDir()) {
            prompts().error(this, QStringLiteral("不是目录：") + typed, kNotice);
            return false;
        }
        m_rootPath = QDir::cleanPath(info.absoluteFilePath());
    }
    return true;
}

void ImportDialog::btnLookClick() {
    if (checkSource())
        opener().open(m_rootPath);
}

void ImportDialog::btnCheckFileClick() {
    if (!checkSource())
        return;
    TypeDetectJob detect({m_rootPath, types()});
    ProgressWindow::run(detect, QStringLiteral("正在检测文件类型…"), this);
    m_options->setTypes(mergeTypes(types(), detect.found()));
}

void ImportDialog::btnOkClick() {
    const QString name = m_txtCDName->text();
    if (name.isEmpty()) {
        prompts().error(this, QStringLiteral("没有标识！"), kNotice);
        return;
    }
    if (!checkSource())
        return;
    if (!prompts().askYesNo(this, QStringLiteral("是否确认导入内容？"), kNotice))
        return;
    try {
        if (m_rdo1->isChecked() && !m_label.isEmpty()) {
            const QString category = catalogstore::duplicateCategory(m_session.db(), m_label);
            if (!category.isEmpty() &&
                prompts().message(this,
                                  QStringLiteral("导前光盘已经导入，在分类：") + category +
                                      QStringLiteral(" 下。是否继续导入？"),
                                  kNotice, QMessageBox::Critical,
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
                return;
        }
    } catch (const DbError& e) {
        prompts().error(this, e.text(), kNotice);
        return;
    }

    NewDisc disc;
    disc.name = name;
    disc.categoryId = m_categoryId.toLongLong();
    disc.orderId = catalogstore::nextOrderId(m_session.db(), m_session.nodeSerial());
    disc.rootPath = rootPrefix(m_rootPath);
    disc.label = m_rdo1->isChecked() ? m_label : QString();
    qint64 id = 0;
    try {
        id = catalogstore::addDiscRow(m_session.db(), disc);
    } catch (const DbError&) {
        prompts().error(this, QStringLiteral("保存数据出错！"), kNotice);
        return;
    }
    m_rootPath = disc.rootPath;

    m_session.notifyDiscAdded(disc.categoryId, id, name);

    ScanParams params;
    params.root = m_rootPath;
    params.discId = id;
    m_options->takeOptions(params);
    params.nameEncoding = Settings().nameEncoding();
    Settings::ImportChoices chosen;
    chosen.folder = m_rdo2->isChecked() ? m_rootPath : QString();
    chosen.checksums = params.checksums;
    chosen.archives = params.archives;
    chosen.media = params.media;
    chosen.thumbnails = params.thumbnails;
    chosen.exclude = params.exclude;
    Settings().saveImportChoices(chosen);
    searchstore::WriteReport written;
    const ScanResult result = runScan(m_session.db().path(), params, this, &written);
    m_session.notifyJobWrote(written);
    if (!result.error.isEmpty())
        prompts().error(this, QStringLiteral("保存数据出错！\r\n") + result.error, kNotice);
    prompts().info(this, scanSummaryText(result), kNotice);
    // Also after a cancelled or failed scan: the rows stored so far are in the catalog.
    m_session.notifyEntriesChanged(id);

    m_importDone = true;
    accept();
}

} // namespace vorlane
