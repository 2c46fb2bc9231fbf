// Reading a disc back: every file the catalog lists for it is looked for under the disc's
// location (or another root), its size compared and its content hashed, and each file that
// is missing, unreadable or not as catalogued is reported by name. Files with a stored hash
// are compared by hash (ours, else one brought in from another program's listing); files
// without one by size and modification time. A changed content whose size and time stayed
// is told apart from an edit: nothing but decay changes a file and leaves its time. Folders, links,
// the members of archives and special files (FIFOs, devices, sockets) have nothing of their
// own to read back and are passed over. Each file is looked up by its own name relative to
// its open folder, so no depth of tree is too deep.
//
// Nothing is written: the catalog may be open read-only.
#pragma once

#include "core/job.h"

#include <QMetaType>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vorlane {

class Database;

struct VerifyParams {
    qint64 discId = 0;
    // Where the disc's files are read from; empty: its SourcePath.
    QString root;
};

enum class VerifyFault {
    Missing,     // not there any more
    Unreadable,  // there, but could not be read to the end (`reason`)
    NotAFile,    // a folder, a link or a device where a file was
    SizeDiffers, // a different size
    HashDiffers, // the same size, another content; the catalog knows no time to tell why
    TimeDiffers, // the same size, another modification time (files without a hash)
    Corrupt,     // another content with the size and the time as catalogued: decay
    Changed,     // another content and another time: an edit
};

struct VerifyProblem {
    VerifyFault fault = VerifyFault::Missing;
    qint64 entryId = 0;
    QString path; // the full path as the catalog names it
    qint64 storedSize = 0;
    qint64 foundSize = 0;
    std::optional<qint64> storedTime; // seconds since 1970 UTC
    std::optional<qint64> foundTime;
    QString reason; // the system's words, for Unreadable
};

struct VerifyProgress {
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0; // the stored sizes of the files to read
    qint64 bytesPerSecond = 0;
    qint64 filesDone = 0;
    qint64 filesTotal = 0;
    QString path; // the file being read
};

enum class VerifyEnd {
    Done,           // every file was looked at
    Cancelled,      // stopped; the problems found so far are listed
    NoDisc,         // no such disc in the catalog
    RootUnreadable, // the disc's location is not there or not a folder (`reason`)
    CatalogError,   // the catalog could not be read (`reason`)
};

struct VerifyResult {
    VerifyEnd end = VerifyEnd::Done;
    QString reason;
    QString root;       // where the files were read from
    qint64 files = 0;   // files looked at
    qint64 bytes = 0;   // bytes read back
    qint64 hashed = 0;  // files the catalog holds a hash for, ours or brought in
    qint64 skipped = 0; // links and archive members, not read
    qint64 special = 0; // FIFOs, devices and sockets, not read
    // No file of the disc has a hash: it was checked by size and time only.
    bool sizeAndTimeOnly = false;
    // The files looked at by each algorithm ("XXH3-128", "MD5"…), in that order; only those
    // used.
    std::vector<std::pair<QString, qint64>> algorithms;
    std::vector<VerifyProblem> problems;

    // The problems of one kind.
    qint64 count(VerifyFault fault) const;
};

struct VerifyHooks {
    // Now and then (at most every `progressIntervalMs`), and once at the end.
    std::function<void(const VerifyProgress&)> progress;
    int progressIntervalMs = 100;
    // Each problem as it is found.
    std::function<void(const VerifyProblem&)> problem;
    // Checked before every file and every block read.
    const std::atomic<bool>* cancel = nullptr;
};

// Reads the disc `params.discId` of the open catalog `db` back. Never throws: failures end
// up in the result.
VerifyResult verifyDisc(Database& db, const VerifyParams& params, const VerifyHooks& hooks = {});

// verifyDisc on a read-only connection of its own to the catalog file.
class VerifyJob final : public Job {
    Q_OBJECT

public:
    VerifyJob(const QString& catalog, const VerifyParams& params, QObject* parent = nullptr);
    ~VerifyJob() override;

    // After finished().
    const VerifyResult& result() const { return m_result; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const VerifyParams m_params;
    VerifyResult m_result;
};

} // namespace vorlane

Q_DECLARE_METATYPE(vorlane::VerifyProgress)
