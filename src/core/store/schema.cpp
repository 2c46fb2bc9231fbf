#include "core/store/schema.h"

#include "core/store/database.h"

#include <QFile>
#include <QSet>
#include <QStringList>

namespace vorlane {

void createCatalogSchema(Database& db) {
    db.exec(QStringLiteral(
        "create table qClass (AutoId integer primary key autoincrement, TreeName text,"
        " FatherId integer default 0, OrderId integer default 0);"
        "create table qCD (AutoId integer primary key autoincrement, CDName text,"
        " ClassId integer default 0, OrderId integer default 0, SourcePath text, CDExp text,"
        " CDId text);"
        "create table qCDFiles (AutoId integer primary key autoincrement, CdID integer,"
        " FatherId integer default 0, TreeName text, FPath text, FSize integer default 0,"
        " IsDir integer default 0, TreeExp text);"
        "create table sys (ReadPwd text, WritePwd text);"
        "create index qClass_FatherId on qClass(FatherId);"
        "create index qCD_ClassId on qCD(ClassId);"
        "create index qCD_CDId on qCD(CDId);"
        "create index qCDFiles_FatherId on qCDFiles(FatherId);"
        "create index qCDFiles_CdID on qCDFiles(CdID);"));
}

bool hasCatalogSchema(Database& db) {
    struct Table {
        const char* name;
        QStringList columns;
    };
    static const Table tables[] = {
        {"qClass", {"AutoId", "TreeName", "FatherId", "OrderId"}},
        {"qCD", {"AutoId", "CDName", "ClassId", "OrderId", "SourcePath", "CDExp"}},
        {"qCDFiles",
         {"AutoId", "CdID", "FatherId", "TreeName", "FPath", "FSize", "IsDir", "TreeExp"}},
        {"sys", {"ReadPwd", "WritePwd"}},
    };
    for (const Table& table : tables) {
        // Tables are looked up, and columns matched, without regard to letter case.
        const QString name = QString::fromLatin1(table.name);
        if (db.count(QStringLiteral("select name from sqlite_master where type='table' and "
                                    "lower(name)=lower(?)"),
                     {name}) != 1)
            return false;
        QSet<QString> present;
        Query q(db, QStringLiteral("select name from pragma_table_info(?)"), {name});
        while (q.next())
            present.insert(q.text(0).toLower());
        for (const QString& column : table.columns) {
            if (!present.contains(column.toLower()))
                return false;
        }
    }
    return true;
}

void upgradeCatalog(Database& db) {
    try {
        db.exec(QStringLiteral("alter table [qCD] add column [CDId] text(50)"));
    } catch (const DbError&) {
        // Already there, or the file cannot be written: both are fine.
    }
}

void writeTemplate(const QString& path) {
    QFile::remove(path);
    Database db;
    db.open(path, Database::Mode::Create);
    createCatalogSchema(db);
    db.close();
}

} // namespace vorlane
