#include "gui/browser/pathbar.h"

#include "core/store/entrychain.h"
#include "gui/browser/nodes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>

namespace vorlane {

PathBar::PathBar(QWidget* parent) : QWidget(parent), m_row(new QHBoxLayout(this)) {
    setObjectName(QStringLiteral("pathBar"));
    m_row->setContentsMargins(2, 1, 2, 1);
    m_row->setSpacing(0);
    m_row->addStretch();
    // Keeps its height while empty, so the list does not jump when a disc is shown.
    setMinimumHeight(QToolButton().sizeHint().height() + 2);
    // A deep path is cut at the right instead of widening the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void PathBar::clear() {
    m_segments.clear();
    rebuild();
}

void PathBar::showLevel(Database& db, QTreeWidget* tvMain, qint64 discId, qint64 levelId) {
    m_segments.clear();
    QTreeWidgetItem* disc = discId != 0 ? nodes::findDisc(tvMain, discId) : nullptr;
    if (disc) {
        for (QTreeWidgetItem* c = disc->parent(); c; c = c->parent())
            m_segments.prepend({Kind::Category, nodes::id(c), c->text(0)});
        m_segments << Segment{Kind::Disc, discId, disc->text(0)};
        if (levelId != 0) {
            for (const FolderRef& f : contentstore::entryChain(db, levelId))
                m_segments << Segment{Kind::Level, f.id, f.name};
        }
    }
    rebuild();
}

QStringList PathBar::texts() const {
    QStringList out;
    for (const Segment& s : m_segments)
        out << s.text;
    return out;
}

void PathBar::choose(int index) {
    if (index < 0 || index >= m_segments.size())
        return;
    const Segment& s = m_segments.at(index);
    if (s.kind == Kind::Category) {
        emit categoryChosen(s.id);
        return;
    }
    // The next segment is where the user came from: it is selected in the level shown.
    const qint64 from = index + 1 < m_segments.size() ? m_segments.at(index + 1).id : 0;
    emit levelChosen(s.kind == Kind::Disc ? 0 : s.id, from);
}

void PathBar::rebuild() {
    while (m_row->count() > 1) {
        QLayoutItem* item = m_row->takeAt(0);
        // Later: a click on one of them may be what is rebuilding the row.
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (int i = 0; i < m_segments.size(); ++i) {
        if (i > 0) {
            auto* arrow = new QLabel(QStringLiteral("▸"), this);
            arrow->setContentsMargins(2, 0, 2, 0);
            m_row->insertWidget(m_row->count() - 1, arrow);
        }
        auto* button = new QToolButton(this);
        button->setAutoRaise(true);
        button->setText(
            QString(m_segments.at(i).text).replace(QLatin1Char('&'), QStringLiteral("&&")));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // The last segment is where the list is.
        if (i == m_segments.size() - 1) {
            QFont bold = button->font();
            bold.setBold(true);
            button->setFont(bold);
        }
        connect(button, &QToolButton::clicked, this, [this, i] { choose(i); });
        m_row->insertWidget(m_row->count() - 1, button);
    }
}

} // namespace vorlane
