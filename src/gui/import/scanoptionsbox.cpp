#include "gui/import/scanoptionsbox.h"

#include "core/import/exclusions.h"
#include "core/import/typedetect.h"
#include "gui/common/icons.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace vorlane {

namespace {

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

ScanOptionsBox::ScanOptionsBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScanOptions"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* typesBox = new QGroupBox(QStringLiteral("只导入以下文件类型"), this);
    auto* typesLayout = new QHBoxLayout(typesBox);
    m_listBox1 = named(new QListWidget(typesBox), "ListBox1");
    m_listBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* typeButtons = new QVBoxLayout;
    auto* speedButton2 = named(new QToolButton(typesBox), "SpeedButton2");
    speedButton2->setToolTip(QStringLiteral("删除必导入的文件类型"));
    speedButton2->setIcon(themeIcon(QStringLiteral("list-remove")));
    // An empty list keeps every file: the way back from a list filled to look at a disc.
    auto* allTypes =
        named(new QPushButton(QStringLiteral("导入所有类型"), typesBox), "btnAllTypes");
    allTypes->setToolTip(QStringLiteral("清空列表，导入所有类型的文件"));
    allTypes->setAutoDefault(false);
    typeButtons->addWidget(speedButton2, 0, Qt::AlignLeft);
    typeButtons->addWidget(allTypes);
    typeButtons->addStretch();
    typesLayout->addWidget(m_listBox1);
    typesLayout->addLayout(typeButtons);
    layout->addWidget(typesBox);

    m_ckOnlyFloder = named(new QCheckBox(QStringLiteral("只导入文件夹"), this), "ckOnlyFloder");
    layout->addWidget(m_ckOnlyFloder);
    m_cbChecksums = named(new QCheckBox(QStringLiteral("计算校验和"), this), "cbChecksums");
    m_cbChecksums->setToolTip(
        QStringLiteral("读取每个文件的内容并保存其校验和（XXH3-128），供以后校验光盘"));
    layout->addWidget(m_cbChecksums);
    m_cbArchives = named(new QCheckBox(QStringLiteral("列出压缩包内容"), this), "cbArchives");
    m_cbArchives->setToolTip(QStringLiteral("zip、7z、tar、iso 文件中的文件也列入目录"));
    layout->addWidget(m_cbArchives);
    m_cbMedia = named(new QCheckBox(QStringLiteral("读取媒体信息"), this), "cbMedia");
    m_cbMedia->setToolTip(QStringLiteral(
        "读取图片的尺寸、拍摄时间、相机和位置，音乐的标签和时长，视频的时长、尺寸和编码"));
    layout->addWidget(m_cbMedia);
    m_cbThumbnails = named(new QCheckBox(QStringLiteral("生成缩略图"), this), "cbThumbnails");
    m_cbThumbnails->setToolTip(QStringLiteral("为图片和视频保存小的预览图，光盘不在时也能看到"));
    layout->addWidget(m_cbThumbnails);
    auto* depthRow = new QHBoxLayout;
    depthRow->addWidget(new QLabel(QStringLiteral("搜索深度："), this));
    m_spSearchDeeper = named(new QSpinBox(this), "spSearchDeeper");
    m_spSearchDeeper->setRange(0, 100);
    depthRow->addWidget(m_spSearchDeeper);
    depthRow->addWidget(new QLabel(QStringLiteral("(0-表示全部)"), this));
    depthRow->addStretch();
    layout->addLayout(depthRow);
    auto* excludeRow = new QHBoxLayout;
    excludeRow->addWidget(new QLabel(QStringLiteral("排除："), this));
    m_txtExclude = named(new QLineEdit(this), "txtExclude");
    m_txtExclude->setPlaceholderText(QStringLiteral("例如 node_modules; *.tmp; Thumbs.db"));
    m_txtExclude->setToolTip(
        QStringLiteral("名称与之相符的文件和文件夹不导入，以分号分隔；* 代表任意多个字符，? "
                       "代表一个字符，区分大小写；含 / 的模式与根目录以下的路径相比"));
    excludeRow->addWidget(m_txtExclude);
    layout->addLayout(excludeRow);

    connect(speedButton2, &QToolButton::clicked, this,
            [this] { qDeleteAll(m_listBox1->selectedItems()); });
    connect(allTypes, &QPushButton::clicked, m_listBox1, &QListWidget::clear);
}

QStringList ScanOptionsBox::types() const {
    QStringList out;
    for (int i = 0; i < m_listBox1->count(); ++i)
        out << m_listBox1->item(i)->data(Qt::UserRole).toString();
    return out;
}

void ScanOptionsBox::setTypes(const QStringList& types) {
    m_listBox1->clear();
    // The list shows captions; the types themselves go with the items.
    for (const QString& t : types) {
        auto* item = new QListWidgetItem(typeCaption(t), m_listBox1);
        item->setData(Qt::UserRole, t);
    }
}

void ScanOptionsBox::setOptions(const ScanParams& options) {
    m_spSearchDeeper->setValue(options.depthLimit);
    m_ckOnlyFloder->setChecked(options.foldersOnly);
    setTypes(options.types);
    m_cbChecksums->setChecked(options.checksums);
    m_cbArchives->setChecked(options.archives);
    m_cbMedia->setChecked(options.media);
    m_cbThumbnails->setChecked(options.thumbnails);
    m_txtExclude->setText(Exclusions::join(options.exclude));
}

void ScanOptionsBox::takeOptions(ScanParams& options) const {
    options.depthLimit = m_spSearchDeeper->value();
    options.foldersOnly = m_ckOnlyFloder->isChecked();
    options.types = types();
    options.checksums = m_cbChecksums->isChecked();
    options.archives = m_cbArchives->isChecked();
    options.media = m_cbMedia->isChecked();
    options.thumbnails = m_cbThumbnails->isChecked();
    options.exclude = Exclusions::split(m_txtExclude->text());
}

} // namespace vorlane
