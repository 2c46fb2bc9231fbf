// One level of a disc read as the stored bytes, for listings that print many rows and
// need no QString per field.
#pragma once

#include "core/store/contentstore.h"

#include <QByteArray>
#include <functional>
#include <optional>
#include <string_view>

namespace vorlane::contentstore {

// A row of readLevel() as stored: texts are SQLite's bytes as they are, not checked for
// UTF-8, and valid until the callback returns.
struct LevelRow {
    qint64 id = 0;
    std::string_view name; // TreeName
    std::string_view note; // TreeExp
    std::string_view path; // FPath
    // The name's stored bytes when they are not UTF-8 (FName), as RawNames::of() gives
    // them; empty otherwise.
    QByteArrayView raw;
    qint64 size = 0;
    bool isDir = false;
    std::optional<qint64> mtime;
    ArchiveMark archive = ArchiveMark::None;
};

// The same rows in the same order as readLevel().
void readLevelRows(Database& db, qint64 discId, qint64 folderId,
                   const std::function<bool(const LevelRow&)>& onRow);

} // namespace vorlane::contentstore
