#include "gui/app/optionsdialog.h"

#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

OptionsDialog::OptionsDialog(MainWindow* window) : QDialog(window), w(window) {
    setObjectName(QStringLiteral("OptionFrm"));
    setWindowTitle(QStringLiteral("选项设置"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* group = new QGroupBox(QStringLiteral("选 项"), this);
    m_openRecent = new QCheckBox(QStringLiteral("启动时开启最近成功打开的文件"), group);
    m_openRecent->setObjectName(QStringLiteral("ckOpenRecent"));
    m_backup = new QCheckBox(QStringLiteral("文件成功开启后生成备份文件"), group);
    m_backup->setObjectName(QStringLiteral("ckBackup"));
    auto* note = new QLabel(QStringLiteral("(推荐选择该选项)"), group);
    note->setContentsMargins(22, 0, 0, 0);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_openRecent);
    groupLayout->addWidget(m_backup);
    groupLayout->addWidget(note);
    auto* ok = new QPushButton(QStringLiteral("确认(&O)"), this);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::btnOkClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    m_openRecent->setChecked(w->openRecentOnStart());
    m_backup->setChecked(w->backupOnOpen());
}

void OptionsDialog::btnOkClick() {
    // When the file cannot be written the dialog stays open and nothing changes.
    if (!Settings().saveOptions(m_backup->isChecked(), m_openRecent->isChecked()))
        return;
    w->setOptions(m_backup->isChecked(), m_openRecent->isChecked());
    accept();
}

} // namespace vorlane
