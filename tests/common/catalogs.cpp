#include "common/catalogs.h"

#include "core/store/schema.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace testcat {

void create(const QString& path) {
    vorlane::writeTemplate(path);
}

void createUnversioned(const QString& path, bool withVolumeLabel) {
    QFile::remove(path);
    vorlane::Database db;
    db.open(path, vorlane::Database::Mode::Create);
    db.exec(QStringLiteral(
                "create table qClass (AutoId integer primary key autoincrement, TreeName text,"
                " FatherId integer default 0, OrderId integer default 0);"
                "create table qCD (AutoId integer primary key autoincrement, CDName text,"
                " ClassId integer default 0, OrderId integer default 0, SourcePath text,"
                " CDExp text%1);"
                "create table qCDFiles (AutoId integer primary key autoincrement, CdID integer,"
                " FatherId integer default 0, TreeName text, FPath text, FSize integer default 0,"
                " IsDir integer default 0, TreeExp text);"
                "create table sys (ReadPwd text, WritePwd text);"
                "create index qClass_FatherId on qClass(FatherId);"
                "create index qCD_ClassId on qCD(ClassId);"
                "create index qCDFiles_FatherId on qCDFiles(FatherId);"
                "create index qCDFiles_CdID on qCDFiles(CdID);")
                .arg(withVolumeLabel ? QStringLiteral(", CDId text") : QString()));
}

void setVersion(const QString& path, int version) {
    vorlane::Database db;
    db.open(path);
    db.exec(QStringLiteral("pragma user_version = %1").arg(version));
}

qint64 addCategory(vorlane::Database& db, const QString& name, qint64 father, int order) {
    return vorlane::Record(db, QStringLiteral("qClass"))
        .set(QStringLiteral("TreeName"), name)
        .set(QStringLiteral("FatherId"), father)
        .set(QStringLiteral("OrderId"), order)
        .append();
}

qint64 addDisc(vorlane::Database& db, qint64 classId, const QString& name, int order,
               const QString& sourcePath, const QString& note) {
    vorlane::Record r(db, QStringLiteral("qCD"));
    r.set(QStringLiteral("CDName"), name)
        .set(QStringLiteral("ClassId"), classId)
        .set(QStringLiteral("OrderId"), order)
        .set(QStringLiteral("SourcePath"), sourcePath);
    if (!note.isNull())
        r.set(QStringLiteral("CDExp"), note);
    return r.append();
}

qint64 addEntry(vorlane::Database& db, qint64 disc, qint64 father, const QString& name, bool isDir,
                qint64 size, const QString& fpath, const QString& note) {
    vorlane::Record r(db, QStringLiteral("qCDFiles"));
    r.set(QStringLiteral("CdID"), disc)
        .set(QStringLiteral("FatherId"), father)
        .set(QStringLiteral("TreeName"), name)
        .set(QStringLiteral("FPath"), fpath)
        .set(QStringLiteral("FSize"), size)
        .set(QStringLiteral("IsDir"), isDir ? 1 : 0);
    if (!note.isNull())
        r.set(QStringLiteral("TreeExp"), note);
    return r.append();
}

QList<QVariantList> allRows(const QString& path) {
    vorlane::Database db;
    db.open(path, vorlane::Database::Mode::ReadOnly);
    QList<QVariantList> rows;
    for (const char* table : {"qClass", "qCD", "qCDFiles", "sys"}) {
        vorlane::Query q(db, QStringLiteral("select * from %1").arg(QLatin1String(table)));
        while (q.next()) {
            QVariantList row{QString::fromLatin1(table)};
            for (int i = 0; i < q.columnCount(); ++i)
                row << q.value(i);
            rows << row;
        }
    }
    return rows;
}

void isolateSettings() {
    // A new configuration folder each time: QSettings caches files by name within a
    // process, so removing the old file would not start afresh.
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    folders.push_back(std::make_unique<QTemporaryDir>());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folders.back()->path()));
    // The user's data folder too: the example catalog is copied there.
    qputenv("XDG_DATA_HOME", QFile::encodeName(folders.back()->filePath(QStringLiteral("data"))));
}

} // namespace testcat
