// The search index of the open catalog through its life: built by a job beside the window
// once the catalog is open, handed out only while it still describes the catalog as the
// window's connection sees it. The window's own writes, and those its jobs report, are laid
// over it at once (a patch reads only the rows written); any other change has it built anew
// in the background, one build at a time. Until an index is ready the search reads SQLite.
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

    // The index while it is current for the connection, patched first when only this
    // connection wrote since. Otherwise nullptr, and a build for the catalog as it is now
    // starts (unless one is already under way for it).
    std::shared_ptr<const SearchIndex> current();
    // Patches the index, or starts a build unless the index is current or one is under way
    // for this state. A build for a state that cannot be patched to this one is cancelled;
    // the newest state is built once it has ended.
    void refresh();
    // A job of this program wrote through a connection of its own: the index follows by a
    // patch when the report accounts for every change since, else it is built anew.
    void jobWrote(const searchstore::WriteReport& report);
    // Forgets the index and any build: the catalog was closed or another was opened.
    void reset();

    bool isBuilding() const { return m_job != nullptr; }
    // Builds started since the keeper was made.
    int buildCount() const { return m_builds; }

signals:
    // A new index is ready and current.
    void ready();

private:
    bool catalogOpen() const;
    // Brings m_index up to the connection's state by a patch; false when it cannot.
    bool patch(const searchstore::WriteReport* report);
    void rebuild();
    // Starts a build for the catalog as the connection sees it now. Throws DbError.
    void start();
    void buildFinished(IndexBuildJob* job);

    Database& m_db;
    QString m_path; // the file the index and the build are for
    // The index, current or the base of the next patch.
    std::shared_ptr<const SearchIndex> m_index;
    searchstore::LogPosition m_indexLog; // the window's change log at m_index's state
    IndexBuildJob* m_job = nullptr;      // while a build runs
    searchstore::LogPosition m_jobLog;   // the log when it began
    int m_builds = 0;
    bool m_pending = false; // a newer state waits for the running build to end
    // The state whose build gave no index (too large, unreadable): not tried again.
    std::optional<searchstore::Stamp> m_failed;
};

} // namespace vorlane
