// Merging another catalog file, or a JSON export, into a catalog: its categories and discs
// are added under new ids with every column, notes and order kept. The whole source is
// first held to the rules that `check` applies (names, parents, circles); a source that
// fails them is refused before anything is written. The merge itself happens in one
// transaction: a failure or a cancel anywhere leaves the catalog as it was.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

namespace vorlane {

class Database;

// A disc of the source whose volume label (or, without one, name) is already in the
// catalog.
struct DuplicateDisc {
    qint64 sourceId = 0;
    QString name;     // the source disc's name
    QString label;    // its volume label; empty when it has none
    QString existing; // the name of the catalog's disc it matches
};

struct MergeOptions {
    QString source; // a catalog file, a JSON export, or another program's file
    // The source's format: empty to recognise it by content, "vorlane" for a catalog or
    // an export, or one of foreign::formatNames().
    QString format;
    QString sourcePassword; // the source catalog's open password, when it has one
    // The category that receives the source's top level: its top categories, and its
    // discs outside any of its categories (a disc exported on its own). 0: the categories
    // stay at the top, and such discs go into a new top category named after the source
    // file, since a disc is shown only inside a category.
    qint64 categoryId = 0;
    // Whether to add a duplicate disc as well; without an answer duplicates are skipped.
    std::function<bool(const DuplicateDisc&)> keepDuplicate;
};

struct MergeHooks {
    // Work done out of the total, in the source's own unit (entries or bytes); at most
    // about every 100 ms.
    std::function<void(qint64 done, qint64 total)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

enum class MergeStatus {
    Done,
    Cancelled,
    NeedsPassword, // the source catalog has an open password and none was given
    WrongPassword,
    Failed, // `error` says why; the catalog is unchanged
};

struct MergeReport {
    MergeStatus status = MergeStatus::Failed;
    QString error;
    bool inCatalog = false;   // the failure concerns the catalog (e.g. its disk is full)
    int categories = 0;       // with the new category for discs outside any category
    qint64 newCategoryId = 0; // that category, when one was made
    QString newCategoryName;
    int discs = 0;
    qint64 entries = 0;
    qint64 media = 0;      // entries whose media facts were carried
    qint64 thumbnails = 0; // thumbnails carried
    // Left out of a source made elsewhere: facts and thumbnails of entries the source does
    // not have, thumbnails that are no JPEG or too large, and single facts out of range
    // (a NaN position, a negative size) or texts cut to length.
    qint64 orphanMedia = 0;
    qint64 badThumbnails = 0;
    qint64 badFacts = 0;
    qint64 folders = 0, files = 0; // the entries, told apart
    qint64 hashes = 0;             // foreign hashes stored with them
    QString format;                // another program's format, when the source was one
    QStringList dropped;           // what that source held but could not carry over
    QList<DuplicateDisc> skipped;  // duplicates not added
    QList<DuplicateDisc> kept;     // duplicates added as well
};

// The source's discs that match a disc of `target`, without changing anything, so that
// the user can be asked about each before the merge. Status as for mergeCatalog.
MergeReport findDuplicates(Database& target, const MergeOptions& options,
                           QList<DuplicateDisc>& duplicates);

// Adds the source to `target`. Never throws: failures are in the report.
MergeReport mergeCatalog(Database& target, const MergeOptions& options,
                         const MergeHooks& hooks = {});

} // namespace vorlane
