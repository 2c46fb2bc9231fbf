#include "core/import/typedetect.h"

#include "core/import/fsnames.h"
#include "core/import/scanner.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace vorlane {

namespace {

class Detector {
public:
    Detector(const QStringList& known, const TypeDetectHooks& hooks)
        : m_hooks(hooks), m_reporter(hooks.progress, hooks.progressIntervalMs) {
        for (const QString& t : known)
            m_seen.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
    }

    QStringList run(const QString& root) {
        m_prefix = rootPrefix(root);
        const QByteArray path =
            QFile::encodeName(m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix);
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0)
            collect(fd);
        return m_found;
    }

private:
    // Lists the open folder `fd` (taken over and closed here).
    void collect(int fd) {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            ::close(fd);
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        std::string name;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    isDir = S_ISDIR(st.st_mode);
            }
            fsnames::storedName(e->d_name, name);
            if (isDir) {
                const int sub =
                    ::openat(::dirfd(dir), e->d_name,
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
                if (sub >= 0) {
                    const size_t mark = m_path.size();
                    m_path += '/';
                    m_path += name;
                    collect(sub);
                    m_path.resize(mark);
                }
                continue;
            }
            m_reporter.report(m_prefix, m_path, name);
            const auto dot = name.rfind('.');
            if (dot == std::string::npos)
                continue;
            std::string ext = name.substr(dot);
            if (m_seen.insert(fsnames::foldAscii(ext)).second)
                m_found << QString::fromStdString(ext);
        }
        ::closedir(dir);
    }

    const TypeDetectHooks& m_hooks;
    QString m_prefix;
    fsnames::PathReporter m_reporter;
    std::string m_path;
    std::unordered_set<std::string> m_seen;
    QStringList m_found;
};

} // namespace

QStringList detectTypes(const QString& root, const QStringList& known,
                        const TypeDetectHooks& hooks) {
    Detector d(known, hooks);
    return d.run(root);
}

QStringList mergeTypes(const QStringList& list, const QStringList& found) {
    QStringList out = list;
    std::unordered_set<std::string> seen;
    for (const QString& t : list)
        seen.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
    for (const QString& t : found) {
        if (seen.insert(fsnames::foldAscii(t.toUtf8().toStdString())).second)
            out << t;
    }
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return out;
}

} // namespace vorlane
