#include "gui/browser/categoryview.h"

#include <QDrag>
#include <QMimeData>
#include <QPainter>

namespace vorlane {

CategoryView::CategoryView(QWidget* parent) : QTreeWidget(parent) {}

void CategoryView::setDropMark(DropMark mark, const QRect& row) {
    if (mark == m_mark && row == m_markRect)
        return;
    m_mark = mark;
    m_markRect = mark == DropMark::None ? QRect() : row;
    viewport()->update();
}

void CategoryView::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (m_mark == DropMark::None)
        return;
    QPainter p(viewport());
    const QColor colour = palette().color(QPalette::Highlight);
    if (m_mark == DropMark::Into) {
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(m_markRect.adjusted(1, 1, -1, -1));
    } else {
        // A line with a knob at its start, like the insertion marks of file managers.
        const int y = m_markRect.top();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(colour, 2));
        p.drawLine(m_markRect.left() + 4, y, m_markRect.right(), y);
        p.setBrush(colour);
        p.drawEllipse(QPointF(m_markRect.left() + 3, y), 3, 3);
    }
}

void CategoryView::startDrag(Qt::DropActions supportedActions) {
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    QMimeData* data = model()->mimeData({currentIndex()});
    if (!data)
        return;
    // The node's icon and name, small and translucent, below right of the pointer.
    const QFontMetrics metrics(font());
    const int icon = 16;
    const QString text = metrics.elidedText(item->text(0), Qt::ElideRight, 200);
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(
        QSize(icon + 4 + metrics.horizontalAdvance(text) + 6, qMax(icon, metrics.height()) + 4) *
        ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setOpacity(0.8);
        const QRect all(QPoint(0, 0), picture.deviceIndependentSize().toSize());
        p.fillRect(all, palette().color(QPalette::Base));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(all.adjusted(0, 0, -1, -1));
        item->icon(0).paint(&p, QRect(2, (all.height() - icon) / 2, icon, icon));
        p.setPen(palette().color(QPalette::Text));
        p.drawText(all.adjusted(icon + 6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(picture);
    drag->setHotSpot(QPoint(-14, -14));
    // The drop handler moves the node itself; nothing is removed here whatever the result.
    drag->exec(supportedActions, defaultDropAction());
}

} // namespace vorlane
