// Keyword search over a catalog of 1,000,000 entries against ripgrep over the same texts.
//
// The catalog: 500 discs of 2,000 entries each, one in five a folder; every disc and one
// entry in fifty carry a note; about 1,000 entries hold the keyword (in mixed case) in
// their name or note. Baseline: `rg -F -i -c` over a text file holding every name and
// note, one per line. Ours: the search window's search of all three phases to the end on
// the in-memory index, built once beforehand (its build time is printed for information),
// hits collected as the window keeps them.
#include "benchutil.h"
#include "core/search/searchengine.h"
#include "core/search/searchindex.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "core/store/searchstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

constexpr int Discs = 500;
constexpr int EntriesPerDisc = 2000;
const char* const Keyword = "zephyr";
const char* const Variants[] = {"Zephyr", "ZEPHYR", "zephyr", "zePhyR"};

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void bindText(sqlite3* db, sqlite3_stmt* s, int i, const std::string& t) {
    check(db, sqlite3_bind_text(s, i, t.data(), int(t.size()), SQLITE_TRANSIENT));
}

// Writes the catalog and the text file; returns the expected number of hits.
long generate(const QString& catalog, const QString& textPath) {
    vorlane::writeTemplate(catalog);
    vorlane::Database database;
    database.open(catalog);
    sqlite3* db = database.handle();
    QFile textFile(textPath);
    if (!textFile.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(textPath));
        std::exit(1);
    }
    std::string text;
    text.reserve(64 << 20);
    long expected = 0;

    database.exec(QStringLiteral("pragma synchronous=off"));
    database.begin();
    sqlite3_stmt* disc = nullptr;
    sqlite3_stmt* entry = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCD (AutoId, CDName, ClassId, OrderId, SourcePath,"
                                 " CDExp) values (?, ?, 1, ?, '/media/cdrom', ?)",
                                 -1, &disc, nullptr));
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCDFiles (AutoId, CdID, FatherId, TreeName, FPath,"
                                 " FSize, IsDir, TreeExp) values (?, ?, ?, ?, ?, ?, ?, ?)",
                                 -1, &entry, nullptr));
    database.exec(QStringLiteral("insert into qClass (AutoId, TreeName) values (1, '光盘')"));

    qint64 id = 0;
    char buf[256];
    for (int d = 1; d <= Discs; ++d) {
        std::snprintf(buf, sizeof buf, "备份光盘 %03d Backup", d);
        const std::string name = buf;
        std::snprintf(buf, sizeof buf, "光盘 %d 的说明：照片、文档和 setup files, volume %d", d,
                      d * 7);
        const std::string note = buf;
        sqlite3_bind_int64(disc, 1, d);
        bindText(db, disc, 2, name);
        sqlite3_bind_int64(disc, 3, Discs - d);
        bindText(db, disc, 4, note);
        check(db, sqlite3_step(disc));
        sqlite3_reset(disc);
        text += name + '\n' + note + '\n';

        qint64 lastFolder = 0;
        for (int j = 0; j < EntriesPerDisc; ++j) {
            ++id;
            const bool isDir = j % 5 == 0;
            const bool keyName = id % 1000 == 17;
            const bool keyNote = id % 10000 == 333;
            std::string entryName;
            if (isDir) {
                std::snprintf(buf, sizeof buf, "文件夹 Folder_%05d%s", j,
                              keyName ? Variants[id % 4] : "");
            } else {
                std::snprintf(buf, sizeof buf, "Track %05lld - Artist %s名字.mp3", id,
                              keyName ? Variants[id % 4] : "Name");
            }
            entryName = buf;
            const qint64 father = j < 50 ? 0 : lastFolder;
            sqlite3_bind_int64(entry, 1, id);
            sqlite3_bind_int64(entry, 2, d);
            sqlite3_bind_int64(entry, 3, father);
            bindText(db, entry, 4, entryName);
            bindText(db, entry, 5, father ? "/Folder/Sub" : "");
            sqlite3_bind_int64(entry, 6, isDir ? 0 : 3'000'000 + id);
            sqlite3_bind_int(entry, 7, isDir ? 1 : 0);
            text += entryName + '\n';
            const bool hasNote = id % 50 == 3 || keyNote;
            if (hasNote) {
                std::snprintf(buf, sizeof buf, "备注 %lld: live recording, remastered %s", id,
                              keyNote ? Variants[id % 4] : "edition");
                const std::string n = buf;
                bindText(db, entry, 8, n);
                text += n + '\n';
            } else {
                sqlite3_bind_null(entry, 8);
            }
            check(db, sqlite3_step(entry));
            sqlite3_reset(entry);
            if (isDir)
                lastFolder = id;
            if (keyName || keyNote)
                ++expected;
        }
    }
    sqlite3_finalize(disc);
    sqlite3_finalize(entry);
    database.commit();
    database.close();
    textFile.write(text.data(), qint64(text.size()));
    return expected;
}

long runRg(const QString& textPath) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("rg"), {QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("-c"),
                                   QString::fromLatin1(Keyword), textPath});
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().toLong();
}

long runOurs(const vorlane::SearchIndex& index) {
    vorlane::SearchOptions options;
    options.keyword = QString::fromLatin1(Keyword);
    std::vector<vorlane::IndexHit> hits;
    std::atomic<bool> stop{false};
    index.search(options, hits, &stop);
    return long(hits.size());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    // VORLANE_BENCH_DIR keeps the data between runs (for profiling); it is made once.
    const QString keep = qEnvironmentVariable("VORLANE_BENCH_DIR");
    const QDir dir(keep.isEmpty() ? tmp.path() : keep);
    const QString catalog = dir.filePath(QStringLiteral("bench.vlr"));
    const QString textPath = dir.filePath(QStringLiteral("bench.txt"));

    if (keep.isEmpty() || !QFile::exists(catalog) || !QFile::exists(textPath)) {
        const double g0 = bench::nowMs();
        const long expected = generate(catalog, textPath);
        std::printf("generated %d discs, %d entries in %.0f ms; %ld entries hold the keyword\n",
                    Discs, Discs * EntriesPerDisc, bench::nowMs() - g0, expected);
    }

    vorlane::Database db;
    db.open(catalog, vorlane::Database::Mode::ReadOnly);
    double t0 = bench::nowMs();
    const auto index = vorlane::SearchIndex::build(db, vorlane::searchstore::stamp(db));
    std::printf("index: built in %.0f ms, %.1f MB for %lld entries\n", bench::nowMs() - t0,
                double(index->memoryBytes()) / 1e6, index->entryCount());
    // Warm the page cache for both before timing.
    runRg(textPath);
    runOurs(*index);

    std::vector<double> base, ours;
    long grepCount = 0, ourCount = 0;
    for (int round = 0; round < 9; ++round) {
        double t = bench::nowMs();
        grepCount = runRg(textPath);
        base.push_back(bench::nowMs() - t);
        t = bench::nowMs();
        ourCount = runOurs(*index);
        ours.push_back(bench::nowMs() - t);
        std::printf("round %d: rg %.1f ms (%ld lines), ours %.1f ms (%ld hits)\n", round + 1,
                    base.back(), grepCount, ours.back(), ourCount);
    }
    const double mb = bench::median(base);
    const double mo = bench::median(ours);
    std::printf("peak-rss %.1f MB\n", bench::peakRssMb());
    std::printf("search: ratio %.2f (ours %.0f ms, baseline %.0f ms)\n", mo / mb, mo, mb);
    return 0;
}
