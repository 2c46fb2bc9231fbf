// Helpers for driving the whole program as a user would: a main window over a real catalog
// file, imports of real directory trees through the import dialog, the search window, and
// reading back what the window shows.
#pragma once

#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "common/testdir.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"
#include "gui/store/cataloghandler.h"
#include "gui/store/windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <optional>

namespace flow {

template <class T> T* child(QObject* parent, const char* name) {
    T* c = parent->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

// Queues the answers of one directory import: the import dialog picks `root` through the
// folder chooser (shown as `name`) and confirms; the progress window runs for real; the
// summary message gets its default answer. Trigger InCD afterwards.
inline void scriptDirectoryImport(ScriptedPrompts& prompts, const QString& root,
                                  const QString& name) {
    prompts.answerFolder(root, name);
    prompts.answer(QMessageBox::Yes); // 是否确认导入内容？
    prompts.answerDialog([](QDialog* d) {
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnOk")->click();
        return d->result();
    });
    prompts.answerDialog([](QDialog* d) { return d->exec(); }); // the scan's progress window
}

inline QStringList topLevelFolders(QTreeWidget* tree) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

inline QStringList listNames(vorlane::MainWindow& w) {
    QStringList out;
    for (const vorlane::Entry& e : w.lvMain()->model()->entries())
        out << e.name;
    return out;
}

inline QStringList selectedListNames(vorlane::MainWindow& w) {
    QStringList out;
    for (int row : w.lvMain()->selectedRows())
        out << w.lvMain()->model()->entry(row).name;
    return out;
}

inline int listRow(vorlane::MainWindow& w, const QString& name) {
    const auto& rows = w.lvMain()->model()->entries();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].name == name)
            return int(i);
    }
    return -1;
}

inline QTreeWidgetItem* contentNode(vorlane::MainWindow& w, const QString& name) {
    for (QTreeWidgetItemIterator it(w.tvCDRom()); *it; ++it) {
        if ((*it)->text(0) == name)
            return *it;
    }
    return nullptr;
}

// Runs a search in the window with the given options and returns the hits' names ("disc"
// for a disc hit, "disc/name" for an entry).
inline QStringList search(vorlane::SearchWindow* win, const QString& keyword, bool notes = true) {
    child<QCheckBox>(win, "ckExp")->setChecked(notes);
    child<QComboBox>(win, "cobFind")->setEditText(keyword);
    QSignalSpy ended(win, &vorlane::SearchWindow::searchFinished);
    win->btnBeginFindClick();
    if (win->isSearching() && !ended.wait(20000))
        return {QStringLiteral("(the search did not end)")};
    QStringList out;
    for (int i = 0; i < win->results()->rowCount(); ++i) {
        const std::optional<vorlane::SearchHit> h = win->results()->hit(i);
        out << (h->name.isEmpty() ? h->discName : h->discName + QLatin1Char('/') + h->name);
    }
    return out;
}

// Jumps to the search window's hit named as search() names it.
inline bool jumpTo(vorlane::SearchWindow* win, const QString& hitName) {
    auto* list = child<QTableView>(win, "ListView1");
    for (int i = 0; i < win->results()->rowCount(); ++i) {
        const std::optional<vorlane::SearchHit> h = win->results()->hit(i);
        const QString n =
            h->name.isEmpty() ? h->discName : h->discName + QLatin1Char('/') + h->name;
        if (n == hitName) {
            list->selectRow(i);
            win->btnLookClick();
            return true;
        }
    }
    return false;
}

} // namespace flow
