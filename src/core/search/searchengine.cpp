#include "core/search/searchengine.h"

#include "core/search/matcher.h"

#include "core/store/database.h"
#include "core/store/searchstore.h"
#include "core/throttle.h"

#include <cstring>
#include <vector>

namespace vorlane {

namespace {

// Runs the phases and keeps the row count, the hit number and the progress clock.
class Searcher : public searchstore::EntryTest {
public:
    Searcher(Database& db, const SearchOptions& options, const SearchCallbacks& callbacks)
        : m_db(db), m_options(options), m_callbacks(callbacks),
          m_matcher(options.keyword, options.caseSensitive, options.mode), m_filter(options),
          m_discNames(db) {}

    SearchSummary run() {
        m_summary.total = searchTotal(m_db, m_options);
        report();
        if (!m_options.keyword.isEmpty() || m_filter.active()) {
            discPhase();
            m_folderPhase = m_options.folders || m_options.notes;
            m_filePhase = m_options.files || m_options.notes;
            if (m_folderPhase || m_filePhase)
                entries();
        }
        report();
        return m_summary;
    }

private:
    bool stopRequested() {
        if (m_callbacks.stop && m_callbacks.stop->load(std::memory_order_relaxed))
            m_summary.stopped = true;
        return m_summary.stopped;
    }

    void rowDone() {
        ++m_summary.examined;
        if ((m_summary.examined & 255) == 0 && m_callbacks.onProgress && m_report.due())
            report();
    }

    void report() {
        m_report.restart();
        if (m_callbacks.onProgress)
            m_callbacks.onProgress(m_summary.examined, m_summary.total);
    }

    void hit(SearchHit& h) {
        h.number = ++m_summary.hits;
        if (m_callbacks.onHit)
            m_callbacks.onHit(h);
    }

    void discPhase() {
        searchstore::Discs discs(m_db);
        while (!stopRequested() && discs.next()) {
            // The disc name is searched whatever the options say.
            if (!m_filter.active() &&
                (matches(discs.name()) || (m_options.notes && matches(discs.note())))) {
                SearchHit h;
                h.discName = discs.nameText();
                h.discId = discs.id();
                hit(h);
            }
            rowDone();
        }
    }

    // The folder and file phases in one read of the table. Rows are tested inside the
    // statement (by test()), so only hits come back. Folder hits are reported as they
    // come; with both phases, file hits are held back and reported after the read, so the
    // order and the numbers are those of a folder phase followed by a file phase.
    void entries() {
        std::vector<SearchHit> files;
        {
            searchstore::MatchingEntries rows(m_db, *this);
            try {
                while (rows.next()) {
                    SearchHit h;
                    h.name = rows.name();
                    h.discId = rows.discId();
                    h.discName = m_discNames(h.discId);
                    h.size = rows.size();
                    h.time = rows.time();
                    if (rows.isFolder()) {
                        h.folderId = rows.id();
                        hit(h);
                    } else {
                        h.folderId = rows.folderId();
                        h.fileId = rows.id();
                        if (m_folderPhase)
                            files.push_back(std::move(h));
                        else
                            hit(h);
                    }
                }
            } catch (const DbError&) {
                if (!m_summary.stopped)
                    throw;
            }
        }
        // Found before a stop, so they stand.
        for (SearchHit& h : files)
            hit(h);
    }

    bool matches(searchstore::Utf8 text) const { return m_matcher.matches(text.data, text.size); }

    Verdict test(qint64 kind, searchstore::Utf8 name, searchstore::Utf8 note, qint64 size,
                 std::optional<qint64> time) override {
        if (stopRequested())
            return Verdict::Stop;
        const bool folder = kind == 1;
        const bool file = kind == 0;
        // With both phases every row is read (and counted); with one, only its kind.
        if (!(m_folderPhase && m_filePhase) && !(folder ? m_folderPhase : file && m_filePhase))
            return Verdict::Miss;
        bool match = false;
        if (folder || file) {
            const bool names = folder ? m_options.folders : m_options.files;
            if (m_options.keyword.isEmpty())
                match = names; // the conditions alone decide
            else
                match = (names && matches(name)) || (m_options.notes && matches(note));
            if (match && m_filter.active())
                match = m_filter.passes(name.data, name.size, size, time);
        }
        rowDone();
        return match ? Verdict::Hit : Verdict::Miss;
    }

    Database& m_db;
    const SearchOptions& m_options;
    const SearchCallbacks& m_callbacks;
    KeywordMatcher m_matcher;
    EntryFilter m_filter;
    SearchSummary m_summary;
    Throttle m_report{25};
    searchstore::DiscNames m_discNames;
    bool m_folderPhase = false;
    bool m_filePhase = false;
};

} // namespace

QString trimKeyword(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

qint64 searchTotal(Database& db, const SearchOptions& options) {
    return searchstore::rowCount(db, options.folders || options.notes,
                                 options.files || options.notes);
}

SearchSummary runSearch(Database& db, const SearchOptions& options,
                        const SearchCallbacks& callbacks) {
    // The options are copied so that the keyword cannot change under a running search.
    const SearchOptions fixed = options;
    Searcher searcher(db, fixed, callbacks);
    return searcher.run();
}

} // namespace vorlane
