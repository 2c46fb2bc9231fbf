// The JSON export of a catalog of 1,000,000 entries, against the sqlite3 command-line tool
// dumping the same rows with -json. Both write to a file in the same folder. Memory must
// stay flat: the export streams.
//   BENCH_ENTRIES   entries in the catalog (default 1,000,000)
#include "benchutil.h"
#include "core/interchange/catalogexport.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using namespace vorlane;

namespace {

const int Entries = qEnvironmentVariableIntValue("BENCH_ENTRIES") > 0
                        ? qEnvironmentVariableIntValue("BENCH_ENTRIES")
                        : 1000000;
constexpr int Discs = 4;
constexpr int PerFolder = 200;
constexpr int Rounds = 3;

// Rows as a scan writes them: each folder, then its files, with times; a few notes, raw
// names and links.
void makeCatalog(const QString& path) {
    writeTemplate(path);
    Database db;
    db.open(path);
    db.exec(QStringLiteral("pragma journal_mode=off; pragma synchronous=off"));
    Transaction tx(db);
    const qint64 category = Record(db, QStringLiteral("qClass"))
                                .set(QStringLiteral("TreeName"), QStringLiteral("光盘"))
                                .append();
    Query ins(db, QStringLiteral("insert into qCDFiles (CdID,FatherId,TreeName,FPath,FSize,IsDir,"
                                 "TreeExp,FTime,FName,Link) values (?,?,?,?,?,?,?,?,?,?)"));
    int made = 0;
    for (int d = 0; d < Discs; ++d) {
        const qint64 disc = Record(db, QStringLiteral("qCD"))
                                .set(QStringLiteral("CDName"), QStringLiteral("光盘 %1").arg(d))
                                .set(QStringLiteral("ClassId"), category)
                                .set(QStringLiteral("SourcePath"), QStringLiteral("/media/cdrom"))
                                .set(QStringLiteral("CDId"), QStringLiteral("DISC_%1").arg(d))
                                .append();
        for (int f = 0; made < Entries * (d + 1) / Discs; ++f) {
            const QString folderPath = QStringLiteral("/照片/%1/folder_%2").arg(d).arg(f);
            ins.reset();
            ins.bindAll({disc, 0, QStringLiteral("folder_%1").arg(f), folderPath, 0, 1, QVariant(),
                         qint64(1600000000) + f, QVariant(), QVariant()});
            ins.exec();
            const qint64 folder = db.lastInsertId();
            ++made;
            for (int i = 0; i < PerFolder && made < Entries * (d + 1) / Discs; ++i, ++made) {
                ins.reset();
                ins.bindAll({disc, folder, QStringLiteral("IMG_%1 \"副本\".jpg").arg(i), folderPath,
                             qint64(i) * 40961 + 3'000'000'000LL, 0,
                             i % 50 == 0 ? QVariant(QStringLiteral("备注\n第二行")) : QVariant(),
                             qint64(1600000000) + i,
                             i % 97 == 0 ? QVariant(QByteArray("IMG_\xb0\xa1.jpg")) : QVariant(),
                             i % 89 == 0 ? QVariant(QStringLiteral("../other.jpg")) : QVariant()});
                ins.exec();
            }
        }
    }
    tx.commit();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("bench.vlr"));
    const QString oursOut = tmp.filePath(QStringLiteral("ours.json"));
    const QString baseOut = tmp.filePath(QStringLiteral("sqlite3.json"));
    const double start = bench::nowMs();
    makeCatalog(file);
    std::printf("setup: %d entries in %.0f ms\n", Entries, bench::nowMs() - start);

    std::vector<double> ours, base;
    for (int round = 0; round < Rounds; ++round) {
        base.push_back(bench::timeMs([&] {
            QProcess p;
            p.setStandardOutputFile(baseOut);
            p.start(QStringLiteral("sqlite3"),
                    {QStringLiteral("-json"), file,
                     QStringLiteral("select * from qCDFiles order by AutoId")});
            p.waitForFinished(-1);
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
                std::fprintf(stderr, "sqlite3 failed\n");
        }));
        ExportResult result = ExportResult::Cancelled;
        ours.push_back(bench::timeMs([&] {
            Database db;
            db.open(file, Database::Mode::ReadOnly);
            QFile out(oursOut);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return;
            result = exportCatalog(db, ExportOptions{}, out);
        }));
        if (result != ExportResult::Done) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        std::printf("round %d: ours %.0f ms (%lld bytes), baseline %.0f ms (%lld bytes)\n",
                    round + 1, ours.back(), static_cast<long long>(QFile(oursOut).size()),
                    base.back(), static_cast<long long>(QFile(baseOut).size()));
    }
    bench::report("export", ours, base, true);
    return 0;
}
