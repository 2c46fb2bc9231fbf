// The copy count as jobs on connections of their own: the files held on few discs for the
// copies window, and for the line above a disc's note, what each disc alone holds.
#pragma once

#include "core/job.h"
#include "core/store/copiesstore.h"

#include <QHash>
#include <vector>

namespace vorlane {

class CopiesJob final : public Job {
    Q_OBJECT

public:
    CopiesJob(const QString& catalog, int maxDiscs, qint64 minSize, QObject* parent = nullptr);
    ~CopiesJob() override;

    // After finished(): the files (none when cancelled or failed) and why the catalog could
    // not be read (empty when it could).
    const std::vector<copiesstore::Copy>& copies() const { return m_copies; }
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const int m_maxDiscs;
    const qint64 m_minSize;
    std::vector<copiesstore::Copy> m_copies;
    QString m_error;
    qint64 m_files = 0;
};

class SoleCopiesJob final : public Job {
    Q_OBJECT

public:
    explicit SoleCopiesJob(const QString& catalog, QObject* parent = nullptr);
    ~SoleCopiesJob() override;

    // After finished(): per disc id; empty when cancelled or failed (`failed()`).
    const QHash<qint64, copiesstore::SoleCopies>& counts() const { return m_counts; }
    bool failed() const { return m_failed; }

protected:
    void work() override;

private:
    const QString m_catalog;
    QHash<qint64, copiesstore::SoleCopies> m_counts;
    bool m_failed = false;
};

} // namespace vorlane
