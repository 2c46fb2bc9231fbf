#include "core/store/foreignhash.h"

#include "core/store/database.h"
#include "core/store/schema.h"

#include <algorithm>

namespace vorlane::foreignhash {

QString algorithmName(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Md5:
        return QStringLiteral("MD5");
    case HashAlgorithm::Sha1:
        return QStringLiteral("SHA-1");
    case HashAlgorithm::Sha256:
        return QStringLiteral("SHA-256");
    }
    return {};
}

std::optional<HashAlgorithm> algorithmNamed(const QString& name) {
    QString n = name.trimmed().toLower();
    n.remove(QLatin1Char('-'));
    if (n == QLatin1String("md5"))
        return HashAlgorithm::Md5;
    if (n == QLatin1String("sha1"))
        return HashAlgorithm::Sha1;
    if (n == QLatin1String("sha256"))
        return HashAlgorithm::Sha256;
    return std::nullopt;
}

int digestLength(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Md5:
        return 16;
    case HashAlgorithm::Sha1:
        return 20;
    case HashAlgorithm::Sha256:
        return 32;
    }
    return 0;
}

std::vector<ForeignHash> hashesOf(Database& db, qint64 entryId) {
    std::vector<ForeignHash> out;
    if (!hasMediaTables(db))
        return out;
    Query q(db, QStringLiteral("select Algorithm, Digest from qForeignHash where EntryId = ?"),
            {entryId});
    while (q.next()) {
        const std::optional<HashAlgorithm> a = algorithmNamed(q.textOr(0));
        const QByteArray digest = q.value(1).toByteArray();
        if (a && digest.size() == digestLength(*a))
            out.push_back({*a, digest});
    }
    std::sort(out.begin(), out.end(), [](const ForeignHash& a, const ForeignHash& b) {
        return int(a.algorithm) < int(b.algorithm);
    });
    return out;
}

void store(Database& db, qint64 entryId, const ForeignHash& hash) {
    if (hash.digest.size() != digestLength(hash.algorithm))
        return;
    db.exec(QStringLiteral(
                "insert or replace into qForeignHash (EntryId, Algorithm, Digest) values (?,?,?)"),
            {entryId, algorithmName(hash.algorithm), hash.digest});
}

} // namespace vorlane::foreignhash
