// The command line against the usual tools, whole processes, on a catalog of 1,000,000
// entries made in the same run.
//
// The catalog: 9 discs. Disc 1 holds one folder of 100,000 files (the `ls` level) and
// 1,000 folders of 99 files; the other discs 100 folders of 999 files. One name in
// 1,000 holds the rare keyword (in mixed case), every second file name the common one.
// The names go one per line into a text file, the baselines' input.
//
//   cli find rare    `find` (text)         against `rg -F -i -c KEYWORD names.txt`
//   cli find common  `find --format tsv`   against `rg -F -i KEYWORD names.txt`
//   cli ls           `ls` of the 100k level (text) against the sqlite3 command line
//                    selecting the same rows
//   rescan           `rescan` of an unchanged disc against `import` of the same tree into
//                    a new catalog, with the peak memory of the rescan
//   index            the size of the on-disk search index per entry
//
// Output goes to a pipe read to its end (rg takes /dev/null as a hint to stop early).
#include "benchtree.h"
#include "benchutil.h"
#include "core/search/indexfile.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Discs = 9;
constexpr int BigFolder = 100000;
const char* const Rare = "zephyr";
const char* const RareVariants[] = {"Zephyr", "ZEPHYR", "zephyr", "zePhyR"};
const char* const Common = "halfway";

struct Run {
    double ms = 0;
    long bytes = 0; // standard output read
    long maxRssKb = 0;
    std::string head; // the first bytes of the output
    std::string tail; // the last bytes
};

// Runs `argv` with standard output into a pipe read to its end; exits when it fails.
Run runProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    Run r;
    const double start = bench::nowMs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    ::close(fds[1]);
    static char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (r.head.size() < 200)
            r.head.append(buf, size_t(std::min<ssize_t>(n, 200)));
        r.tail.append(buf, size_t(n));
        if (r.tail.size() > 400)
            r.tail.erase(0, r.tail.size() - 200);
        r.bytes += n;
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.ms = bench::nowMs() - start;
    r.maxRssKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0].c_str(), status);
        std::exit(1);
    }
    return r;
}

bool haveProgram(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

struct Catalog {
    long entries = 0;
    long rare = 0;   // names holding the rare keyword
    long common = 0; // names holding the common one
    qint64 bigFolderId = 0;
};

// Writes the catalog and the names, one per line.
Catalog generate(const QString& catalog, const QString& namesPath) {
    vorlane::writeTemplate(catalog);
    vorlane::Database database;
    database.open(catalog);
    sqlite3* db = database.handle();
    FILE* names = std::fopen(QFile::encodeName(namesPath).constData(), "w");
    if (!names) {
        std::perror("names");
        std::exit(1);
    }
    Catalog c;
    database.exec(QStringLiteral("pragma synchronous=off"));
    database.begin();
    sqlite3_stmt* disc = nullptr;
    sqlite3_stmt* entry = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCD (AutoId, CDName, ClassId, OrderId, SourcePath)"
                                 " values (?, ?, 1, ?, '/media/cdrom')",
                                 -1, &disc, nullptr));
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCDFiles (AutoId, CdID, FatherId, TreeName, FPath,"
                                 " FSize, IsDir, FTime) values (?, ?, ?, ?, ?, ?, ?, ?)",
                                 -1, &entry, nullptr));
    database.exec(QStringLiteral("insert into qClass (AutoId, TreeName) values (1, 'Discs')"));
    qint64 id = 0;
    char name[128];
    const auto add = [&](int d, qint64 father, const std::string& path, bool isDir) {
        ++id;
        if (isDir) {
            std::snprintf(name, sizeof name, "folder %lld", static_cast<long long>(id));
        } else if (id % 1000 == 7) {
            std::snprintf(name, sizeof name, "report %s %lld.pdf", RareVariants[(id / 1000) % 4],
                          static_cast<long long>(id));
            ++c.rare;
        } else if (id % 2 == 0) {
            std::snprintf(name, sizeof name, "photo %s %lld.jpg", Common,
                          static_cast<long long>(id));
            ++c.common;
        } else {
            std::snprintf(name, sizeof name, "track %lld.mp3", static_cast<long long>(id));
        }
        sqlite3_reset(entry);
        sqlite3_bind_int64(entry, 1, id);
        sqlite3_bind_int(entry, 2, d);
        sqlite3_bind_int64(entry, 3, father);
        sqlite3_bind_text(entry, 4, name, -1, SQLITE_STATIC);
        const std::string own = isDir ? path + "/" + name : path;
        sqlite3_bind_text(entry, 5, own.data(), int(own.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(entry, 6, isDir ? 0 : (id * 7919) % 5'000'000);
        sqlite3_bind_int(entry, 7, isDir);
        sqlite3_bind_int64(entry, 8, 1'500'000'000 + id * 37);
        check(db, sqlite3_step(entry));
        std::fputs(name, names);
        std::fputc('\n', names);
        ++c.entries;
        return own;
    };
    for (int d = 1; d <= Discs; ++d) {
        const std::string discName = "disc " + std::to_string(d);
        sqlite3_reset(disc);
        sqlite3_bind_int(disc, 1, d);
        sqlite3_bind_text(disc, 2, discName.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(disc, 3, d);
        check(db, sqlite3_step(disc));
        std::fprintf(names, "%s\n", discName.c_str());
        if (d == 1) {
            const std::string path = add(d, 0, "", true);
            c.bigFolderId = id;
            const qint64 father = id;
            for (int i = 0; i < BigFolder; ++i)
                add(d, father, path, false);
            for (int f = 0; f < 1000; ++f) {
                const std::string sub = add(d, 0, "", true);
                const qint64 subId = id;
                for (int i = 0; i < 99; ++i)
                    add(d, subId, sub, false);
            }
        } else {
            for (int f = 0; f < 100; ++f) {
                const std::string sub = add(d, 0, "", true);
                const qint64 subId = id;
                for (int i = 0; i < 999; ++i)
                    add(d, subId, sub, false);
            }
        }
    }
    sqlite3_finalize(disc);
    sqlite3_finalize(entry);
    database.commit();
    std::fclose(names);
    return c;
}

// Bytes per entry of the on-disk search index; -1 while there is none.
// The search index `find` keeps for the catalog (made by the first find of the run).
long long indexBytesPerEntry(const QString& catalog, long entries) {
    const qint64 bytes = vorlane::keptIndexBytes(catalog);
    return bytes < 0 || entries <= 0 ? -1 : (bytes + entries / 2) / entries;
}

struct Pair {
    std::vector<double> ours, baseline;
};

// Baseline and ours alternately, `rounds` times each.
Pair interleaved(int rounds, const std::vector<std::string>& ours,
                 const std::vector<std::string>& baseline, const char* what,
                 long* peakKb = nullptr) {
    Pair p;
    for (int i = 0; i < rounds; ++i) {
        const Run b = runProcess(baseline);
        const Run o = runProcess(ours);
        p.baseline.push_back(b.ms);
        p.ours.push_back(o.ms);
        if (peakKb)
            *peakKb = std::max(*peakKb, o.maxRssKb);
        std::printf("  %s round %d: baseline %.1f ms (%ld bytes), ours %.1f ms (%ld bytes)\n", what,
                    i + 1, b.ms, b.bytes, o.ms, o.bytes);
        std::fflush(stdout);
    }
    return p;
}

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string cli =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/vorlane-cli"))
            .toStdString();
    if (!QFileInfo(QString::fromStdString(cli)).isExecutable()) {
        std::fprintf(stderr, "no %s; build the vorlane-cli target\n", cli.c_str());
        return 1;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vorlane-bench-cli-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    // The search indexes of this run go to its own cache folder, removed with it.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString catalogPath = dir.filePath(QStringLiteral("big.vlr"));
    const QString namesPath = dir.filePath(QStringLiteral("names.txt"));
    const std::string catalog = QFile::encodeName(catalogPath).toStdString();
    const std::string names = QFile::encodeName(namesPath).toStdString();

    std::printf("generating the catalog...\n");
    std::fflush(stdout);
    const double t0 = bench::nowMs();
    const Catalog c = generate(catalogPath, namesPath);
    std::printf("%ld entries (%ld rare, %ld common) in %.0f ms\n", c.entries, c.rare, c.common,
                bench::nowMs() - t0);
    std::fflush(stdout);
    const bool rg = haveProgram("rg");
    const bool sqlite = haveProgram("sqlite3");

    // A first run of each reads the files into the page cache.
    if (rg) {
        runProcess({"rg", "-F", "-i", "-c", Rare, names});
        runProcess({cli, "find", catalog, Rare});
        // The first find builds and keeps the search index; its whole body is hashed until
        // a run finds it settled (two seconds old) and notes it as checked. Time the steady
        // state a user meets, not those first runs.
        ::sleep(3);
        const Run ours = runProcess({cli, "find", catalog, Rare});
        const Run theirs = runProcess({"rg", "-F", "-i", "-c", Rare, names});
        std::printf("  find rare: ours \"%s\", rg \"%s\"\n", lastLine(ours.tail).c_str(),
                    lastLine(theirs.tail).c_str());
        const Pair rare = interleaved(rounds, {cli, "find", catalog, Rare},
                                      {"rg", "-F", "-i", "-c", Rare, names}, "find rare");
        bench::report("cli find rare", rare.ours, rare.baseline, false);

        const Pair common = interleaved(rounds, {cli, "find", catalog, Common, "--format", "tsv"},
                                        {"rg", "-F", "-i", Common, names}, "find common");
        bench::report("cli find common", common.ours, common.baseline, false);
    } else {
        std::printf("cli find rare: skipped, rg is not installed\n");
        std::printf("cli find common: skipped, rg is not installed\n");
    }

    if (sqlite) {
        const std::string folder = std::to_string(c.bigFolderId);
        const std::string query =
            "select AutoId,TreeName,FSize,TreeExp,FPath,IsDir,FTime,FName,Archive from qCDFiles "
            "where CdID=1 and FatherId=" +
            folder + " order by IsDir desc, AutoId";
        const Pair ls = interleaved(rounds, {cli, "ls", catalog, "1", folder},
                                    {"sqlite3", "-readonly", catalog, query}, "ls");
        bench::report("cli ls", ls.ours, ls.baseline, false);
    } else {
        std::printf("cli ls: skipped, sqlite3 is not installed\n");
    }

    {
        // The tree on disk is smaller than the catalog: creating a million files here
        // would take longer than the rest of the run.
        const QString root = dir.filePath(QStringLiteral("tree"));
        QDir().mkpath(root);
        bench::NestedTree tree;
        tree.build(root);
        const std::string treePath = QFile::encodeName(root).toStdString();
        const std::string scanned = QFile::encodeName(dir.filePath("scanned.vlr")).toStdString();
        const std::string fresh = QFile::encodeName(dir.filePath("fresh.vlr")).toStdString();
        runProcess({cli, "new", scanned});
        runProcess({cli, "mkcat", scanned, "discs"});
        runProcess({cli, "import", scanned, treePath, "--category", "1"});
        std::printf("tree: %d entries\n", bench::NestedTree::Folders + bench::NestedTree::Files);
        Pair p;
        long peakKb = 0;
        for (int i = 0; i < std::max(3, rounds - 2); ++i) {
            QFile::remove(QString::fromStdString(fresh));
            runProcess({cli, "new", fresh});
            runProcess({cli, "mkcat", fresh, "discs"});
            const Run b = runProcess({cli, "import", fresh, treePath, "--category", "1"});
            const Run o = runProcess({cli, "rescan", scanned, "1", treePath});
            peakKb = std::max(peakKb, o.maxRssKb);
            p.baseline.push_back(b.ms);
            p.ours.push_back(o.ms);
            std::printf("  rescan round %d: import %.1f ms, rescan %.1f ms (%.1f MB)\n", i + 1,
                        b.ms, o.ms, double(o.maxRssKb) / 1024);
            std::fflush(stdout);
        }
        std::printf("peak-rss %.1f MB\n", double(peakKb) / 1024);
        bench::report("rescan", p.ours, p.baseline, false);
    }

    const long long perEntry = indexBytesPerEntry(catalogPath, c.entries);
    if (perEntry < 0)
        std::printf("index: n/a\n");
    else
        std::printf("index: %lld bytes per entry\n", perEntry);
    return 0;
}
