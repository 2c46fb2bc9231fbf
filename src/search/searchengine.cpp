#include "search/searchengine.h"

#include "store/database.h"

#include <QHash>
#include <chrono>
#include <cstring>
#include <memory>
#include <sqlite3.h>
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
            const bool folderPhase = m_options.folders || m_options.notes;
            const bool filePhase = m_options.files || m_options.notes;
            if (folderPhase && filePhase)
                entriesInOnePass();
            else if (folderPhase)
                entryPhase(true);
            else if (filePhase)
                entryPhase(false);
        }
        report();
        return m_summary;
    }

private:
    // Before each row: false once the search has been stopped.
    bool nextRow(Query& q) {
        if (m_callbacks.stop && m_callbacks.stop->load(std::memory_order_relaxed)) {
            m_summary.stopped = true;
            return false;
        }
        return q.next();
    }

    void rowDone() {
        ++m_summary.examined;
        if ((m_summary.examined & 255) == 0 && m_callbacks.onProgress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - m_lastReport >= std::chrono::milliseconds(25))
                report();
        }
    }

    void report() {
        m_lastReport = std::chrono::steady_clock::now();
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

    void entryPhase(bool folders) {
        Query q(m_db, folders ? QStringLiteral("select TreeName, TreeExp, AutoId, CdID"
                                               " from qCDFiles where IsDir=1 order by AutoId")
                              : QStringLiteral("select TreeName, TreeExp, AutoId, CdID, FatherId"
                                               " from qCDFiles where IsDir=0 order by AutoId"));
        sqlite3_stmt* s = q.statement();
        const bool names = folders ? m_options.folders : m_options.files;
        const bool notes = m_options.notes;
        while (nextRow(q)) {
            if ((names && m_matcher.matches(s, 0)) || (notes && m_matcher.matches(s, 1))) {
                SearchHit h;
                h.name = columnText(s, 0);
                h.discId = sqlite3_column_int64(s, 3);
                h.discName = discName(h.discId);
                if (folders) {
                    h.folderId = sqlite3_column_int64(s, 2);
                } else {
                    h.folderId = sqlite3_column_int64(s, 4);
                    h.fileId = sqlite3_column_int64(s, 2);
                }
                hit(h);
            }
            rowDone();
        }
    }

    // Both entry phases in one read of the table: folder hits are reported as they are
    // found, file hits are held back and reported after the last folder, so the order and
    // the numbers are those of two phases run one after the other.
    void entriesInOnePass() {
        Query q(m_db, QStringLiteral("select IsDir, TreeName, TreeExp, AutoId, CdID, FatherId"
                                     " from qCDFiles order by AutoId"));
        sqlite3_stmt* s = q.statement();
        const bool notes = m_options.notes;
        std::vector<SearchHit> files;
        while (nextRow(q)) {
            const bool known = sqlite3_column_type(s, 0) != SQLITE_NULL;
            const qint64 isDir = known ? sqlite3_column_int64(s, 0) : -1;
            const bool names = isDir == 1 ? m_options.folders : m_options.files;
            if ((isDir == 1 || isDir == 0) &&
                ((names && m_matcher.matches(s, 1)) || (notes && m_matcher.matches(s, 2)))) {
                SearchHit h;
                h.name = columnText(s, 1);
                h.discId = sqlite3_column_int64(s, 4);
                h.discName = discName(h.discId);
                if (isDir == 1) {
                    h.folderId = sqlite3_column_int64(s, 3);
                    hit(h);
                } else {
                    h.folderId = sqlite3_column_int64(s, 5);
                    h.fileId = sqlite3_column_int64(s, 3);
                    files.push_back(std::move(h));
                }
            }
            rowDone();
        }
        // Found before a stop, so they stand.
        for (SearchHit& h : files)
            hit(h);
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
    std::chrono::steady_clock::time_point m_lastReport;
    QHash<qint64, QString> m_discNames;
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
