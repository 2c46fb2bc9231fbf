#include "core/store/passwords.h"

#include "core/store/database.h"

namespace vorlane {

namespace {
QVariant nullWhenEmpty(const QString& text) {
    return text.isEmpty() ? QVariant() : QVariant(text);
}
} // namespace

CatalogPasswords readPasswords(Database& db) {
    CatalogPasswords p;
    Query q(db, QStringLiteral("select ReadPwd, WritePwd from sys order by rowid limit 1"));
    if (!q.next())
        return p;
    p.hasRow = true;
    p.read = q.value(0).toString();
    p.write = q.value(1).toString();
    return p;
}

void writePasswords(Database& db, const QString& read, const QString& write) {
    const QVariant rowid =
        db.scalar(QStringLiteral("select rowid from sys order by rowid limit 1"));
    if (rowid.isValid()) {
        db.exec(QStringLiteral("update sys set ReadPwd=?, WritePwd=? where rowid=?"),
                {nullWhenEmpty(read), nullWhenEmpty(write), rowid});
    } else {
        db.exec(QStringLiteral("insert into sys (ReadPwd, WritePwd) values (?, ?)"),
                {nullWhenEmpty(read), nullWhenEmpty(write)});
    }
}

QString passwordCaption(const QString& file) {
    if (file.size() <= 30)
        return QStringLiteral("密码：") + file;
    return QStringLiteral("密码：...") + file.right(29);
}

} // namespace vorlane
