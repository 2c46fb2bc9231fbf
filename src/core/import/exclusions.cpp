#include "core/import/exclusions.h"

#include <QRegularExpression>
#include <fnmatch.h>

namespace vorlane {

namespace {

// Only `*` and `?` are special: a "[" becomes a bracket that holds just itself, and
// FNM_NOESCAPE keeps "\" an ordinary character.
std::string toFnmatch(const QString& pattern) {
    std::string out;
    for (const char c : pattern.toUtf8()) {
        if (c == '[')
            out += "[[]";
        else
            out += c;
    }
    return out;
}

} // namespace

Exclusions::Exclusions(const QStringList& patterns) {
    for (QString p : patterns) {
        while (p.endsWith(QLatin1Char('/')))
            p.chop(1);
        // Decided before a leading "/" goes: "/build" is a path, the top folder's build.
        const bool path = p.contains(QLatin1Char('/'));
        while (p.startsWith(QLatin1Char('/')))
            p.remove(0, 1);
        if (!p.isEmpty())
            (path ? m_paths : m_names).push_back(toFnmatch(p));
    }
}

bool Exclusions::matchesName(const char* name) const {
    for (const std::string& p : m_names) {
        if (::fnmatch(p.c_str(), name, FNM_NOESCAPE) == 0)
            return true;
    }
    return false;
}

bool Exclusions::matchesPath(const char* path) const {
    for (const std::string& p : m_paths) {
        if (::fnmatch(p.c_str(), path, FNM_NOESCAPE | FNM_PATHNAME) == 0)
            return true;
    }
    return false;
}

QStringList Exclusions::split(const QString& line) {
    QStringList out;
    for (const QString& part : line.split(QRegularExpression(QStringLiteral("[;\uFF1B]")))) {
        const QString p = part.trimmed();
        if (!p.isEmpty())
            out << p;
    }
    return out;
}

QString Exclusions::join(const QStringList& patterns) {
    return patterns.join(QStringLiteral("; "));
}

} // namespace vorlane
