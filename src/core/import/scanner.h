// The disc scan: walks a directory tree depth first and stores one qCDFiles row for every
// folder and every accepted file, linked to its folder's row by FatherId. The entries of
// each folder go in in name order (nameCollator()), so a new disc lists alphabetically.
//
// Used by the progress window (on a worker thread with its own connection) and by the
// command line. Knows nothing of widgets: progress and cancel go through ScanHooks.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <string>
#include <unordered_set>

namespace vorlane {

class Database;

struct ScanParams {
    // Directory where the walk starts. Trailing "/" are removed and the rest is the root
    // prefix that FPath is cut from ("/", like "", walks the whole file system with an
    // empty prefix).
    QString root;
    // qCD.AutoId written into every row.
    qint64 discId = 0;
    // 0 = every level. Otherwise rows are stored for folders of depth 1..depthLimit and for
    // files in folders of depth 0..depthLimit; a folder one level deeper is counted only.
    int depthLimit = 0;
    // No file rows at all; files are not counted either.
    bool foldersOnly = false;
    // Extensions with their leading dot (".jpg"), matched folding only a-z. Empty = every
    // file. The empty string stands for files whose name has no "."; without it such
    // files are not stored while this holds anything.
    QStringList types;
    // The legacy encoding that names which are not UTF-8 are read in; empty = GB18030
    // (fsnames::NameDecoder). The names' own bytes are stored beside the text.
    QString nameEncoding;
    // Store a content hash (XXH3-128) of every file, for a later verify.
    bool checksums = false;
    // List the members of archives (zip, 7z, tar, iso…) as rows below the archive's row.
    bool archives = false;
    // Read the media facts of pictures, audio and video (mediastore.h).
    bool media = false;
    // Store a small JPEG thumbnail of every picture and video.
    bool thumbnails = false;
    // Entries left out, folders with what they hold (Exclusions gives the patterns' form).
    QStringList exclude;
};

struct ScanResult {
    int files = 0;       // files met, including those the type list turned away
    int folders = 0;     // folders met, including those beyond the depth limit
    qint64 excluded = 0; // entries an exclusion left out (not what lies below such a folder)
    // Rows committed: what the catalog keeps, also after a cancel or a failure.
    qint64 rows = 0;
    bool cancelled = false;
    // Folders that could not be opened or listed to the end, the root included. Such a
    // folder keeps its row; what could not be read below it is missing.
    int unreadable = 0;
    // The first of them (full path) and the system's reason.
    QString firstUnreadable;
    QString unreadableReason;
    // Files whose media facts, and whose thumbnails, were stored.
    qint64 mediaFacts = 0;
    qint64 thumbnails = 0;
    // Set when a row could not be stored (a full disk, a read-only file). The walk stops
    // there; every row committed before stays. Empty when all went well.
    QString error;
};

// The counts of ScanResult so far, for a progress display on another thread.
struct ScanCounts {
    std::atomic<int> files{0};
    std::atomic<int> folders{0};
    std::atomic<qint64> bytes{0}; // read for checksums
};

struct ScanHooks {
    // Called with the full path of the entry being read, at most every `progressIntervalMs`
    // (0 = before every entry). Runs on the scanning thread.
    std::function<void(const QString& path)> progress;
    int progressIntervalMs = 50;
    // Checked before every entry and on entering every folder.
    const std::atomic<bool>* cancel = nullptr;
    // Rows are committed about this often, and at the end or on cancel. Each commit waits
    // for the disk twice; once a second keeps that off a fast scan's time while a killed
    // import still loses at most about a second of reading.
    int commitIntervalMs = 1000;
    // Kept current while the walk runs, when set.
    ScanCounts* counts = nullptr;
};

// The files an import keeps: none with `foldersOnly`, else every file, or with `types`
// those whose extension is listed (a-z folded; "" stands for files without one).
class FileChoice {
public:
    explicit FileChoice(const ScanParams& params);
    bool accepts(const std::string& name) const;

private:
    bool m_none = false;
    std::unordered_set<std::string> m_types;
};

// The root prefix of a root path: without trailing "/"; "/" itself gives "".
QString rootPrefix(const QString& root);

// Runs the scan into `db` (an open catalog, not inside a transaction). Never throws for
// file-system trouble: an unreadable root stores nothing, an unreadable folder gets its
// row and no children; both are counted in `unreadable`. Any depth is walked, holding only
// a few folders open at a time. Symbolic links are stored as files of size 0 with their
// target and never followed; FIFOs, sockets and devices are stored without being opened.
// Names that are not valid UTF-8 are stored decoded with `nameEncoding`, with their bytes.
ScanResult scanTree(Database& db, const ScanParams& params, const ScanHooks& hooks = {});

} // namespace vorlane
