// A main window over a real catalog holding one disc with a few levels of entries, for the
// contents, notes and opening tests.
#pragma once

#include "common/actions.h"
#include "common/catalogs.h"
#include "common/recordingopener.h"
#include "common/scriptedprompts.h"
#include "core/store/foldersizes.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/common/platform.h"

#include <QAction>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <memory>

// Opens nothing; records every path and succeeds for paths that exist.

struct DiscFixture {
    // Disc one: folders Docs (Old (Deep)) and Music; files at every level.
    //   /            Docs/ Music/ b.txt 1536 B, a.bin 0 B, big.iso 5 GiB, readme 1 MiB
    //   /Docs        Old/ x.txt          /Docs/Old   Deep/ y.txt
    //   /Docs/Old/Deep  z.txt            /Music      song.mp3
    // Disc two has its own entries that no edit of disc one may touch.
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    RecordingOpener opener;
    std::unique_ptr<vorlane::MainWindow> w;
    QString file;
    qint64 category = 0, disc = 0, disc2 = 0;
    qint64 docs = 0, music = 0, old = 0, deep = 0;
    qint64 bTxt = 0, aBin = 0, bigIso = 0, readme = 0, xTxt = 0, yTxt = 0, zTxt = 0, song = 0;

    DiscFixture() {
        testcat::isolateSettings();
        file = dir.filePath(QStringLiteral("c.vlr"));
        testcat::create(file);
        w = std::make_unique<vorlane::MainWindow>();
        vorlane::Database& d = w->session().db();
        d.open(file);
        category = testcat::addCategory(d, QStringLiteral("电影"));
        disc = testcat::addDisc(d, category, QStringLiteral("光盘一"), 0, dir.path(),
                                QStringLiteral("第一张"));
        disc2 = testcat::addDisc(d, category, QStringLiteral("光盘二"), 1);
        // Files before folders in insertion order, so the fill's grouping is visible.
        bTxt = testcat::addEntry(d, disc, 0, QStringLiteral("b.txt"), false, 1536);
        docs =
            testcat::addEntry(d, disc, 0, QStringLiteral("Docs"), true, 0, QStringLiteral("/Docs"));
        aBin = testcat::addEntry(d, disc, 0, QStringLiteral("a.bin"), false, 0);
        music = testcat::addEntry(d, disc, 0, QStringLiteral("Music"), true, 0,
                                  QStringLiteral("/Music"));
        bigIso = testcat::addEntry(d, disc, 0, QStringLiteral("big.iso"), false,
                                   5LL * 1024 * 1024 * 1024);
        readme = testcat::addEntry(d, disc, 0, QStringLiteral("readme"), false, 1048576, {},
                                   QStringLiteral("说明"));
        old = testcat::addEntry(d, disc, docs, QStringLiteral("Old"), true, 0,
                                QStringLiteral("/Docs/Old"));
        xTxt = testcat::addEntry(d, disc, docs, QStringLiteral("x.txt"), false, 10,
                                 QStringLiteral("/Docs"));
        deep = testcat::addEntry(d, disc, old, QStringLiteral("Deep"), true, 0,
                                 QStringLiteral("/Docs/Old/Deep"));
        yTxt = testcat::addEntry(d, disc, old, QStringLiteral("y.txt"), false, 20,
                                 QStringLiteral("/Docs/Old"));
        zTxt = testcat::addEntry(d, disc, deep, QStringLiteral("z.txt"), false, 30,
                                 QStringLiteral("/Docs/Old/Deep"));
        song = testcat::addEntry(d, disc, music, QStringLiteral("song.mp3"), false, 40,
                                 QStringLiteral("/Music"));
        const qint64 other = testcat::addEntry(d, disc2, 0, QStringLiteral("Other"), true);
        testcat::addEntry(d, disc2, other, QStringLiteral("o.txt"), false, 5);
        vorlane::foldersizes::storeTotals(d, std::nullopt); // as a scan leaves them
    }

    vorlane::Database& db() { return w->session().db(); }
    QTreeWidget* tree() const { return w->tvCDRom(); }
    vorlane::FileListView* list() const { return w->lvMain(); }
    vorlane::EntryModel* model() const { return w->lvMain()->model(); }

    void show() { w->contents()->showDisc(disc, QStringLiteral("光盘一")); }

    QStringList listNames() const {
        QStringList out;
        for (const vorlane::Entry& e : model()->entries())
            out << e.name;
        return out;
    }
    static QStringList childNames(const QTreeWidgetItem* node) {
        QStringList out;
        for (int i = 0; i < node->childCount(); ++i)
            out << node->child(i)->text(0);
        return out;
    }
    QStringList topNodeNames() const {
        QStringList out;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            out << tree()->topLevelItem(i)->text(0);
        return out;
    }
    QTreeWidgetItem* node(qint64 id) const {
        for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
            if (vorlane::nodes::id(*it) == id)
                return *it;
        }
        return nullptr;
    }
    // Selects a folder as a click would (change handling on).
    void selectFolder(qint64 id) {
        QTreeWidgetItem* n = node(id);
        QVERIFY2(n, "folder node loaded");
        tree()->setCurrentItem(n);
    }
    int rowOf(qint64 id) const { return model()->rowOfId(id); }
    void selectRows(std::initializer_list<qint64> ids) {
        list()->clearSelection();
        for (qint64 id : ids)
            list()->selectRow(rowOf(id), false);
    }
    bool enabled(const char* name) const { return testui::action(w, name)->isEnabled(); }
    bool buttonEnabled(const char* name) const { return testui::button(w, name)->isEnabled(); }
    // Every AutoId of qCDFiles, ascending.
    QList<qint64> entryIds() {
        QList<qint64> ids;
        vorlane::Query q(db(), QStringLiteral("select AutoId from qCDFiles order by AutoId"));
        while (q.next())
            ids << q.integer(0);
        return ids;
    }
};
