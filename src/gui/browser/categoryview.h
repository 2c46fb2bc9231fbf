// The category tree's view: marks where a dragged node would go, and drags a small picture
// beside the pointer so that the row under it stays readable.
#pragma once

#include <QRect>
#include <QTreeWidget>

namespace vorlane {

class CategoryView : public QTreeWidget {
    Q_OBJECT

public:
    enum class DropMark {
        None,
        Into,  // a box around the category that takes the node as its last child
        Before // a line above the node that the dragged one goes before
    };
    Q_ENUM(DropMark)

    explicit CategoryView(QWidget* parent = nullptr);

    // Shows (or with DropMark::None hides) the drop mark at `row`, in viewport coordinates.
    void setDropMark(DropMark mark, const QRect& row = {});
    DropMark dropMark() const { return m_mark; }
    QRect dropMarkRect() const { return m_markRect; }

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent* event) override;

private:
    DropMark m_mark = DropMark::None;
    QRect m_markRect;
};

} // namespace vorlane
