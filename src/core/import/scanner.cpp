#include "core/import/scanner.h"

#include "core/import/fsnames.h"
#include "core/import/treewalk.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vorlane {

QString rootPrefix(const QString& root) {
    QString p = root;
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

namespace {

// The scan on the shared walk: a row for every folder and accepted file.
class Walker : TreeWalker {
public:
    // Each folder's entries go in in name order, so that a new disc lists alphabetically.
    Walker(Database& db, const ScanParams& params, const ScanHooks& hooks)
        : TreeWalker(true, params.nameEncoding), m_db(db), m_params(params), m_hooks(hooks),
          m_writer(db, params.discId), m_reporter(hooks.progress, hooks.progressIntervalMs) {
        m_prefix = rootPrefix(params.root);
        for (const QString& t : params.types)
            m_types.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
    }

    ScanResult run() {
        try {
            m_tx.emplace(m_db, std::chrono::milliseconds(std::max(0, m_hooks.commitIntervalMs)));
            m_tx->setOnCommit([this] {
                m_result.rows += m_pending;
                m_pending = 0;
            });
        } catch (const DbError& e) {
            m_result.error = e.text();
            return m_result;
        }
        walk(m_prefix);
        finish();
        return m_result;
    }

private:
    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            m_result.cancelled = true;
            return true;
        }
        return false;
    }

    void finish() {
        if (!m_tx->isActive()) {
            m_pending = 0; // a failed statement already rolled the transaction back
            return;
        }
        try {
            m_tx->commit();
        } catch (const DbError& e) {
            if (m_result.error.isEmpty())
                m_result.error = e.text();
            m_tx.reset(); // rolls back
        }
        m_pending = 0;
    }

    // Stores one row; returns its AutoId, or 0 when it could not be stored (the walk stops).
    // What is stored is committed now and then, so a cancelled or failed scan keeps it.
    qint64 addEntry(const WalkEntry& e, qint64 fatherId) {
        qint64 id = 0;
        try {
            contentstore::ScannedEntry row;
            row.name = e.name;
            row.path = path();
            row.size = e.size;
            row.isDir = e.isDir;
            row.fatherId = fatherId;
            row.mtime = e.mtime;
            row.raw = e.raw;
            row.link = e.link;
            id = m_writer.add(row);
            ++m_pending;
            m_tx->checkpoint();
        } catch (const DbError& e) {
            m_result.error = e.text();
            m_stop = true;
        }
        return id;
    }

    bool accepts(const std::string& name) const {
        if (m_types.empty())
            return true;
        const auto dot = name.rfind('.');
        if (dot == std::string::npos)
            return false;
        return m_types.count(fsnames::foldAscii(name.substr(dot))) > 0;
    }

    bool classify(WalkEntry& e) override {
        e.accepted = !m_params.foldersOnly && accepts(e.name);
        return !e.isDir && e.accepted; // a stored file needs its size
    }

    bool proceed() override { return !m_stop && !cancelled(); }

    // A folder's row goes in before its contents; path() is already its FPath.
    bool enter(const WalkEntry& e, qint64 fatherId, int depth, qint64& id) override {
        // Reported as an entry of the folder it is in.
        m_reporter.report(m_prefix,
                          std::string_view(path()).substr(0, path().size() - e.name.size() - 1),
                          e.name);
        ++m_result.folders;
        if (cancelled())
            return false;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return false;
        id = addEntry(e, fatherId);
        return id != 0;
    }

    void file(const WalkEntry& e, qint64 folderId) override {
        // Reported as an entry of the folder it is in.
        m_reporter.report(m_prefix, path(), e.name);
        if (m_params.foldersOnly)
            return;
        if (e.accepted)
            addEntry(e, folderId);
        ++m_result.files;
    }

    // The folder at path() could not be opened or read.
    void unreadable(int error) override {
        if (m_result.unreadable++ > 0)
            return;
        m_result.firstUnreadable =
            path().empty() && m_prefix.isEmpty()
                ? QStringLiteral("/")
                : m_prefix + QString::fromUtf8(path().data(), qsizetype(path().size()));
        m_result.unreadableReason = QString::fromLocal8Bit(std::strerror(error));
    }

    Database& m_db;
    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    contentstore::EntryWriter m_writer;
    std::optional<Transaction> m_tx; // after m_writer: rolled back before it is finalized
    QString m_prefix;
    fsnames::PathReporter m_reporter;
    std::unordered_set<std::string> m_types;
    ScanResult m_result;
    qint64 m_pending = 0; // rows stored since the last commit
    bool m_stop = false;
};

} // namespace

ScanResult scanTree(Database& db, const ScanParams& params, const ScanHooks& hooks) {
    try {
        Walker walker(db, params, hooks);
        return walker.run();
    } catch (const DbError& e) {
        ScanResult r;
        r.error = e.text();
        return r;
    }
}

} // namespace vorlane
