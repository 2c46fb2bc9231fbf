// Searches over a catalog of 1,000,000 entries against ripgrep over the same texts.
//
// The catalog: 500 discs of 2,000 entries each, one in five a folder; every disc and one
// entry in fifty carry a note; about 1,000 entries hold the keyword (in mixed case) in
// their name or note. Baselines: ripgrep counting lines over a text file holding every
// name and note, one per line. Ours, on the in-memory index built once beforehand (its
// build time is printed for information), hits collected as the window keeps them:
//   - plain: the search window's keyword search, against `rg -F -i -c KEYWORD`;
//   - regex: a regular expression, against `rg -i -c`; regex-scan likewise, for one that
//     must be run over every text;
//   - query: three words and a size filter in the query language, against `rg -F -i -c`
//     of its rarest word;
//   - after-edit: the first search after one note is changed the way the window changes
//     it (its kind of connection, its index keeper), against the plain search's own time.
// Each is the median of several rounds; then the process's peak memory.
#include "benchutil.h"
#include "core/search/indexkeeper.h"
#include "core/search/query.h"
#include "core/search/searchengine.h"
#include "core/search/searchindex.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "core/store/searchstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
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
// A pattern rather than a word: the keyword's two spellings in file names that end in .mp3.
const char* const Pattern = "zeph[yi]r.*\\.mp3$";
// One whose only run of plain characters is in most names: the texts are not
// narrowed down first, the pattern runs over all of them (printed for information).
const char* const ScanPattern = "track \\d+ - artist ze?phyr";
// Three words that must all be in a name, and a size; the keyword is the rarest of them.
const char* const Query = "artist zephyr mp3 size:>1K";
// The entry whose note is changed; it holds the keyword neither before nor after.
constexpr qint64 EditedEntry = 500'000;
constexpr int Rounds = 9;
constexpr int EditRounds = 5;
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

// Lines of `textPath` that rg counts with `args` in front.
long runRg(const QStringList& args, const QString& textPath) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("rg"), QStringList(args) << textPath);
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().toLong();
}

long runOurs(const vorlane::SearchIndex& index, const vorlane::SearchOptions& options) {
    std::vector<vorlane::IndexHit> hits;
    std::atomic<bool> stop{false};
    index.search(options, hits, &stop);
    return long(hits.size());
}

vorlane::SearchOptions keywordSearch(const char* keyword, vorlane::KeywordMode mode) {
    vorlane::SearchOptions options;
    options.keyword = QString::fromUtf8(keyword);
    options.mode = mode;
    return options;
}

struct Timing {
    std::vector<double> ours, base;
    long ourCount = 0, baseCount = 0;
};

// Rounds of rg and ours in turn, after one of each to warm the caches.
Timing compare(const QStringList& rgArgs, const QString& textPath,
               const std::function<long()>& ours) {
    Timing t;
    runRg(rgArgs, textPath);
    ours();
    for (int round = 0; round < Rounds; ++round) {
        t.base.push_back(bench::timeMs([&] { t.baseCount = runRg(rgArgs, textPath); }));
        t.ours.push_back(bench::timeMs([&] { t.ourCount = ours(); }));
    }
    return t;
}

void print(const char* job, const Timing& t) {
    const double o = bench::median(t.ours);
    const double b = bench::median(t.base);
    std::printf("search %s: ratio %.2f (ours %.1f ms, %ld hits; baseline %.1f ms, %ld lines; "
                "ours %.1f..%.1f ms)\n",
                job, b > 0 ? o / b : 0, o, t.ourCount, b, t.baseCount,
                *std::min_element(t.ours.begin(), t.ours.end()),
                *std::max_element(t.ours.begin(), t.ours.end()));
    std::fflush(stdout);
}

// Runs the event loop until the keeper hands out an index; nullptr after `seconds`.
std::shared_ptr<const vorlane::SearchIndex> waitForIndex(vorlane::IndexKeeper& keeper,
                                                         int seconds) {
    const double until = bench::nowMs() + seconds * 1000.0;
    for (;;) {
        QCoreApplication::processEvents();
        if (auto index = keeper.current())
            return index;
        if (bench::nowMs() > until)
            return nullptr;
        QThread::msleep(2);
    }
}

// The first search after each of a few note edits, as the window makes them: a read-write
// connection, the index keeper on it, the store's note function. When the keeper has no
// current index after the edit, the search goes to SQLite as the window's does.
void afterEdit(const QString& catalog, double plainMs) {
    vorlane::Database window;
    window.open(catalog);
    vorlane::IndexKeeper keeper(window);
    const vorlane::SearchOptions options = keywordSearch(Keyword, vorlane::KeywordMode::Substring);
    std::vector<double> times;
    long hits = 0;
    int throughSql = 0;
    for (int round = 0; round < EditRounds; ++round) {
        if (!waitForIndex(keeper, 300)) {
            std::printf("search after-edit: no index after 300 s\n");
            return;
        }
        vorlane::contentstore::setNote(window, EditedEntry,
                                       QStringLiteral("edited in round %1").arg(round + 1));
        std::vector<vorlane::IndexHit> found;
        std::atomic<bool> stop{false};
        times.push_back(bench::timeMs([&] {
            QCoreApplication::processEvents();
            if (const auto index = keeper.current()) {
                index->search(options, found, &stop);
                hits = long(found.size());
            } else {
                ++throughSql;
                hits = 0;
                vorlane::SearchCallbacks count;
                count.onHit = [&](const vorlane::SearchHit&) { ++hits; };
                vorlane::runSearch(window, options, count);
            }
        }));
    }
    const double o = bench::median(times);
    std::printf("search after-edit: ratio %.2f (ours %.1f ms, %ld hits; plain search %.1f ms; "
                "%d of %d through SQLite, the index being stale)\n",
                plainMs > 0 ? o / plainMs : 0, o, hits, plainMs, throughSql, EditRounds);
    std::fflush(stdout);
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
    // The index keeper keeps its index file beside the data, not in the user's cache.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));

    if (keep.isEmpty() || !QFile::exists(catalog) || !QFile::exists(textPath)) {
        const double g0 = bench::nowMs();
        const long expected = generate(catalog, textPath);
        std::printf("generated %d discs, %d entries in %.0f ms; %ld entries hold the keyword\n",
                    Discs, Discs * EntriesPerDisc, bench::nowMs() - g0, expected);
    }

    double plainMs = 0;
    {
        vorlane::Database db;
        db.open(catalog, vorlane::Database::Mode::ReadOnly);
        const double t0 = bench::nowMs();
        const auto index = vorlane::SearchIndex::build(db, vorlane::searchstore::stamp(db));
        std::printf("index: built in %.0f ms, %.1f MB for %lld entries\n", bench::nowMs() - t0,
                    double(index->memoryBytes()) / 1e6, index->entryCount());
        std::fflush(stdout);

        const QString keyword = QString::fromLatin1(Keyword);
        const auto plain = keywordSearch(Keyword, vorlane::KeywordMode::Substring);
        const Timing p =
            compare({QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("-c"), keyword},
                    textPath, [&] { return runOurs(*index, plain); });
        print("plain", p);
        plainMs = bench::median(p.ours);

        const auto regex = keywordSearch(Pattern, vorlane::KeywordMode::Regex);
        print("regex",
              compare({QStringLiteral("-i"), QStringLiteral("-c"), QString::fromLatin1(Pattern)},
                      textPath, [&] { return runOurs(*index, regex); }));

        const auto scan = keywordSearch(ScanPattern, vorlane::KeywordMode::Regex);
        print("regex-scan", compare({QStringLiteral("-i"), QStringLiteral("-c"),
                                     QString::fromLatin1(ScanPattern)},
                                    textPath, [&] { return runOurs(*index, scan); }));

        auto parsed = vorlane::SearchQuery::parse(QString::fromLatin1(Query));
        if (const auto* error = std::get_if<vorlane::QueryError>(&parsed)) {
            std::printf("search query: cannot parse \"%s\": %s at %lld\n", Query,
                        qPrintable(error->message), qint64(error->offset));
        } else {
            const auto& query = std::get<vorlane::SearchQuery>(parsed);
            print("query", compare({QStringLiteral("-F"), QStringLiteral("-i"),
                                    QStringLiteral("-c"), keyword},
                                   textPath, [&] {
                                       std::vector<vorlane::IndexHit> hits;
                                       std::atomic<bool> stop{false};
                                       index->query(query, hits, &stop);
                                       return long(hits.size());
                                   }));
        }
    }
    // One index at a time: the first is gone before the keeper makes its own.
    afterEdit(catalog, plainMs);
    std::printf("peak-rss %.0f MB\n", bench::peakRssMb());
    return 0;
}
