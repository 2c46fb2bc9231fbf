// The catalog's own passwords, kept in plain text in the first row of its sys table.
#pragma once

#include <QString>

namespace vorlane {

class Database;

struct CatalogPasswords {
    QString read;  // open password; empty when not set
    QString write; // write password; empty when not set
    bool hasRow = false;
};

// The first row of sys; a null value reads as empty.
CatalogPasswords readPasswords(Database& db);
// Writes both passwords into the first row of sys, appending the row when there is none.
// An empty text is stored as null (no password). Throws DbError when it cannot be written.
void writePasswords(Database& db, const QString& read, const QString& write);

// The caption of the password dialogs: "密码：" + the file, shortened to its last 29
// characters behind "..." when longer than 30.
QString passwordCaption(const QString& file);

constexpr int MaxPasswordLength = 40;

} // namespace vorlane
