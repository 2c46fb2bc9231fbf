#include "core/store/levelrows.h"

#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/schema.h"

#include <QVariant>
#include <sqlite3.h>

namespace vorlane::contentstore {

namespace {

std::string_view textAt(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return {p ? p : "", size_t(sqlite3_column_bytes(s, column))};
}

} // namespace

void readLevelRows(Database& db, qint64 discId, qint64 folderId,
                   const std::function<bool(const LevelRow&)>& onRow) {
    // The statements of readLevel(), with the raw name beside the text.
    QString columns = QStringLiteral("AutoId,TreeName,%1,TreeExp,FPath,IsDir")
                          .arg(foldersizes::sizeColumn(db, true));
    const bool facts = hasVersion2Columns(db);
    if (facts) {
        columns += QStringLiteral(",FTime,FName");
        if (hasVersion3Columns(db))
            columns += QStringLiteral(",Archive");
    }
    Query q = folderId == 0
                  ? Query(db,
                          QStringLiteral("select %1 from qCDFiles where CdID=? and FatherId=0 "
                                         "order by IsDir desc, AutoId")
                              .arg(columns),
                          {discId})
                  : Query(db,
                          QStringLiteral("select %1 from qCDFiles where CdID=(select CdID from "
                                         "qCDFiles where AutoId=?1) and FatherId=?1 order by "
                                         "IsDir desc, AutoId")
                              .arg(columns),
                          {folderId});
    sqlite3_stmt* const s = q.statement();
    const bool marks = q.columnCount() > 8;
    QByteArray converted;
    while (q.next()) {
        LevelRow r;
        r.id = q.isNull(0) ? 0 : sqlite3_column_int64(s, 0);
        r.name = textAt(s, 1);
        r.size = q.isNull(2) ? 0 : sqlite3_column_int64(s, 2);
        r.note = textAt(s, 3);
        r.path = textAt(s, 4);
        r.isDir = !q.isNull(5) && sqlite3_column_int64(s, 5) != 0;
        if (facts) {
            if (!q.isNull(6))
                r.mtime = sqlite3_column_int64(s, 6);
            switch (sqlite3_column_type(s, 7)) {
            case SQLITE_NULL:
                break;
            case SQLITE_BLOB:
                r.raw = QByteArrayView(static_cast<const char*>(sqlite3_column_blob(s, 7)),
                                       sqlite3_column_bytes(s, 7));
                break;
            default: // not written by this program: read as RawNames reads it
                converted = q.value(7).toByteArray();
                r.raw = converted;
                break;
            }
        }
        if (marks && !q.isNull(8)) {
            const qint64 mark = sqlite3_column_int64(s, 8);
            if (mark == 1 || mark == 2)
                r.archive = ArchiveMark(mark);
        }
        if (!onRow(r))
            break;
    }
}

} // namespace vorlane::contentstore
