// Entries an import leaves out, by name or by path. A pattern knows `*` (any run of
// characters) and `?` (one character); every other character stands for itself, and case
// counts, as it does on the file systems a disc is read from. A pattern holding "/" is
// matched with the path below the root ("src/build", "*/cache"), where `*` and `?` stay
// within one path component; any other pattern with each entry's name. A leading or
// trailing "/" is dropped ("/build" is the folder build at the top, "node_modules/" the
// name node_modules).
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

class Exclusions {
public:
    Exclusions() = default;
    explicit Exclusions(const QStringList& patterns);

    bool empty() const { return m_names.empty() && m_paths.empty(); }
    bool hasPathPatterns() const { return !m_paths.empty(); }
    // Whether a name pattern matches `name`. Safe on any thread.
    bool matchesName(const char* name) const;
    // Whether a path pattern matches `path` below the root, without its leading "/".
    bool matchesPath(const char* path) const;

    // The patterns as the user gives them in one line: separated by ";" or "；" (a name may
    // hold blanks); blanks around each are dropped, empty ones too.
    static QStringList split(const QString& line);
    static QString join(const QStringList& patterns);

private:
    std::vector<std::string> m_names; // in fnmatch's form
    std::vector<std::string> m_paths;
};

} // namespace vorlane
