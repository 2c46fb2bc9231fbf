// Keyword search over a catalog: disc names, folder and file names and notes.
//
// The search runs in three phases, always in this order:
//   1. discs (always, ordered by OrderId): the disc name; the note when `notes` is on;
//   2. folders (when `folders` or `notes` is on): the name when `folders` is on; the note
//      when `notes` is on;
//   3. files (when `files` or `notes` is on): likewise with `files`.
// A row's note is tested only when its name did not match, so a row is listed once. A null
// note never matches. Hits are numbered from 1 and the numbers run on across the phases.
//
// Matching works on characters: a keyword never matches inside a multibyte character.
// Without `caseSensitive` only the letters a-z and A-Z are folded; every other character
// is compared as it is. By default the keyword is a plain substring (`*` and `?` included);
// in glob mode it is a pattern for the whole name or note (`*` any run of characters, `?`
// exactly one); in regex mode a regular expression found anywhere in the text, where
// `caseSensitive` off means Unicode case folding. The size, date and extension conditions narrow
// the folder and file hits; while any is set, discs are not found.
//
// Example (what the command line does):
//   vorlane::Database db;
//   db.open(path, vorlane::Database::Mode::ReadOnly);
//   vorlane::SearchOptions o;
//   o.keyword = vorlane::trimKeyword(text);
//   vorlane::runSearch(db, o, {.onHit = [](const vorlane::SearchHit& h) { print(h); }});
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

namespace vorlane {

class Database;

// How the keyword is read.
enum class KeywordMode { Substring, Glob, Regex };

struct SearchOptions {
    QString keyword; // taken once, when the search starts
    KeywordMode mode = KeywordMode::Substring;
    bool notes = true;             // search the notes of discs, folders and files
    bool folders = true;           // search folder names
    bool files = true;             // search file names
    bool caseSensitive = false;    // otherwise a-z and A-Z are the same letter
    std::optional<qint64> minSize; // bytes, inclusive
    std::optional<qint64> maxSize; // bytes, inclusive
    std::optional<qint64> after;   // modification time, seconds since 1970 UTC, inclusive
    std::optional<qint64> before;  // exclusive
    QStringList extensions;        // ".jpg", ".html": a-z folded

    // Any size, date or extension condition set; these alone (an empty keyword) list every
    // folder and file they let through.
    bool hasConditions() const {
        return minSize || maxSize || after || before || !extensions.isEmpty();
    }
};

struct SearchHit {
    qint64 number = 0; // 1, 2, ... across all phases
    QString discName;  // the disc's name (empty when the entry's disc is missing)
    QString name;      // the folder's or file's name; empty for a disc hit
    qint64 discId = 0;
    qint64 folderId = 0;        // folder hit: its own id; file hit: its folder (0 at the top)
    qint64 fileId = 0;          // file hit: its id; else 0
    qint64 size = 0;            // the entry's size; 0 for a disc
    std::optional<qint64> time; // modification time, seconds since 1970 UTC, when known

    enum class Kind { Disc, Folder, File };
    Kind kind() const {
        return fileId != 0 ? Kind::File : folderId != 0 ? Kind::Folder : Kind::Disc;
    }
};

struct SearchCallbacks {
    // Called for every hit, in order, on the thread that runs the search.
    std::function<void(const SearchHit&)> onHit;
    // Rows examined so far (over all phases) and the expected total. Called at the start,
    // at most about every 25 ms while rows are read, and once at the end.
    std::function<void(qint64 examined, qint64 total)> onProgress;
    // Polled before every row; once set, no further row is examined. The hits found so
    // far stand (file hits found while folders and files are read together included).
    // May be set from another thread.
    const std::atomic<bool>* stop = nullptr;
};

struct SearchSummary {
    qint64 hits = 0;
    qint64 examined = 0; // rows examined over all phases
    qint64 total = 0;    // rows the search expected to examine
    bool stopped = false;
};

// The keyword as the search window takes it: blanks and control characters (up to
// U+0020) removed from both ends.
QString trimKeyword(const QString& text);

// Why the keyword cannot be used in its mode: a regular expression that does not compile,
// with the character offset where it fails. A search with such a keyword finds nothing.
struct KeywordError {
    QString message;
    qsizetype offset = 0;
};
std::optional<KeywordError> keywordError(const QString& keyword, KeywordMode mode);

// The number of rows a search with these options examines: every disc, plus the folders
// and the files when their phase runs. Throws DbError.
qint64 searchTotal(Database& db, const SearchOptions& options);

// Runs the search to the end or until the stop flag is set. An empty keyword finds
// nothing. Throws DbError when the catalog cannot be read; the hits reported before
// that stand. Folders and files are read in one pass when both phases run; the order
// and numbers of the hits are still those of the phases above. The callbacks run on the
// calling thread, some while a statement on `db` is active: they must not write to the
// catalog through `db`. An exception from a callback ends the search and is rethrown.
// `db` must have no statement running (the search adds a temporary SQL function).
// With an empty keyword but conditions set, every folder and file (as far as `folders`
// and `files` ask for them) that passes the conditions is a hit.
SearchSummary runSearch(Database& db, const SearchOptions& options,
                        const SearchCallbacks& callbacks = {});

} // namespace vorlane
