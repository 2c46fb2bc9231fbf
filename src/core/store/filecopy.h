// Whole-file copies of a catalog (backup, save as, a new file from the template). A copy
// is written under a unique temporary name beside the target and renamed over it only
// when complete, so a failed copy never leaves half a file where a good one was.
//
// The temporary name is ".<target name>.vorlane-<pid>-XXXXXX": it says which target it
// belongs to and which process wrote it, so that a copy killed midway leaves nothing the
// next run cannot recognise and remove as its own.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

namespace vorlane {

class Database;

// A file that replaces `target` when committed. Dropped uncommitted, the temporary file
// is removed again.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file (owner-only until committed); first removes this
    // target's temporary files left by processes that no longer run.
    bool open(QString* error = nullptr);
    QString tempPath() const;
    int handle() const { return m_fd; }
    // Gives the file the permission bits `mode`, flushes it to disk and renames it over
    // the target.
    bool commit(mode_t mode, QString* error = nullptr);
    void discard();

private:
    QByteArray m_target; // encoded, symbolic links resolved
    QByteArray m_temp;
    int m_fd = -1;
};

// Removes the temporary files of `target` whose writing process is gone. Files of a live
// process, of another user or of another name are left alone.
void removeStaleTemporaries(const QString& target);

// Copies `source` byte for byte to `target`, replacing it. Returns false (with a reason in
// `error` when given) when the source cannot be read or the target cannot be written; the
// target is then left as it was. An existing target keeps its permission bits; a new one
// gets the usual ones for the umask.
bool copyFileReplacing(const QString& source, const QString& target, QString* error = nullptr);

// Writes a consistent snapshot of the catalog open in `db` to `target`, replacing it, with
// the catalog file's permission bits. Commits of other connections meanwhile are either
// wholly in the snapshot or not at all.
bool backupCatalog(Database& db, const QString& target, QString* error = nullptr,
                   const std::function<bool()>& between = {});

// The permission bits a newly created file gets under the current umask.
mode_t newFileMode();

// True when both paths name the same existing file: the same device and inode, so hard
// and symbolic links count as the file itself.
bool isSameFile(const QString& a, const QString& b);

} // namespace vorlane
