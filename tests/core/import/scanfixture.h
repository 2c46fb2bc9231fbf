// Shared by the import tests: a catalog with one disc row, the scan's rows read back, and
// an independent walk of a tree to compare them with.
#pragma once

#include "common/catalogs.h"
#include "core/store/database.h"

#include <QDirIterator>
#include <QMap>
#include <QtTest>
#include <sys/stat.h>

struct Row {
    qint64 id = 0;
    qint64 father = 0;
    QString name;
    QString fpath;
    qint64 size = 0;
    bool isDir = false;
    // Path below the root: a folder's FPath, or a file's FPath + "/" + name.
    QString rel() const { return isDir ? fpath : fpath + QLatin1Char('/') + name; }
};

struct Entry {
    bool isDir = false;
    qint64 size = 0;
    bool operator==(const Entry& o) const { return isDir == o.isDir && size == o.size; }
};

inline QList<Row> readRows(vorlane::Database& db, qint64 disc) {
    QList<Row> rows;
    vorlane::Query q(db,
                     QStringLiteral("select AutoId, FatherId, TreeName, FPath, FSize, IsDir from "
                                    "qCDFiles where CdID = ? order by AutoId"),
                     {disc});
    while (q.next())
        rows << Row{q.integer(0), q.integer(1), q.text(2),
                    q.textOr(3),  q.integer(4), q.integer(5) != 0};
    return rows;
}

// Every entry below `root` whose path has no component beginning with ".", by lstat.
inline QMap<QString, Entry> walkTree(const QString& root) {
    QMap<QString, Entry> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString full = it.next();
        const QString rel = full.mid(root.size());
        if (rel.contains(QStringLiteral("/.")))
            continue;
        struct stat st {};
        if (::lstat(QFile::encodeName(full).constData(), &st) != 0)
            continue;
        const bool dir = S_ISDIR(st.st_mode);
        out.insert(rel, Entry{dir, dir ? 0 : qint64(st.st_size)});
    }
    return out;
}

// The rows as a map like walkTree's, failing on duplicates and broken parent links.
inline QMap<QString, Entry> rowsAsTree(const QList<Row>& rows) {
    QMap<QString, Entry> out;
    QMap<qint64, QString> folderById;
    for (const Row& r : rows) {
        if (r.isDir) {
            [&] { QVERIFY2(r.fpath.endsWith(QLatin1Char('/') + r.name), qPrintable(r.fpath)); }();
            folderById.insert(r.id, r.fpath);
        }
    }
    for (const Row& r : rows) {
        const QString rel = r.rel();
        const QString parent = rel.left(rel.lastIndexOf(QLatin1Char('/')));
        [&] {
            QVERIFY2(!out.contains(rel), qPrintable(QStringLiteral("twice: ") + rel));
            if (parent.isEmpty())
                QCOMPARE(r.father, 0);
            else
                QCOMPARE(folderById.value(r.father), parent);
        }();
        out.insert(rel, Entry{r.isDir, r.size});
    }
    return out;
}
