#include "gui/browser/filelistview.h"

#include "core/settings/settings.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/menukeys.h"
#include "gui/browser/thumbnailcache.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace vorlane {

namespace {

// In a list-mode grid each name keeps to its cell and is elided there instead of running
// over the next item.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const auto* view = qobject_cast<const QListView*>(option.widget);
        if (view && view->viewMode() == QListView::ListMode && view->gridSize().isValid())
            size.setWidth(qMin(size.width(), view->gridSize().width()));
        return size;
    }
};

// Large icons: an entry's thumbnail in place of its type icon once it is decoded. Only
// painting asks for one, so only the items in sight are ever fetched.
class ThumbnailDelegate : public CellDelegate {
public:
    ThumbnailDelegate(QObject* parent, ThumbnailCache** thumbnails)
        : CellDelegate(parent), m_thumbnails(thumbnails) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (ThumbnailCache* t = active(option))
            t->want(index.data(Qt::UserRole).toLongLong());
        CellDelegate::paint(painter, option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        CellDelegate::initStyleOption(option, index);
        if (ThumbnailCache* t = active(*option)) {
            if (const QPixmap* p = t->pixmap(index.data(Qt::UserRole).toLongLong()))
                option->icon = QIcon(*p);
        }
    }

private:
    ThumbnailCache* active(const QStyleOptionViewItem& option) const {
        const auto* view = qobject_cast<const QListView*>(option.widget);
        ThumbnailCache* t = *m_thumbnails;
        return view && view->viewMode() == QListView::IconMode && t && !t->isEmpty() ? t : nullptr;
    }

    ThumbnailCache** m_thumbnails;
};

} // namespace

FileListView::FileListView(QWidget* parent)
    : QStackedWidget(parent), m_model(new EntryModel(this)),
      m_selection(new QItemSelectionModel(m_model, this)), m_icons(new QListView(this)),
      m_report(new QTreeView(this)), m_headerMenu(new QMenu(this)) {
    setObjectName(QStringLiteral("lvMain"));
    m_icons->setObjectName(QStringLiteral("lvMainIcons"));
    m_report->setObjectName(QStringLiteral("lvMainReport"));
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(m_icons), static_cast<QAbstractItemView*>(m_report)}) {
        v->setModel(m_model);
        v->setSelectionModel(m_selection);
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::DefaultContextMenu);
        v->installEventFilter(this);
        v->viewport()->installEventFilter(this);
        connect(v, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& i) { emit doubleClicked(i.row()); });
        addWidget(v);
    }
    m_icons->setModelColumn(EntryModel::Name);
    m_icons->setItemDelegate(new ThumbnailDelegate(m_icons, &m_thumbnails));
    m_icons->setTextElideMode(Qt::ElideMiddle);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setBatchSize(2000);
    m_report->setRootIsDecorated(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSortingEnabled(false);
    QHeaderView* header = m_report->header();
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false); // until the first click: the stored order
    header->resizeSection(EntryModel::Name, 150);
    header->resizeSection(EntryModel::Size, 100);
    header->resizeSection(EntryModel::Time, 130);
    header->resizeSection(EntryModel::Note, 200);
    for (int c : {EntryModel::Path, EntryModel::Id, EntryModel::IsDir})
        header->setSectionHidden(c, true);
    // The media facts' columns are chosen from the header's own pop-up menu.
    m_headerMenu->setObjectName(QStringLiteral("HeaderMenu"));
    static const char* const columnNames[] = {"MColDimensions", "MColDuration", "MColTaken",
                                              "MColCamera",     "MColTitle",    "MColArtist",
                                              "MColAlbum"};
    for (int c = EntryModel::FirstMediaColumn; c <= EntryModel::LastMediaColumn; ++c) {
        header->setSectionHidden(c, true);
        header->resizeSection(c, c == EntryModel::Taken ? 140 : 100);
        QAction* a = m_headerMenu->addAction(
            m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        a->setObjectName(QLatin1String(columnNames[c - EntryModel::FirstMediaColumn]));
        a->setCheckable(true);
        a->setData(c);
        connect(a, &QAction::toggled, this, [this, c](bool on) { setMediaColumnShown(c, on); });
    }
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header](const QPoint& pos) { m_headerMenu->popup(header->mapToGlobal(pos)); });
    connect(header, &QHeaderView::sectionClicked, this, &FileListView::headerClicked);
    connect(header, &QHeaderView::sectionResized, this,
            [this](int section) { sectionResized(section); });
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &FileListView::changed);
    connect(m_selection, &QItemSelectionModel::currentChanged, this, &FileListView::changed);
    setStyle(Report);
}

QAbstractItemView* FileListView::activeView() const {
    return m_style == Report ? static_cast<QAbstractItemView*>(m_report)
                             : static_cast<QAbstractItemView*>(m_icons);
}

void FileListView::setStyle(Style style) {
    m_style = style;
    switch (style) {
    case LargeIcon:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        if (m_thumbnailsInLevel && m_thumbnails) {
            const int edge = m_thumbnails->edge();
            m_icons->setIconSize(QSize(edge, edge));
            m_icons->setGridSize(QSize(edge + 32, edge + 48));
        } else {
            m_icons->setIconSize(QSize(32, 32));
            m_icons->setGridSize(QSize(104, 84));
        }
        m_icons->setWordWrap(true);
        // Names wrap onto two lines under the icon, so each item is measured on its own.
        m_icons->setUniformItemSizes(false);
        setCurrentWidget(m_icons);
        break;
    case SmallIcon:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize(160, 22));
        // Uniform sizes would take the last name's width for every item and cut longer names.
        m_icons->setUniformItemSizes(false);
        m_icons->setWordWrap(false);
        setCurrentWidget(m_icons);
        break;
    case List:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize());
        m_icons->setUniformItemSizes(false);
        m_icons->setWordWrap(false);
        setCurrentWidget(m_icons);
        break;
    case Report:
        setCurrentWidget(m_report);
        break;
    }
}

QList<int> FileListView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : m_selection->selectedRows(EntryModel::Name))
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

int FileListView::selectedCount() const {
    return int(m_selection->selectedRows(EntryModel::Name).size());
}

int FileListView::currentRow() const {
    const QModelIndex i = m_selection->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void FileListView::selectRow(int row, bool clearOthers) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex i = m_model->index(row, EntryModel::Name);
    auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    if (clearOthers)
        flags |= QItemSelectionModel::Clear;
    m_selection->setCurrentIndex(i, flags);
    activeView()->scrollTo(i);
}

void FileListView::selectAll() {
    if (m_model->rowCount() == 0)
        return;
    const QItemSelection all(m_model->index(0, 0),
                             m_model->index(m_model->rowCount() - 1, EntryModel::ColumnCount - 1));
    m_selection->select(all, QItemSelectionModel::ClearAndSelect);
}

void FileListView::clearSelection() {
    m_selection->clearSelection();
}

void FileListView::sortByColumn(int column) {
    if (!EntryModel::isSortable(column))
        return;
    const Qt::SortOrder order =
        column == m_model->sortColumn() && m_model->sortOrder() == Qt::AscendingOrder
            ? Qt::DescendingOrder
            : Qt::AscendingOrder;
    m_model->sort(column, order);
    // Set after the header's own flip on a click, so the two never disagree.
    QHeaderView* header = m_report->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, order);
    if (const QModelIndex current = m_selection->currentIndex(); current.isValid())
        activeView()->scrollTo(current);
}

ListViewSettings FileListView::viewSettings() const {
    ListViewSettings view;
    view.style = m_style;
    view.sortColumn = m_model->sortColumn();
    view.descending = m_model->sortOrder() == Qt::DescendingOrder;
    // Only the details style has columns.
    const QHeaderView* header = m_report->header();
    QList<int> widths;
    for (int c = 0; c < EntryModel::ColumnCount; ++c)
        widths << (c == EntryModel::Name && !m_nameSized ? 0 : header->sectionSize(c));
    view.widths.insert(Report, widths);
    view.mediaColumns = shownMediaColumns();
    return view;
}

void FileListView::restoreView(const ListViewSettings& view) {
    if (view.style >= LargeIcon && view.style <= Report)
        setStyle(Style(view.style));
    const QList<int> widths = view.widths.value(Report);
    QHeaderView* header = m_report->header();
    for (int c = 0; c < widths.size() && c < EntryModel::ColumnCount; ++c) {
        if (widths.at(c) <= 0 || !EntryModel::isSortable(c))
            continue;
        if (c == EntryModel::Name)
            m_nameSized = true;
        header->resizeSection(c, widths.at(c));
    }
    for (int c : view.mediaColumns)
        setMediaColumnShown(c, true);
    if (EntryModel::isSortable(view.sortColumn)) {
        const Qt::SortOrder order = view.descending ? Qt::DescendingOrder : Qt::AscendingOrder;
        m_model->sort(view.sortColumn, order);
        header->setSortIndicatorShown(true);
        header->setSortIndicator(view.sortColumn, order);
    }
}

QList<int> FileListView::shownMediaColumns() const {
    QList<int> out;
    for (int c = EntryModel::FirstMediaColumn; c <= EntryModel::LastMediaColumn; ++c) {
        if (!m_report->header()->isSectionHidden(c))
            out << c;
    }
    return out;
}

void FileListView::setMediaColumnShown(int column, bool on) {
    if (!EntryModel::isMediaColumn(column))
        return;
    QHeaderView* header = m_report->header();
    if (header->isSectionHidden(column) == !on)
        return;
    header->setSectionHidden(column, !on);
    for (QAction* a : m_headerMenu->actions()) {
        if (a->data().toInt() == column)
            a->setChecked(on);
    }
    fitNameColumn();
    emit mediaColumnsChanged();
}

void FileListView::setThumbnails(ThumbnailCache* thumbnails) {
    m_thumbnails = thumbnails;
    if (!thumbnails)
        return;
    // A decoded picture repaints its own item.
    connect(thumbnails, &ThumbnailCache::ready, this, [this](const QList<qint64>& ids) {
        for (qint64 id : ids) {
            const int row = m_model->rowOfId(id);
            if (row >= 0)
                m_icons->update(m_model->index(row, EntryModel::Name));
        }
    });
}

void FileListView::setThumbnailsInLevel(bool any) {
    if (any == m_thumbnailsInLevel)
        return;
    m_thumbnailsInLevel = any;
    if (m_style == LargeIcon)
        setStyle(LargeIcon);
}

void FileListView::fitNameColumn() {
    if (m_nameSized)
        return;
    QHeaderView* header = m_report->header();
    int others = 0;
    for (int c = 0; c < header->count(); ++c) {
        if (c != EntryModel::Name && !header->isSectionHidden(c))
            others += header->sectionSize(c);
    }
    const int width = qMax(150, m_report->viewport()->width() - others);
    if (header->sectionSize(EntryModel::Name) == width)
        return;
    m_fitting = true;
    header->resizeSection(EntryModel::Name, width);
    m_fitting = false;
}

void FileListView::sectionResized(int section) {
    if (m_fitting)
        return;
    if (section == EntryModel::Name)
        m_nameSized = true;
    else
        fitNameColumn();
}

bool FileListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_report->viewport() && event->type() == QEvent::Resize) {
        fitNameColumn();
    } else if (isKeyboardMenuRequest(event)) {
        emit contextMenuRequested(keyboardMenuPoint(activeView()));
        return true;
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto mods = key->modifiers() & ~Qt::KeypadModifier;
        if (mods != Qt::NoModifier)
            return QStackedWidget::eventFilter(watched, event);
        switch (key->key()) {
        case Qt::Key_Delete:
            emit deletePressed();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // As a double click on the focused item, which selects that item alone first.
            if (const int row = currentRow(); row >= 0) {
                if (selectedCount() != 1 || !m_selection->isRowSelected(row))
                    selectRow(row);
                emit doubleClicked(row);
            }
            return true;
        case Qt::Key_Backspace:
            emit backPressed();
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::ContextMenu) {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        emit contextMenuRequested(menu->globalPos());
        return true;
    }
    return QStackedWidget::eventFilter(watched, event);
}

} // namespace vorlane
