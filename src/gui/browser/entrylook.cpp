#include "gui/browser/entrylook.h"

#include "core/store/catalogsession.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "core/store/entryfacts.h"
#include "gui/browser/propertiesdialog.h"
#include "gui/common/prompts.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace vorlane::entrylook {

void copyPaths(QWidget* parent, CatalogSession& session, const QList<EntryTarget>& targets) {
    if (targets.isEmpty())
        return;
    QStringList lines;
    try {
        Database& db = session.db();
        for (const EntryTarget& t : targets) {
            if (t.entryId != 0) {
                if (const std::optional<EntryFacts> f = entryfacts::read(db, t.entryId))
                    lines << f->fullPath();
            } else if (const std::optional<DiscRow> d = catalogstore::discRow(db, t.discId)) {
                // A disc read from the root stores no path of its own.
                lines << (d->sourcePath.isEmpty() ? QStringLiteral("/") : d->sourcePath);
            }
        }
    } catch (const DbError& error) {
        prompts().error(parent, error.text(), QStringLiteral("提示"));
        return;
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void showProperties(QWidget* parent, CatalogSession& session, const EntryTarget& target) {
    PropertiesDialog* dialog = nullptr;
    try {
        Database& db = session.db();
        if (target.entryId != 0) {
            if (const std::optional<EntryFacts> f = entryfacts::read(db, target.entryId))
                dialog = new PropertiesDialog(parent, *f);
        } else if (const std::optional<DiscRow> d = catalogstore::discRow(db, target.discId)) {
            const std::optional<DiscFacts> facts = catalogstore::discFacts(db, target.discId);
            dialog = new PropertiesDialog(parent, *d, facts.value_or(DiscFacts{}));
        }
    } catch (const DbError& error) {
        prompts().error(parent, error.text(), QStringLiteral("提示"));
        return;
    }
    if (!dialog) {
        prompts().info(parent, QStringLiteral("目录中已没有这一项。"), QStringLiteral("提示"));
        return;
    }
    // The facts of the open catalog only: another file's would mislead.
    QObject::connect(&session, &CatalogSession::fileChanged, dialog, &QDialog::close);
    dialog->show();
}

namespace {

// Alt+Enter runs the action while the view has the focus. A key event of the view's own
// rather than a shortcut: the window's keys stay unique, and a view's handling of Enter
// (a jump) never sees it.
class AltEnter : public QObject {
public:
    AltEnter(QWidget* view, QAction* action) : QObject(view), m_action(action) {
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier)
            return QObject::eventFilter(watched, event);
        if (m_action->isEnabled())
            m_action->trigger();
        return true;
    }

private:
    QAction* m_action;
};

} // namespace

void onAltEnter(QWidget* view, QAction* action) {
    new AltEnter(view, action);
    // The menu names the key as it names a shortcut.
    action->setText(action->text() + QLatin1Char('\t') +
                    QKeySequence(Qt::ALT | Qt::Key_Return).toString(QKeySequence::NativeText));
}

Actions attach(QAbstractItemView* view, const QString& prefix, CatalogSession& session,
               std::function<QList<EntryTarget>()> targets) {
    Actions a;
    a.copyPath = new QAction(QStringLiteral("复制路径"), view);
    a.copyPath->setObjectName(prefix + QStringLiteral("CopyPath"));
    a.properties = new QAction(QStringLiteral("属性"), view);
    a.properties->setObjectName(prefix + QStringLiteral("Properties"));
    onAltEnter(view, a.properties);
    // The window is asked for when a command runs: the view may be placed after this.
    QObject::connect(a.copyPath, &QAction::triggered, view,
                     [view, &session, targets] { copyPaths(view->window(), session, targets()); });
    QObject::connect(a.properties, &QAction::triggered, view, [view, &session, targets] {
        const QList<EntryTarget> chosen = targets();
        if (!chosen.isEmpty())
            showProperties(view->window(), session, chosen.first());
    });
    a.menu = new QMenu(view);
    a.menu->setObjectName(prefix + QStringLiteral("Menu"));
    a.menu->addActions({a.copyPath, a.properties});
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, a.menu,
                     [view, menu = a.menu, targets](const QPoint& pos) {
                         if (!targets().isEmpty())
                             menu->popup(view->viewport()->mapToGlobal(pos));
                     });
    return a;
}

} // namespace vorlane::entrylook
