#include "core/import/typedetect.h"

#include "core/import/fsnames.h"
#include "core/import/scanner.h"
#include "core/import/treewalk.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace vorlane {

namespace {

// Detection on the shared walk: names are all it needs, so no entry is looked at with
// lstat unless its listing leaves its type open.
class Detector : TreeWalker {
public:
    Detector(const QStringList& known, const TypeDetectHooks& hooks)
        : m_hooks(hooks), m_reporter(hooks.progress, hooks.progressIntervalMs) {
        for (const QString& t : known)
            m_seen.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
        readAhead();
    }

    QStringList run(const QString& root) {
        m_prefix = rootPrefix(root);
        if (!cancelled())
            walk(m_prefix);
        return m_found;
    }

private:
    bool cancelled() const {
        return m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed);
    }

    bool classify(WalkEntry&) override { return false; }

    // A cancel stops only the way down: the folders already entered finish their files.
    bool enter(const WalkEntry&, qint64, int, qint64&) override { return !cancelled(); }

    void file(const WalkEntry& e, qint64) override {
        m_reporter.report(m_prefix, path(), e.name);
        if (e.isLink)
            return; // names where the file is not: its target may be anywhere, or nowhere
        const auto dot = e.name.rfind('.');
        std::string ext = dot == std::string::npos ? std::string() : e.name.substr(dot);
        if (m_seen.insert(fsnames::foldAscii(ext)).second)
            m_found << QString::fromStdString(ext);
    }

    void unreadable(int) override {} // contributes nothing

    const TypeDetectHooks& m_hooks;
    QString m_prefix;
    fsnames::PathReporter m_reporter;
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

QString typeCaption(const QString& type) {
    return type.isEmpty() ? QStringLiteral("（无扩展名）") : type;
}

} // namespace vorlane
