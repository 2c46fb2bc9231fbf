// A main window on isolated settings, started up as a new catalog, with scripted prompts;
// and helpers to read the category tree and reopen a catalog in a fresh window.
#pragma once

#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/store/cataloghandler.h"

#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <memory>

// Settings written through QSettings itself, whose cache would outlive a removed file.
inline void resetSettings(bool firstRun, bool backupOnOpen, bool openRecent) {
    testcat::isolateSettings();
    QSettings s(vorlane::Settings::filePath(), QSettings::IniFormat);
    s.clear();
    s.setValue(QStringLiteral("Options/First"), firstRun ? "1" : "0");
    s.setValue(QStringLiteral("Options/Backup"), backupOnOpen ? "1" : "0");
    s.setValue(QStringLiteral("Options/OpenRecentFile"), openRecent ? "1" : "0");
    s.sync();
}

struct WindowFixture {
    ScriptedPrompts prompts; // declared first: outlives the window
    std::unique_ptr<vorlane::MainWindow> window;

    // `activate`: run the first activation now (no first-run message, no recent file),
    // leaving a new catalog with one category and no unsaved changes.
    explicit WindowFixture(bool backupOnOpen = false, bool activate = true,
                           const QString& startFile = {}) {
        resetSettings(false, backupOnOpen, false);
        window = std::make_unique<vorlane::MainWindow>(startFile);
        if (activate) {
            window->FormActivate();
            window->session().setModified(false);
            prompts.clear();
        }
    }

    vorlane::MainWindow& w() { return *window; }
    QTreeWidget* tree() { return window->tvMain(); }
    bool open(const QString& file) {
        window->catalog()->openCatalogFile(file);
        return window->session().currentFile() == file;
    }
};

// The tree as text, one node a line, two spaces per level; discs marked with "*".
inline QStringList dumpTree(QTreeWidget* tree) {
    QStringList out;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        out << QString(depth * 2, QLatin1Char(' ')) +
                   (vorlane::nodes::isDisc(*it) ? QStringLiteral("*") : QString()) + (*it)->text(0);
    }
    return out;
}

// The tree that a fresh window shows for `file` (its prompts go to the test's script).
inline QStringList reopenedTree(const QString& file) {
    vorlane::MainWindow fresh;
    fresh.catalog()->openCatalogFile(file);
    if (fresh.session().currentFile() != file)
        return {QStringLiteral("<not opened>")};
    return dumpTree(fresh.tvMain());
}

inline QTreeWidgetItem* findNode(QTreeWidget* tree, const QString& text) {
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}
