#include "gui/browser/previewpane.h"

#include "gui/browser/mediatext.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
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
    // No scroll area: wrapped lines inside one are measured at the wrong width and cut.
    // The picture gives way to the facts instead (placePicture).
    QWidget* body = this;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(6, 6, 6, 6);
    m_picture = new QLabel(body);
    m_picture->setObjectName(QStringLiteral("lbPreviewPicture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setMinimumSize(1, 1);
    // Its own minimum, not the picture's: the pane never holds the window at a height.
    m_picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
    // One wrapped line a fact: a form's rows keep one line's height when a field wraps.
    m_facts = new QVBoxLayout;
    m_facts->setContentsMargins(0, 6, 0, 0);
    m_facts->setSpacing(4);
    layout->addLayout(m_facts);
    layout->addStretch(1);
    showNothing();
}

void PreviewPane::clearFacts() {
    while (QLayoutItem* item = m_facts->takeAt(0)) {
        delete item->widget();
        delete item;
    }
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
            auto* label = new QLabel(
                QStringLiteral("<b>%1：</b>%2").arg(heading.toHtmlEscaped(), text.toHtmlEscaped()),
                this);
            label->setTextFormat(Qt::RichText);
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            label->setAccessibleName(heading);
            label->setProperty("fact", text);
            m_facts->addWidget(label);
        }
    }
    const bool none = m_image.isNull() && m_facts->count() == 0;
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
    m_picture->show();
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePicture();
}

QString PreviewPane::value(const QString& heading) const {
    for (const QLabel* label : findChildren<QLabel*>()) {
        if (label->accessibleName() == heading)
            return label->property("fact").toString();
    }
    return {};
}

QPixmap PreviewPane::picture() const {
    return m_picture->isHidden() ? QPixmap() : m_picture->pixmap();
}

} // namespace vorlane
