// The search index of the open catalog through its life: built by a job beside the window
// once the catalog is open, handed out only while it still describes the catalog as the
// window's connection sees it, and built anew (in the background, one build at a time)
// once a change has made it stale. Until an index is ready the search reads SQLite.
#pragma once

#include "core/job.h"
#include "core/search/searchindex.h"
#include "core/store/searchstore.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace vorlane {

class Database;

// Loads the index kept on disk for a catalog file while it is current, else builds one on a
// read-only connection of its own and keeps it on disk.
class IndexBuildJob final : public Job {
    Q_OBJECT

public:
    // `stamp`: what the connection that will search saw just before this job was made.
    IndexBuildJob(const QString& catalog, const searchstore::Stamp& stamp,
                  QObject* parent = nullptr);
    ~IndexBuildJob() override;

    const QString& catalog() const { return m_catalog; }
    const searchstore::Stamp& stamp() const { return m_stamp; }
    // After finished(): the index; nullptr when cancelled, too large or unreadable.
    std::shared_ptr<const SearchIndex> index() const { return m_index; }
    // After finished(): why the catalog could not be read; empty when it could.
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const searchstore::Stamp m_stamp;
    std::shared_ptr<const SearchIndex> m_index;
    QString m_error;
};

class IndexKeeper : public QObject {
    Q_OBJECT

public:
    // `db`: the window's connection, through which the catalog is searched and changed.
    explicit IndexKeeper(Database& db, QObject* parent = nullptr);
    ~IndexKeeper() override;

    // The index while it is current for the connection. Otherwise nullptr, and a build
    // for the catalog as it is now starts (unless one is already under way for it).
    std::shared_ptr<const SearchIndex> current();
    // Starts a build unless the index is current or one is under way for this state. A
    // build for an older state is cancelled; the newest state is built once it has ended.
    void refresh();
    // Forgets the index and any build: the catalog was closed or another was opened.
    void reset();

    bool isBuilding() const { return m_job != nullptr; }

signals:
    // A new index is ready and current.
    void ready();

private:
    bool catalogOpen() const;
    void start(const searchstore::Stamp& stamp);
    void buildFinished(IndexBuildJob* job);

    Database& m_db;
    QString m_path; // the file the index and the build are for
    std::shared_ptr<const SearchIndex> m_index;
    IndexBuildJob* m_job = nullptr; // while a build runs
    bool m_pending = false;         // a newer state waits for the running build to end
    // The state whose build gave no index (too large, unreadable): not tried again.
    std::optional<searchstore::Stamp> m_failed;
};

} // namespace vorlane
