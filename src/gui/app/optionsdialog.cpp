#include "gui/app/optionsdialog.h"

#include "core/import/exclusions.h"
#include "core/settings/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

OptionsDialog::OptionsDialog(QWidget* parent, WindowOptions& options, bool sizesInKb)
    : QDialog(parent), m_options(options) {
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
    m_sizesInKb = new QCheckBox(QStringLiteral("大小以 KB 显示"), group);
    m_sizesInKb->setObjectName(QStringLiteral("ckSizeInKb"));
    m_sizesInKb->setToolTip(QStringLiteral("不选时按大小显示为 B、KB、MB、GB 或 TB"));
    groupLayout->addWidget(m_sizesInKb);
    // Discs burned on other systems may name files in a legacy encoding; the scan reads
    // such names in this one.
    auto* encodingRow = new QHBoxLayout;
    auto* encodingLabel = new QLabel(QStringLiteral("非 UTF-8 文件名的编码："), group);
    m_encoding = new QComboBox(group);
    m_encoding->setObjectName(QStringLiteral("cbNameEncoding"));
    const QList<QPair<QString, QString>> encodings = {
        {QStringLiteral("GB18030"), QStringLiteral("简体中文 (GB18030/GBK)")},
        {QStringLiteral("BIG5"), QStringLiteral("繁体中文 (Big5)")},
        {QStringLiteral("BIG5-HKSCS"), QStringLiteral("繁体中文 (Big5-HKSCS)")},
        {QStringLiteral("SHIFT_JIS"), QStringLiteral("日文 (Shift_JIS)")},
        {QStringLiteral("EUC-JP"), QStringLiteral("日文 (EUC-JP)")},
        {QStringLiteral("EUC-KR"), QStringLiteral("韩文 (EUC-KR)")},
        {QStringLiteral("CP1252"), QStringLiteral("西欧 (Windows-1252)")},
        {QStringLiteral("CP1251"), QStringLiteral("西里尔文 (Windows-1251)")}};
    for (const auto& [name, label] : encodings)
        m_encoding->addItem(label, name);
    encodingLabel->setBuddy(m_encoding);
    encodingRow->addWidget(encodingLabel);
    encodingRow->addWidget(m_encoding, 1);
    groupLayout->addLayout(encodingRow);
    auto* excludeRow = new QHBoxLayout;
    auto* excludeLabel = new QLabel(QStringLiteral("导入时排除："), group);
    m_exclude = new QLineEdit(group);
    m_exclude->setObjectName(QStringLiteral("txtExclude"));
    m_exclude->setPlaceholderText(QStringLiteral("例如 node_modules; *.tmp; Thumbs.db"));
    m_exclude->setToolTip(QStringLiteral("新增光盘时默认排除的名称或路径，以分号分隔"));
    excludeLabel->setBuddy(m_exclude);
    excludeRow->addWidget(excludeLabel);
    excludeRow->addWidget(m_exclude, 1);
    groupLayout->addLayout(excludeRow);
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

    m_openRecent->setChecked(m_options.openRecentOnStart);
    m_backup->setChecked(m_options.backupOnOpen);
    m_sizesInKb->setChecked(sizesInKb);
    const QString encoding = Settings().nameEncoding();
    int index = m_encoding->findData(encoding, Qt::UserRole, Qt::MatchFixedString);
    if (index < 0) {
        // One set by hand in the settings file stays as it is.
        m_encoding->addItem(encoding, encoding);
        index = m_encoding->count() - 1;
    }
    m_encoding->setCurrentIndex(index);
    m_exclude->setText(Exclusions::join(Settings().defaultExclusions()));
}

void OptionsDialog::btnOkClick() {
    // When the file cannot be written the dialog stays open and nothing changes.
    Settings settings;
    if (!settings.saveOptions(m_backup->isChecked(), m_openRecent->isChecked()) ||
        !settings.saveNameEncoding(m_encoding->currentData().toString()) ||
        !settings.saveSizesInKb(m_sizesInKb->isChecked()))
        return;
    // Saved only when changed: saving makes the next import start from this list again.
    const QStringList exclude = Exclusions::split(m_exclude->text());
    if (exclude != settings.defaultExclusions() && !settings.saveDefaultExclusions(exclude))
        return;
    m_options.backupOnOpen = m_backup->isChecked();
    m_options.openRecentOnStart = m_openRecent->isChecked();
    emit sizesInKbChosen(m_sizesInKb->isChecked());
    accept();
}

} // namespace vorlane
