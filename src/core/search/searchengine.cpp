#include "core/search/searchengine.h"

#include "core/store/database.h"
#include "core/throttle.h"

#include <QHash>
#include <QScopeGuard>
#include <cstring>
#include <exception>
#include <memory>
#include <sqlite3.h>
#include <utility>
#include <vector>

namespace vorlane {

namespace {

inline unsigned char foldByte(unsigned char c) {
    // Only a-z change; UTF-8 lead and continuation bytes are all >= 0x80, so folding never
    // touches a multibyte character.
    return static_cast<unsigned char>(c - 'a') < 26u ? static_cast<unsigned char>(c - 32) : c;
}

bool hasLetter(const QByteArray& bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z'))
            return true;
    }
    return false;
}

// The keyword, prepared once per search, tested against UTF-8 column values without
// building a QString per row. A valid UTF-8 keyword can only match at character
// boundaries of valid UTF-8 text, so a byte search gives character results.
class Matcher {
public:
    Matcher(const QString& keyword, bool caseSensitive) : m_needle(keyword.toUtf8()) {
        if (!caseSensitive) {
            for (char& c : m_needle)
                c = char(foldByte(static_cast<unsigned char>(c)));
        }
        // Without letters in the keyword, folding the text cannot change the outcome.
        m_fold = !caseSensitive && hasLetter(m_needle);
    }

    // A null value never matches.
    bool matches(sqlite3_stmt* stmt, int column) const {
        const auto* text = sqlite3_column_text(stmt, column);
        if (!text)
            return false;
        return test(text, size_t(sqlite3_column_bytes(stmt, column)));
    }
    bool matches(sqlite3_value* value) const {
        const auto* text = sqlite3_value_text(value);
        if (!text)
            return false;
        return test(text, size_t(sqlite3_value_bytes(value)));
    }

private:
    bool test(const unsigned char* text, size_t length) const {
        const size_t n = size_t(m_needle.size());
        if (n == 0 || n > length)
            return false;
        if (!m_fold)
            return memmem(text, length, m_needle.constData(), n) != nullptr;
        // Names and notes are short: a direct scan beats folding into a buffer first.
        const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.constData());
        const unsigned char first = needle[0];
        const size_t last = length - n;
        for (size_t i = 0; i <= last; ++i) {
            if (foldByte(text[i]) != first)
                continue;
            size_t k = 1;
            while (k < n && foldByte(text[i + k]) == needle[k])
                ++k;
            if (k == n)
                return true;
        }
        return false;
    }

    QByteArray m_needle;
    bool m_fold = false;
};

QString columnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// Runs the phases and keeps the row count, the hit number and the progress clock.
class Searcher {
public:
    Searcher(Database& db, const SearchOptions& options, const SearchCallbacks& callbacks)
        : m_db(db), m_options(options), m_callbacks(callbacks),
          m_matcher(options.keyword, options.caseSensitive) {}

    SearchSummary run() {
        m_summary.total = searchTotal(m_db, m_options);
        report();
        if (!m_options.keyword.isEmpty()) {
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

    // Before each row: false once the search has been stopped.
    bool nextRow(Query& q) { return !stopRequested() && q.next(); }

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
        Query q(m_db, QStringLiteral("select CDName, CDExp, AutoId from qCD"
                                     " order by OrderId, AutoId"));
        sqlite3_stmt* s = q.statement();
        while (nextRow(q)) {
            // The disc name is searched whatever the options say.
            if (m_matcher.matches(s, 0) || (m_options.notes && m_matcher.matches(s, 1))) {
                SearchHit h;
                h.discName = columnText(s, 0);
                h.discId = sqlite3_column_int64(s, 2);
                hit(h);
            }
            rowDone();
        }
    }

    // The folder and file phases in one read of the table. Rows are tested inside the
    // statement (by matchEntry), so only hits come back through the API. Folder hits are
    // reported as they come; with both phases, file hits are held back and reported after
    // the read, so the order and the numbers are those of a folder phase followed by a
    // file phase.
    void entries() {
        sqlite3* db = m_db.handle();
        const int rc =
            sqlite3_create_function_v2(db, MatchFunction, 3, SQLITE_UTF8 | SQLITE_DIRECTONLY, this,
                                       &Searcher::matchEntry, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(db)));
        const auto unregister = qScopeGuard([db] {
            sqlite3_create_function_v2(db, MatchFunction, 3, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
        });

        std::vector<SearchHit> files;
        {
            Query q(m_db, QStringLiteral("select IsDir, TreeName, AutoId, CdID, FatherId"
                                         " from qCDFiles"
                                         " where vorlane_search_match(ifnull(IsDir, -1),"
                                         " TreeName, TreeExp) order by AutoId"));
            sqlite3_stmt* s = q.statement();
            try {
                while (q.next()) {
                    SearchHit h;
                    h.name = columnText(s, 1);
                    h.discId = sqlite3_column_int64(s, 3);
                    h.discName = discName(h.discId);
                    if (sqlite3_column_int64(s, 0) == 1) {
                        h.folderId = sqlite3_column_int64(s, 2);
                        hit(h);
                    } else {
                        h.folderId = sqlite3_column_int64(s, 4);
                        h.fileId = sqlite3_column_int64(s, 2);
                        if (m_folderPhase)
                            files.push_back(std::move(h));
                        else
                            hit(h);
                    }
                }
            } catch (const DbError&) {
                // A stop (or a failing callback) ends the statement with an error.
                if (m_failure)
                    std::rethrow_exception(std::exchange(m_failure, nullptr));
                if (!m_summary.stopped)
                    throw;
            }
        }
        // Found before a stop, so they stand.
        for (SearchHit& h : files)
            hit(h);
    }

    static void matchEntry(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
        auto* self = static_cast<Searcher*>(sqlite3_user_data(ctx));
        try {
            switch (self->testEntry(argv)) {
            case Row::Hit:
                sqlite3_result_int(ctx, 1);
                return;
            case Row::Miss:
                sqlite3_result_int(ctx, 0);
                return;
            case Row::Stop:
                sqlite3_result_error(ctx, "search stopped", -1);
                return;
            }
        } catch (...) {
            // Nothing may be thrown through the database engine.
            self->m_failure = std::current_exception();
            sqlite3_result_error(ctx, "search failed", -1);
        }
    }

    enum class Row { Hit, Miss, Stop };

    Row testEntry(sqlite3_value** argv) {
        if (stopRequested())
            return Row::Stop;
        const qint64 kind = sqlite3_value_int64(argv[0]);
        const bool folder = kind == 1;
        const bool file = kind == 0;
        // With both phases every row is read (and counted); with one, only its kind.
        if (!(m_folderPhase && m_filePhase) && !(folder ? m_folderPhase : file && m_filePhase))
            return Row::Miss;
        bool match = false;
        if (folder || file) {
            const bool names = folder ? m_options.folders : m_options.files;
            match = (names && m_matcher.matches(argv[1])) ||
                    (m_options.notes && m_matcher.matches(argv[2]));
        }
        rowDone();
        return match ? Row::Hit : Row::Miss;
    }

    // Looked up per hit rather than joined per row: hits are few, rows are many.
    QString discName(qint64 discId) {
        const auto it = m_discNames.constFind(discId);
        if (it != m_discNames.cend())
            return *it;
        if (!m_nameQuery)
            m_nameQuery = std::make_unique<Query>(
                m_db, QStringLiteral("select CDName from qCD where AutoId=?"));
        m_nameQuery->reset();
        m_nameQuery->bind(1, discId);
        QString name;
        if (m_nameQuery->next())
            name = columnText(m_nameQuery->statement(), 0);
        m_nameQuery->reset();
        m_discNames.insert(discId, name);
        return name;
    }

    Database& m_db;
    const SearchOptions& m_options;
    const SearchCallbacks& m_callbacks;
    Matcher m_matcher;
    SearchSummary m_summary;
    Throttle m_report{25};
    QHash<qint64, QString> m_discNames;
    bool m_folderPhase = false;
    bool m_filePhase = false;
    std::exception_ptr m_failure;
    static constexpr const char* MatchFunction = "vorlane_search_match";
    std::unique_ptr<Query> m_nameQuery;
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
    qint64 total = db.scalar(QStringLiteral("select count(*) from qCD")).toLongLong();
    const bool folders = options.folders || options.notes;
    const bool files = options.files || options.notes;
    if (folders && files) {
        // Read in one pass, every entry row counts (and the index answers fast).
        total += db.scalar(QStringLiteral("select count(*) from qCDFiles")).toLongLong();
    } else if (folders || files) {
        total += db.scalar(folders ? QStringLiteral("select count(*) from qCDFiles where IsDir=1")
                                   : QStringLiteral("select count(*) from qCDFiles where IsDir=0"))
                     .toLongLong();
    }
    return total;
}

SearchSummary runSearch(Database& db, const SearchOptions& options,
                        const SearchCallbacks& callbacks) {
    // The options are copied so that the keyword cannot change under a running search.
    const SearchOptions fixed = options;
    Searcher searcher(db, fixed, callbacks);
    return searcher.run();
}

} // namespace vorlane
