// What an import stores apart from the scan: the duplicate check by volume label and the
// new disc row. No widgets; the import dialog and the command line both use it.
#pragma once

#include <QString>

namespace vorlane {

class Database;

struct NewDisc {
    QString name;      // CDName
    qint64 categoryId; // ClassId
    qint64 orderId;    // OrderId
    QString rootPath;  // stored as SourcePath without trailing "/" ("/" gives "")
    QString label;     // CDId; not written when empty (an import from a directory)
};

// The category name of the first disc already stored with volume label `label`: empty
// when there is none, or when that disc's category no longer exists. The label is bound,
// so any character (quotes included) is safe. Throws DbError.
QString duplicateCategory(Database& db, const QString& label);

// Appends the qCD row and returns its AutoId. Throws DbError.
qint64 addDiscRow(Database& db, const NewDisc& disc);

} // namespace vorlane
