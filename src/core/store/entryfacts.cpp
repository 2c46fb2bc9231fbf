#include "core/store/entryfacts.h"

#include "core/store/database.h"
#include "core/store/schema.h"

namespace vorlane {

QString EntryFacts::pathBelowRoot() const {
    // A folder's FPath names the folder itself; a file's names the folder holding it.
    return isDir ? path : path + QLatin1Char('/') + name;
}

namespace entryfacts {

std::optional<EntryFacts> read(Database& db, qint64 entryId) {
    // The columns a catalog too old to be upgraded lacks are left out, and their facts
    // stay empty.
    QString columns = QStringLiteral(
        "f.CdID,f.FatherId,f.TreeName,f.FPath,f.FSize,f.IsDir,f.TreeExp,d.CDName,d.SourcePath");
    const bool v2 = hasVersion2Columns(db);
    const bool v3 = v2 && hasVersion3Columns(db);
    const bool v4 = v3 && hasVersion4Columns(db);
    if (v2)
        columns += QStringLiteral(",f.FTime,f.FName,f.Link");
    if (v3)
        columns += QStringLiteral(",f.FHash,f.Archive");
    if (v4)
        columns += QStringLiteral(",f.Special");
    Query q(db,
            QStringLiteral("select %1 from qCDFiles f left join qCD d on d.AutoId=f.CdID "
                           "where f.AutoId=?")
                .arg(columns),
            {entryId});
    if (!q.next())
        return std::nullopt;
    EntryFacts f;
    f.id = entryId;
    f.discId = q.isNull(0) ? 0 : q.integer(0);
    f.fatherId = q.isNull(1) ? 0 : q.integer(1);
    f.name = q.textOr(2);
    f.path = q.textOr(3);
    f.size = q.isNull(4) ? 0 : q.integer(4);
    f.isDir = !q.isNull(5) && q.integer(5) != 0;
    f.note = q.textOr(6);
    f.discName = q.textOr(7);
    f.sourcePath = q.textOr(8);
    if (v2) {
        if (!q.isNull(9))
            f.mtime = q.integer(9);
        if (!q.isNull(10))
            f.raw = q.value(10).toByteArray();
        f.link = q.textOr(11);
    }
    if (v3) {
        if (!q.isNull(12))
            f.hash = q.value(12).toByteArray();
        if (!q.isNull(13) && (q.integer(13) == 1 || q.integer(13) == 2))
            f.archive = ArchiveMark(q.integer(13));
    }
    if (v4 && !q.isNull(14) && !f.isDir)
        f.special = specialKind(q.integer(14));
    if (f.archive == ArchiveMark::Member) {
        f.archiveId = contentstore::archiveOf(db, entryId);
        if (f.archiveId != 0) {
            Query a(db, QStringLiteral("select TreeName,FPath,IsDir from qCDFiles where AutoId=?"),
                    {f.archiveId});
            if (a.next()) {
                EntryFacts archive;
                archive.name = a.textOr(0);
                archive.path = a.textOr(1);
                archive.isDir = !a.isNull(2) && a.integer(2) != 0;
                f.archivePath = archive.pathBelowRoot();
            }
        }
    }
    f.media = mediastore::factsOf(db, entryId);
    return f;
}

} // namespace entryfacts
} // namespace vorlane
