#include "gui/browser/previewpane.h"

#include "gui/browser/mediatext.h"

#include <QBuffer>
#include <QFormLayout>
#include <QImageReader>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vorlane {

namespace {

// Stored thumbnails are at most 256 px; shown up to twice that, smoothly, never more, so
// a small picture is not blown up into a blur.
constexpr int kMaxScale = 2;

} // namespace

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("previewPane"));
    setMinimumWidth(180);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* body = new QWidget(scroll);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(6, 6, 6, 6);
    m_picture = new QLabel(body);
    m_picture->setObjectName(QStringLiteral("lbPreviewPicture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setMinimumSize(1, 1);
    m_picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    layout->addWidget(m_picture);
    m_name = new QLabel(body);
    m_name->setObjectName(QStringLiteral("lbPreviewName"));
    m_name->setTextFormat(Qt::PlainText);
    m_name->setWordWrap(true);
    m_name->setAlignment(Qt::AlignHCenter);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    layout->addWidget(m_name);
    m_empty = new QLabel(body);
    m_empty->setObjectName(QStringLiteral("lbPreviewEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setEnabled(false); // drawn greyed, as a hint
    layout->addWidget(m_empty);
    m_factsBox = new QWidget(body);
    m_facts = new QFormLayout(m_factsBox);
    m_facts->setContentsMargins(0, 6, 0, 0);
    m_facts->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    m_facts->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addWidget(m_factsBox);
    layout->addStretch(1);
    scroll->setWidget(body);
    showNothing();
}

void PreviewPane::clearFacts() {
    while (m_facts->rowCount() > 0)
        m_facts->removeRow(0);
}

void PreviewPane::showNothing() {
    m_image = {};
    m_picture->clear();
    m_picture->hide();
    m_name->clear();
    m_name->hide();
    clearFacts();
    m_empty->setText(QStringLiteral("选择一个文件以预览"));
    m_empty->show();
}

void PreviewPane::showEntry(const QString& name, const QByteArray& jpeg,
                            const std::optional<MediaFacts>& facts) {
    m_name->setText(name);
    m_name->show();
    m_image = {};
    if (!jpeg.isEmpty()) {
        QBuffer buffer;
        buffer.setData(jpeg);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        m_image = reader.read();
    }
    placePicture();
    clearFacts();
    if (facts) {
        for (const auto& [heading, text] : mediatext::lines(*facts)) {
            auto* label = new QLabel(text, m_factsBox);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            label->setAccessibleName(heading);
            m_facts->addRow(heading + QStringLiteral("："), label);
        }
    }
    const bool none = m_image.isNull() && m_facts->rowCount() == 0;
    m_empty->setText(QStringLiteral("没有预览和媒体信息"));
    m_empty->setVisible(none);
}

void PreviewPane::placePicture() {
    if (m_image.isNull()) {
        m_picture->clear();
        m_picture->hide();
        return;
    }
    const int room = qMax(32, width() - 16);
    const QSize most = m_image.size() * kMaxScale;
    const QSize size =
        m_image.size().scaled(QSize(qMin(room, most.width()), most.height()), Qt::KeepAspectRatio);
    QPixmap pixmap = QPixmap::fromImage(
        m_image.scaled(size * devicePixelRatioF(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_picture->setPixmap(pixmap);
    m_picture->setFixedHeight(size.height());
    m_picture->show();
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePicture();
}

QString PreviewPane::value(const QString& heading) const {
    for (const QLabel* label : m_factsBox->findChildren<QLabel*>()) {
        if (label->accessibleName() == heading)
            return label->text();
    }
    return {};
}

QPixmap PreviewPane::picture() const {
    return m_picture->isHidden() ? QPixmap() : m_picture->pixmap();
}

} // namespace vorlane
