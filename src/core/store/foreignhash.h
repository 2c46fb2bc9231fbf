// Content hashes brought in with another program's listing (hashdeep, the sum listings, a
// JSON catalog): kept per entry with their algorithm in qForeignHash, so that an adopted
// catalog can be verified and searched for duplicates by them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace vorlane {

class Database;

enum class HashAlgorithm { Md5, Sha1, Sha256 };

struct ForeignHash {
    HashAlgorithm algorithm = HashAlgorithm::Md5;
    QByteArray digest; // raw bytes (16, 20 or 32)
    bool operator==(const ForeignHash&) const = default;
};

namespace foreignhash {

// The name stored and shown: "MD5", "SHA-1", "SHA-256".
QString algorithmName(HashAlgorithm algorithm);
// The algorithm of a stored or typed name ("md5", "sha1", "SHA-256"… case aside).
std::optional<HashAlgorithm> algorithmNamed(const QString& name);
// The digest's length in bytes.
int digestLength(HashAlgorithm algorithm);

// The entry's foreign hashes, in the order MD5, SHA-1, SHA-256. Empty on a catalog
// without the table.
std::vector<ForeignHash> hashesOf(Database& db, qint64 entryId);

// Replaces the entry's hash of that algorithm. Throws DbError. A digest of the wrong
// length is not stored.
void store(Database& db, qint64 entryId, const ForeignHash& hash);

} // namespace foreignhash
} // namespace vorlane
