// Shared by the import tests: a catalog with one disc row, the scan's rows read back, an
// independent walk of a tree to compare them with, and a tree deeper than any stack.
#pragma once

#include "common/catalogs.h"
#include "core/store/database.h"

#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Every entry below `root` whose path has no component beginning with ".", by lstat; a
// symbolic link counts as a file of size 0.
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
        out.insert(rel, Entry{dir, dir || S_ISLNK(st.st_mode) ? 0 : qint64(st.st_size)});
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

// A chain of folders "d" below `root`, far deeper than PATH_MAX and than a walk holding one
// open folder per level could go. Every 100th level also holds a file "f" and a folder "e"
// with a file "g", each followed by `suffix(level, 'f' or 'g')` when given; those listed after "d"
// are only reached on the way back up. All of it lives in a temporary folder (in memory
// where there is a tmpfs), which also has room for a catalog.
class DeepTree {
public:
    QTemporaryDir dir;
    QString root;
    int extras = 0; // levels with "f" and "e"

    explicit DeepTree(const QString& base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                                ? QStringLiteral("/dev/shm/")
                                                : QDir::tempPath() + QLatin1Char('/'))
        : dir(base + QStringLiteral("vorlane-deep-XXXXXX")),
          root(dir.filePath(QStringLiteral("root"))) {}

    // QDir cannot remove a tree beyond PATH_MAX; rm walks it relative to open folders.
    ~DeepTree() { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), root}); }

    // Check QTest::currentTestFailed() after it.
    void build(int depth, const std::function<std::string(int level, char file)>& suffix = {}) {
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkdir(root));
        int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int level = 0; level < depth; ++level) {
            // Made before "d" half of the time, after it otherwise: whether a listing
            // follows the order of making or its reverse, some come after "d".
            const bool extra = level % 100 == 0;
            const bool extraFirst = level % 200 == 0;
            if (!extraFirst)
                QCOMPARE(::mkdirat(fd, "d", 0755), 0);
            if (extra) {
                ++extras;
                QCOMPARE(::mkdirat(fd, "e", 0755), 0);
                for (const char file : {'f', 'g'}) {
                    const std::string name = (file == 'f' ? "f" : "e/g") +
                                             (suffix ? suffix(level, file) : std::string());
                    const int f = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                    QVERIFY(f >= 0);
                    ::close(f);
                }
            }
            if (extraFirst)
                QCOMPARE(::mkdirat(fd, "d", 0755), 0);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            QVERIFY(fd >= 0);
        }
        ::close(fd);
    }
};

// Runs `job` on a 1 MiB stack and under the common limit of 1,024 open files: neither may
// bound the depth of a walk.
inline void onSmallStackWithFewFiles(const std::function<void()>& job) {
    rlimit files{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlimit low{std::min<rlim_t>(files.rlim_cur, 1024), files.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::unique_ptr<QThread> thread(QThread::create(job));
    thread->setStackSize(1024 * 1024);
    thread->start();
    thread->wait();
    ::setrlimit(RLIMIT_NOFILE, &files);
}
