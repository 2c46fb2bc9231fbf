#include "core/store/schema.h"

#include "core/store/database.h"
#include "core/store/foldersizes.h"

#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <QStringList>
#include <iterator>

namespace vorlane {

namespace {

// The columns the search index reads. A write to any of them, from any program, renews the
// change tag; writes to other columns (hashes, scan facts) leave the index current.
struct WatchedTable {
    const char* table;
    const char* columns;
};
constexpr WatchedTable watchedTables[] = {
    {"qClass", "AutoId, FatherId, TreeName"},
    {"qCD", "AutoId, ClassId, OrderId, CDName, CDExp"},
    {"qCDFiles", "AutoId, CdID, FatherId, IsDir, TreeName, TreeExp, FSize, FTime"},
    {"qMedia",
     "EntryId, Kind, Width, Height, Taken, Make, Model, Title, Artist, Album, DurationMs"},
};

// The triggers' exact text, as the engine keeps it in sqlite_master.
QStringList changeTriggers() {
    QStringList out;
    for (const WatchedTable& t : watchedTables) {
        const QString table = QString::fromLatin1(t.table);
        const QString body = QStringLiteral(" begin update qChange set Tag = random(); end");
        out << QStringLiteral("CREATE TRIGGER qChange_%1_insert after insert on %1").arg(table) +
                   body
            << QStringLiteral("CREATE TRIGGER qChange_%1_delete after delete on %1").arg(table) +
                   body
            << QStringLiteral("CREATE TRIGGER qChange_%1_update after update of %2 on %1")
                       .arg(table, QLatin1String(t.columns)) +
                   body;
    }
    return out;
}

// Media facts, thumbnails and hashes brought in from other programs' listings: rows per
// entry that has any, keyed by the entry's AutoId and removed with it by the trigger,
// whichever program deletes the entry.
void addMediaTables(Database& db) {
    db.exec(QStringLiteral(
        "create table if not exists qMedia (EntryId integer primary key, Kind integer,"
        " Width integer, Height integer, Taken integer, Make text, Model text,"
        " Orientation integer, Lat real, Lon real, Title text, Artist text, Album text,"
        " Track integer, Year integer, Genre text, DurationMs integer, Bitrate integer,"
        " SampleRate integer, Fps real, VideoCodec text, AudioCodec text);"
        "create table if not exists qThumb (EntryId integer primary key, Jpeg blob);"
        "create table if not exists qForeignHash (EntryId integer, Algorithm text, Digest blob,"
        " primary key (EntryId, Algorithm)) without rowid;"
        "create trigger if not exists qMedia_entry_gone after delete on qCDFiles begin"
        " delete from qMedia where EntryId = old.AutoId;"
        " delete from qThumb where EntryId = old.AutoId;"
        " delete from qForeignHash where EntryId = old.AutoId; end;"));
}

// A random tag that every write to a watched column renews, whichever program makes it.
// Random rather than counted: two copies of one file, each changed as often as the other,
// still differ, so an index can never be taken for another file's.
void addChangeTag(Database& db) {
    addMediaTables(db); // its triggers watch qMedia
    db.exec(QStringLiteral("create table if not exists qChange (Tag integer)"));
    if (db.count(QStringLiteral("select Tag from qChange")) != 1) {
        db.exec(QStringLiteral("delete from qChange"));
        db.exec(QStringLiteral("insert into qChange (Tag) values (random())"));
    }
    for (const QString& sql : changeTriggers()) {
        const QString name = sql.section(QLatin1Char(' '), 2, 2);
        const QVariant present = db.scalar(
            QStringLiteral("select sql from sqlite_master where type='trigger' and name=?"),
            {name});
        if (present.isValid() && present.toString() == sql)
            continue;
        db.exec(QStringLiteral("drop trigger if exists [%1]").arg(name));
        db.exec(sql);
    }
}

} // namespace

bool hasChangeTag(Database& db) {
    if (!db.schemaFacts().changeTag) {
        const QStringList expected = changeTriggers();
        qint64 found = 0;
        Query q(db, QStringLiteral("select sql from sqlite_master where type='trigger' and "
                                   "name like 'qChange\\_%' escape '\\'"));
        while (q.next())
            found += expected.contains(q.textOr(0)) ? 1 : 1000;
        db.schemaFacts().changeTag =
            found == expected.size() &&
            db.scalar(QStringLiteral("select count(*) from pragma_table_info('qChange') where "
                                     "lower(name)='tag'"))
                    .toLongLong() == 1;
    }
    return *db.schemaFacts().changeTag;
}

void createCatalogSchema(Database& db) {
    db.exec(QStringLiteral(
        "create table qClass (AutoId integer primary key autoincrement, TreeName text,"
        " FatherId integer default 0, OrderId integer default 0);"
        "create table qCD (AutoId integer primary key autoincrement, CDName text,"
        " ClassId integer default 0, OrderId integer default 0, SourcePath text, CDExp text,"
        " CDId text, ScanTime integer, ScanState integer, FsType text, Capacity integer,"
        " ScanOptions text);"
        "create table qCDFiles (AutoId integer primary key autoincrement, CdID integer,"
        " FatherId integer default 0, TreeName text, FPath text, FSize integer default 0,"
        " IsDir integer default 0, TreeExp text, FTime integer, FName blob, Link text,"
        " FHash blob, Archive integer, Special integer, DirSize integer);"
        "create table sys (ReadPwd text, WritePwd text);"
        "create index qClass_FatherId on qClass(FatherId);"
        "create index qCD_ClassId on qCD(ClassId);"
        "create index qCD_CDId on qCD(CDId);"
        "create index qCDFiles_FatherId on qCDFiles(FatherId);"
        "create index qCDFiles_CdID_FatherId_IsDir on qCDFiles(CdID, FatherId, IsDir desc);"));
    addChangeTag(db);
    db.exec(QStringLiteral("pragma user_version = %1").arg(CatalogVersion));
    db.forgetSchemaFacts();
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

int catalogVersion(Database& db) {
    return int(db.scalar(QStringLiteral("pragma user_version")).toLongLong());
}

namespace {

// Columns that version 2 adds. Older readers never see them: every column they read keeps
// its meaning.
struct AddedColumn {
    const char* table;
    const char* column;
    const char* type;
};
constexpr AddedColumn version2Columns[] = {
    {"qCDFiles", "FTime", "integer"}, // modification time, seconds since 1970 UTC
    {"qCDFiles", "FName", "blob"},    // the name's bytes when they are not UTF-8
    {"qCDFiles", "Link", "text"},     // a symbolic link's target
    {"qCD", "ScanTime", "integer"},   // when the import ended
    {"qCD", "ScanState", "integer"},  // 0 complete, 1 cancelled, 2 failed
    {"qCD", "FsType", "text"},        // the file system the disc was read from
    {"qCD", "Capacity", "integer"},   // that file system's size in bytes
};

// Columns that version 3 adds.
constexpr AddedColumn version3Columns[] = {
    {"qCDFiles", "FHash", "blob"},      // XXH3-128 of the content, big-endian, when asked for
    {"qCDFiles", "Archive", "integer"}, // 1 an archive listed as a folder, 2 one of its members
    {"qCD", "ScanOptions", "text"},     // the import's options as JSON, for a rescan
};

// Columns that version 4 adds.
constexpr AddedColumn version4Columns[] = {
    // 1 a FIFO, 2 a character device, 3 a block device, 4 a socket; null for anything else
    {"qCDFiles", "Special", "integer"},
};

// Columns that version 6 adds.
constexpr AddedColumn version6Columns[] = {
    // a folder's total: the sizes of all files below it (see foldersizes.h); null on files
    {"qCDFiles", "DirSize", "integer"},
};

bool hasColumn(Database& db, const char* table, const char* column) {
    return db
        .scalar(QStringLiteral("select 1 from pragma_table_info(?) where lower(name)=lower(?)"),
                {QString::fromLatin1(table), QString::fromLatin1(column)})
        .isValid();
}

} // namespace

namespace {

template <std::size_t N>
bool hasColumns(Database& db, std::optional<bool>& known, const AddedColumn (&columns)[N]) {
    if (!known) {
        known = true;
        for (const AddedColumn& c : columns) {
            if (!hasColumn(db, c.table, c.column)) {
                known = false;
                break;
            }
        }
    }
    return *known;
}

template <std::size_t N> void addMissing(Database& db, const AddedColumn (&columns)[N]) {
    for (const AddedColumn& c : columns) {
        if (!hasColumn(db, c.table, c.column))
            db.exec(
                QStringLiteral("alter table [%1] add column [%2] %3")
                    .arg(QLatin1String(c.table), QLatin1String(c.column), QLatin1String(c.type)));
    }
}

} // namespace

bool hasVersion2Columns(Database& db) {
    return hasColumns(db, db.schemaFacts().version2, version2Columns);
}

bool hasVersion3Columns(Database& db) {
    return hasColumns(db, db.schemaFacts().version3, version3Columns);
}

bool hasVersion4Columns(Database& db) {
    return hasColumns(db, db.schemaFacts().version4, version4Columns);
}

bool hasVersion6Columns(Database& db) {
    return hasColumns(db, db.schemaFacts().version6, version6Columns);
}

bool hasMediaTables(Database& db) {
    std::optional<bool>& known = db.schemaFacts().media;
    if (!known)
        known = db.count(QStringLiteral(
                    "select name from sqlite_master where (type='table' and "
                    "name in ('qMedia','qThumb','qForeignHash')) or (type='trigger' and "
                    "name='qMedia_entry_gone')")) == 4;
    return *known;
}

namespace {

// Version 2: entries keep their time, raw name and link target, discs their scan facts,
// and a level of a disc (its top level or one folder, folders first, each group in stored
// order) is read straight from one index instead of from every row of the disc. The index
// on CdID alone is covered by the new one's first column. Each part is added only where it
// is missing, so a file that already carries some of it is completed.
void upgradeToVersion2(Database& db) {
    addMissing(db, version2Columns);
    db.exec(QStringLiteral(
        "create index if not exists qCDFiles_CdID_FatherId_IsDir on qCDFiles(CdID, FatherId, "
        "IsDir desc);"
        "drop index if exists qCDFiles_CdID;"));
}

// Version 3: files may carry a content hash, and archives list their members as rows below
// them.
void upgradeToVersion3(Database& db) {
    addMissing(db, version3Columns);
}

// Version 4: FIFOs, devices and sockets are marked as what they are.
void upgradeToVersion4(Database& db) {
    addMissing(db, version4Columns);
}

// Version 5: a change tag that the search index kept on disk is checked against.
void upgradeToVersion5(Database& db) {
    addChangeTag(db);
}

// Version 7: media facts and thumbnails, in tables of their own.
void upgradeToVersion7(Database& db) {
    addMediaTables(db);
    addChangeTag(db);
}

// Version 6: folders carry their totals, worked out here for every disc at once. The
// change tag is renewed by hand: the index reads the totals, but its triggers do not
// watch them, since every later change of a total comes with a write they do see.
void upgradeToVersion6(Database& db) {
    db.forgetSchemaFacts();
    addMissing(db, version6Columns);
    db.forgetSchemaFacts();
    foldersizes::storeTotals(db, std::nullopt);
    db.exec(QStringLiteral("update qChange set Tag = random()"));
}

// Each step brings a catalog of the version before it to its own version, and may only add.
struct UpgradeStep {
    int version;
    void (*apply)(Database&);
};
constexpr UpgradeStep upgradeSteps[] = {
    {2, upgradeToVersion2}, {3, upgradeToVersion3}, {4, upgradeToVersion4},
    {5, upgradeToVersion5}, {6, upgradeToVersion6}, {7, upgradeToVersion7},
};

bool hasCurrentColumns(Database& db) {
    return hasVersion2Columns(db) && hasVersion3Columns(db) && hasVersion4Columns(db) &&
           hasVersion6Columns(db) && hasMediaTables(db) && hasChangeTag(db);
}
static_assert(std::size(upgradeSteps) > 0 && std::end(upgradeSteps)[-1].version == CatalogVersion);

} // namespace

CatalogUpgrade upgradeCatalog(Database& db) {
    // Whatever happens below, the columns are looked up afresh afterwards.
    db.forgetSchemaFacts();
    const auto forget = qScopeGuard([&db] { db.forgetSchemaFacts(); });
    int version = 0;
    try {
        version = catalogVersion(db);
    } catch (const DbError&) {
        return CatalogUpgrade::NotWritable; // locked by another program: try next time
    }
    if (version > CatalogVersion)
        return CatalogUpgrade::Newer;
    try {
        db.exec(QStringLiteral("alter table [qCD] add column [CDId] text(50)"));
    } catch (const DbError&) {
        // Already there, or the file cannot be written: both are fine.
    }
    // Files written at this version before it carried all of its columns are completed.
    if (version == CatalogVersion && hasCurrentColumns(db))
        return CatalogUpgrade::Current;
    if (db.isReadOnly())
        return CatalogUpgrade::NotWritable;
    try {
        Transaction tx(db);
        // Read again inside the transaction: another program may have upgraded meanwhile.
        version = catalogVersion(db);
        if (version > CatalogVersion)
            return CatalogUpgrade::Newer;
        if (version == CatalogVersion && hasCurrentColumns(db))
            return CatalogUpgrade::Current;
        // Every step adds only what is missing, so all of them run: a file stamped with a
        // version before it carried all of that version's columns is completed too.
        for (const UpgradeStep& step : upgradeSteps)
            step.apply(db);
        db.exec(QStringLiteral("pragma user_version = %1").arg(CatalogVersion));
        tx.commit();
    } catch (const DbError&) {
        // Nothing is half done: the transaction rolls every step back.
        return CatalogUpgrade::NotWritable;
    }
    return CatalogUpgrade::Upgraded;
}

void writeTemplate(const QString& path) {
    QFile::remove(path);
    Database db;
    db.open(path, Database::Mode::Create);
    createCatalogSchema(db);
    db.close();
}

} // namespace vorlane
