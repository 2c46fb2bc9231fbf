#include "gui/browser/propertiesdialog.h"

#include "core/store/catalogstore.h"
#include "core/store/entryfacts.h"
#include "gui/browser/discfacts.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/mediatext.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

namespace {

QString sizeWithBytes(qint64 bytes) {
    const QLocale locale;
    return QStringLiteral("%1（%2 字节）")
        .arg(locale.formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat),
             locale.toString(bytes));
}

QString timeText(const std::optional<qint64>& secondsUtc) {
    if (!secondsUtc)
        return QStringLiteral("未知");
    return QDateTime::fromSecsSinceEpoch(*secondsUtc)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString PropertiesDialog::kindText(const EntryFacts& f) {
    if (f.isDir)
        return f.archive == ArchiveMark::Member ? QStringLiteral("压缩包中的文件夹")
                                                : QStringLiteral("文件夹");
    if (f.archive == ArchiveMark::Archive)
        return QStringLiteral("压缩包");
    QString kind = !f.link.isEmpty()                ? QStringLiteral("符号链接")
                   : f.special != SpecialKind::None ? EntryModel::specialText(f.special)
                                                    : QStringLiteral("文件");
    if (f.archive == ArchiveMark::Member)
        kind = QStringLiteral("压缩包中的") + kind;
    return kind;
}

void PropertiesDialog::begin(const QString& title) {
    setObjectName(QStringLiteral("PropertiesDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title + QStringLiteral(" 属性"));
    m_form = new QFormLayout;
    m_form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    m_form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
}

void PropertiesDialog::addRow(const QString& heading, const QString& text) {
    auto* label = new QLabel(text, this);
    // Names and notes are shown as they are, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    label->setMinimumWidth(360);
    label->setAccessibleName(heading);
    m_form->addRow(heading + QStringLiteral("："), label);
}

void PropertiesDialog::finish() {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

PropertiesDialog::PropertiesDialog(QWidget* parent, const EntryFacts& f) : QDialog(parent) {
    begin(f.name);
    addRow(QStringLiteral("名称"), f.name);
    // Bytes the file system gave that are not UTF-8: the name above is only their reading.
    if (!f.raw.isEmpty() && f.raw != f.name.toUtf8())
        addRow(QStringLiteral("原始名称"), QString::fromLatin1(f.raw.toHex(' ')));
    addRow(QStringLiteral("类型"), kindText(f));
    addRow(QStringLiteral("位置"), f.pathBelowRoot());
    addRow(QStringLiteral("完整路径"), f.fullPath());
    if (f.special == SpecialKind::None)
        addRow(QStringLiteral("大小"), sizeWithBytes(f.size));
    addRow(QStringLiteral("修改时间"), timeText(f.mtime));
    if (!f.link.isEmpty())
        addRow(QStringLiteral("链接目标"), f.link);
    // Links, members and special files are never read, so they never have one.
    const bool readable = !f.isDir && f.archive != ArchiveMark::Member && f.link.isEmpty() &&
                          f.special == SpecialKind::None;
    if (readable || !f.hash.isEmpty())
        addRow(QStringLiteral("校验值"),
               f.hash.isEmpty()
                   ? QStringLiteral("未计算")
                   : QStringLiteral("XXH3-128 ") + QString::fromLatin1(f.hash.toHex()));
    if (f.archive == ArchiveMark::Member)
        addRow(QStringLiteral("所在压缩包"),
               f.archivePath.isEmpty() ? QStringLiteral("未知") : f.archivePath);
    if (f.media) {
        for (const auto& [heading, text] : mediatext::lines(*f.media))
            addRow(heading, text);
    }
    addRow(QStringLiteral("注释"), f.note);
    addRow(QStringLiteral("光盘"), f.discName);
    addRow(QStringLiteral("光盘位置"), f.sourcePath.isEmpty() ? QStringLiteral("/") : f.sourcePath);
    finish();
}

PropertiesDialog::PropertiesDialog(QWidget* parent, const DiscRow& disc, const DiscFacts& facts)
    : QDialog(parent) {
    begin(disc.name);
    addRow(QStringLiteral("光盘"), disc.name);
    addRow(QStringLiteral("光盘位置"),
           disc.sourcePath.isEmpty() ? QStringLiteral("/") : disc.sourcePath);
    addRow(QStringLiteral("扫描"), discFactsToolTip(facts));
    addRow(QStringLiteral("注释"), disc.note);
    finish();
}

QString PropertiesDialog::value(const QString& heading) const {
    for (const QLabel* label : findChildren<QLabel*>())
        if (label->accessibleName() == heading)
            return label->text();
    return {};
}

} // namespace vorlane
