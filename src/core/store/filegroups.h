// Which files of a catalog are the same, as the duplicate search and the copy count see it
// (no widgets; used by duplicatestore and copiesstore only).
//
// Only files count (no folders, no symbolic links), and only those of at least a given size.
// Files of one size are the same when they share a content hash of one algorithm (ours,
// XXH3-128, or one brought in: SHA-256, SHA-1, MD5) and no algorithm both have tells them
// apart. A file with no hash at all, and files whose hashes have no algorithm in common, are
// the same by size and name, as long as the hashed files of that size and name could all be
// one content; when they could not, the unhashed ones are the same only among themselves.
// Every file ends up in exactly one group, and no group ever holds two files whose hashes of
// one algorithm differ.
#pragma once

#include "core/store/duplicatestore.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

class Database;

namespace filegroups {

// Hash slots: ours, then those brought in, the strongest first.
constexpr int kSlots = 4;
QString slotName(int slot);

// A file read from the catalog. Its name and hashes are kept in one buffer for all, as
// offsets: hundreds of thousands of files then cost no allocation each.
struct Candidate {
    qint64 size = 0;
    qint64 id = 0;
    qint64 discId = 0;
    qint64 folderId = 0;
    quint32 nameAt = 0, nameLength = 0;
    std::array<quint32, kSlots> hashAt{}, hashLength{}; // no hash: length 0
    bool hashed() const {
        for (quint32 l : hashLength)
            if (l > 0)
                return true;
        return false;
    }
};

class Candidates {
public:
    void add(Candidate c, std::string_view name, std::string_view hash);
    void setHash(size_t index, int slot, std::string_view hash);
    std::vector<Candidate>& files() { return m_files; }
    std::string_view name(const Candidate& c) const { return view(c.nameAt, c.nameLength); }
    std::string_view hash(const Candidate& c, int slot) const {
        return view(c.hashAt[size_t(slot)], c.hashLength[size_t(slot)]);
    }

private:
    quint32 store(std::string_view bytes);
    std::string_view view(quint32 at, quint32 length) const {
        return std::string_view(m_bytes).substr(at, length);
    }
    std::vector<Candidate> m_files;
    std::string m_bytes;
};

// One group of the same file.
struct Found {
    qint64 size = 0;
    int slot = -1;  // the algorithm of `key`; -1: the members match by size and name alone
    QByteArray key; // the hash shown, or the name
    std::vector<const Candidate*> members;
};

// The order of groups listed: larger files first, then those matched by a hash, by
// algorithm, then by key, so that a listing never depends on the order of reading.
bool listedBefore(const Found& a, const Found& b);

// Reads the files of `minSize` bytes or more and groups them. With `singles`, a file that
// is the same as no other is a group of its own; else only groups of two or more are kept.
// Reading stops (false) once `cancel` is set. Throws DbError.
bool groupFiles(Database& db, qint64 minSize, bool singles, const std::atomic<bool>* cancel,
                const duplicatestore::ProgressFn& progress, Candidates& all,
                std::vector<Found>& found);

// Disc names and file paths below their disc's root, each read once.
class Namer {
public:
    explicit Namer(Database& db);
    ~Namer();
    Namer(const Namer&) = delete;
    Namer& operator=(const Namer&) = delete;
    duplicatestore::Member member(const Candidates& all, const Candidate& c);

private:
    QString folderPath(qint64 folderId);
    QString discName(qint64 discId);
    struct Queries;
    std::unique_ptr<Queries> m_queries;
    QHash<qint64, QString> m_paths;
    QHash<qint64, QString> m_discs;
};

} // namespace filegroups
} // namespace vorlane
