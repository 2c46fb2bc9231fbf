// Duplicate files across a catalog of 1,000,000 entries against the sqlite3 command line
// running the plain grouping on the same file.
//
// The catalog: 500 discs of 2,000 entries each, one in five a folder; files of every size
// from a few bytes to gigabytes, and every other disc imported with content hashes. About
// 2% of the files are copies of a file on another disc: same name, size and (where both
// discs have hashes) hash. Baseline: `sqlite3 -readonly` grouping the files by size and by
// hash, else name (one `group by`), the groups of two or more printed largest waste first.
// Ours: the duplicate groups with their members, disc names and paths, as the window and
// `vorlane-cli dups` get them, on a connection opened for the run.
#include "benchutil.h"
#include "core/store/database.h"
#include "core/store/duplicatestore.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

constexpr int Discs = 500;
constexpr int EntriesPerDisc = 2000;

const char* const BaselineSql = "select FSize, coalesce(FHash, TreeName) k, count(*) from qCDFiles"
                                " where IsDir=0 and FSize>=1 group by FSize, k having count(*)>1"
                                " order by FSize*(count(*)-1) desc;";

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

struct File {
    std::string name;
    qint64 size;
    unsigned char hash[16];
};

// Writes the catalog; returns the number of planted copies.
long generate(const QString& catalog) {
    vorlane::writeTemplate(catalog);
    vorlane::Database database;
    database.open(catalog);
    sqlite3* db = database.handle();
    database.exec(QStringLiteral("pragma synchronous=off"));
    database.begin();
    database.exec(QStringLiteral("insert into qClass (AutoId, TreeName) values (1, '光盘')"));
    sqlite3_stmt* disc = nullptr;
    sqlite3_stmt* entry = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCD (AutoId, CDName, ClassId, OrderId, SourcePath)"
                                 " values (?, ?, 1, ?, '/media/cdrom')",
                                 -1, &disc, nullptr));
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCDFiles (AutoId, CdID, FatherId, TreeName, FPath,"
                                 " FSize, IsDir, FHash) values (?, ?, ?, ?, ?, ?, ?, ?)",
                                 -1, &entry, nullptr));
    std::mt19937_64 random(20261208);
    // Sizes spread evenly over their orders of magnitude, as on real discs.
    std::uniform_real_distribution<double> magnitude(1.0, 9.5);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<File> earlier;
    earlier.reserve(size_t(Discs) * EntriesPerDisc);
    long copies = 0;
    qint64 id = 0;
    char buf[256];
    for (int d = 1; d <= Discs; ++d) {
        const bool hashed = d % 2 == 0;
        std::snprintf(buf, sizeof buf, "备份光盘 %03d", d);
        sqlite3_bind_int64(disc, 1, d);
        sqlite3_bind_text(disc, 2, buf, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(disc, 3, d);
        check(db, sqlite3_step(disc));
        sqlite3_reset(disc);
        const size_t firstOfDisc = earlier.size();
        // Two levels of folders: a top folder every 100 entries, sub-folders inside it.
        qint64 top = 0, folder = 0;
        for (int j = 0; j < EntriesPerDisc; ++j) {
            ++id;
            const bool isDir = j % 5 == 0;
            sqlite3_bind_int64(entry, 1, id);
            sqlite3_bind_int64(entry, 2, d);
            sqlite3_bind_int64(entry, 3, isDir ? (j % 100 == 0 ? 0 : top) : folder);
            if (isDir) {
                std::snprintf(buf, sizeof buf, "文件夹 %05d", j);
                sqlite3_bind_text(entry, 4, buf, -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(entry, 5, "/文件夹", -1, SQLITE_STATIC);
                sqlite3_bind_int64(entry, 6, 0);
                sqlite3_bind_int(entry, 7, 1);
                sqlite3_bind_null(entry, 8);
                check(db, sqlite3_step(entry));
                sqlite3_reset(entry);
                folder = id;
                if (j % 100 == 0)
                    top = id;
                continue;
            }
            File f;
            if (firstOfDisc > 0 && percent(random) < 2) {
                f = earlier[std::uniform_int_distribution<size_t>(0, firstOfDisc - 1)(random)];
                ++copies;
            } else {
                std::snprintf(buf, sizeof buf, "Photo %07lld - 照片.jpg", id);
                f.name = buf;
                f.size = qint64(std::pow(10.0, magnitude(random)));
                for (unsigned char& c : f.hash)
                    c = static_cast<unsigned char>(random());
            }
            sqlite3_bind_text(entry, 4, f.name.data(), int(f.name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(entry, 5, "/文件夹", -1, SQLITE_STATIC);
            sqlite3_bind_int64(entry, 6, f.size);
            sqlite3_bind_int(entry, 7, 0);
            if (hashed)
                sqlite3_bind_blob(entry, 8, f.hash, 16, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(entry, 8);
            check(db, sqlite3_step(entry));
            sqlite3_reset(entry);
            earlier.push_back(std::move(f));
        }
    }
    sqlite3_finalize(disc);
    sqlite3_finalize(entry);
    database.commit();
    database.close();
    return copies;
}

// Lines the sqlite3 command line printed: the groups it found.
long runBaseline(const QString& catalog) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"),
            {QStringLiteral("-readonly"), catalog, QString::fromLatin1(BaselineSql)});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        std::exit(1);
    }
    return long(p.readAllStandardOutput().count('\n'));
}

long runOurs(const QString& catalog, long* members) {
    vorlane::Database db;
    db.open(catalog, vorlane::Database::Mode::ReadOnly);
    const auto groups = vorlane::duplicatestore::findDuplicates(db, 1);
    *members = 0;
    for (const auto& g : groups)
        *members += long(g.members.size());
    return long(groups.size());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    // VORLANE_BENCH_DIR keeps the catalog between runs (for profiling); it is made once.
    const QString keep = qEnvironmentVariable("VORLANE_BENCH_DIR");
    const QDir dir(keep.isEmpty() ? tmp.path() : keep);
    const QString catalog = dir.filePath(QStringLiteral("dups.vlr"));
    if (keep.isEmpty() || !QFile::exists(catalog)) {
        const double g0 = bench::nowMs();
        const long copies = generate(catalog);
        std::printf("generated %d discs, %d entries in %.0f ms; %ld files are copies\n", Discs,
                    Discs * EntriesPerDisc, bench::nowMs() - g0, copies);
    }

    // Warm the page cache for both before timing.
    long members = 0;
    runBaseline(catalog);
    runOurs(catalog, &members);

    std::vector<double> base, ours;
    long baseGroups = 0, ourGroups = 0;
    for (int round = 0; round < 5; ++round) {
        double t = bench::nowMs();
        baseGroups = runBaseline(catalog);
        base.push_back(bench::nowMs() - t);
        t = bench::nowMs();
        ourGroups = runOurs(catalog, &members);
        ours.push_back(bench::nowMs() - t);
    }
    std::printf("groups: ours %ld (%ld files), sqlite3 %ld\n", ourGroups, members, baseGroups);
    bench::report("dups", ours, base, true);
    return 0;
}
