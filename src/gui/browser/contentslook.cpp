// 复制路径 and 属性 in the file list.
#include "core/store/catalogsession.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrylook.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"

namespace vorlane {

namespace {

QList<EntryTarget> selectedTargets(const FileListView* list, qint64 discId) {
    QList<EntryTarget> targets;
    for (int row : list->selectedRows())
        targets.append({discId, list->model()->entry(row).id});
    return targets;
}

} // namespace

void ContentsController::mitCopyPathClick() {
    entrylook::copyPaths(m_views.window, m_session,
                         selectedTargets(m_views.lvMain, m_session.shownDisc()));
}

void ContentsController::mitPropertiesClick() {
    const QList<EntryTarget> targets = selectedTargets(m_views.lvMain, m_session.shownDisc());
    if (!targets.isEmpty())
        entrylook::showProperties(m_views.window, m_session, targets.first());
}

} // namespace vorlane
