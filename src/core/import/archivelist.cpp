#include "core/import/archivelist.h"

#include "core/import/archivereader.h"
#include "core/settings/text.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane::archivelist {

namespace {

// Longest first, so that ".tar.gz" is matched before anything shorter would be.
constexpr std::string_view kEndings[] = {".tar.bz2", ".tar.zst", ".tar.gz", ".tar.xz", ".tbz2",
                                         ".tzst",    ".tar",     ".tgz",    ".tbz",    ".txz",
                                         ".zip",     ".iso",     ".7z"};

bool endsWithFolded(std::string_view name, std::string_view ending) {
    if (name.size() <= ending.size())
        return false;
    const std::string_view tail = name.substr(name.size() - ending.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != ending[i])
            return false;
    }
    return true;
}

struct Node {
    std::string raw;
    int parent = -1;
    qint64 pathBytes = 0; // of its path inside the archive
    bool isDir = false;
    qint64 size = 0;
    std::optional<qint64> mtime;
    std::string link;
    std::vector<int> children;
};

class Tree {
public:
    // The node for `parts` under the top level, made with the folders above it.
    int place(const std::vector<std::string_view>& parts) {
        int parent = -1;
        for (size_t i = 0; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            auto key = std::make_pair(parent, std::string(parts[i]));
            auto it = m_index.find(key);
            int at;
            if (it != m_index.end()) {
                at = it->second;
            } else {
                at = int(nodes.size());
                Node n;
                n.raw = key.second;
                n.parent = parent;
                n.pathBytes =
                    qint64(n.raw.size()) + (parent < 0 ? 0 : nodes[size_t(parent)].pathBytes + 1);
                pathBytes += n.pathBytes;
                n.isDir = !last;
                nodes.push_back(std::move(n));
                (parent < 0 ? top : nodes[size_t(parent)].children).push_back(at);
                m_index.emplace(std::move(key), at);
            }
            if (!last && !nodes[size_t(at)].isDir) {
                // A file's name used as a folder further on: it holds members, so a folder.
                nodes[size_t(at)].isDir = true;
                nodes[size_t(at)].size = 0;
                nodes[size_t(at)].link.clear();
            }
            parent = at;
        }
        return parent;
    }

    std::vector<Node> nodes;
    std::vector<int> top;
    qint64 pathBytes = 0; // of all nodes' paths

private:
    std::map<std::pair<int, std::string>, int> m_index;
};

// Fills `out` with the tree's members, each folder before its contents, every level in
// name order.
void flatten(Tree& tree, fsnames::NameDecoder& names, std::vector<Member>& out) {
    const QCollator collator = nameCollator();
    std::vector<std::string> decoded(tree.nodes.size());
    std::vector<bool> raw(tree.nodes.size(), false);
    for (size_t i = 0; i < tree.nodes.size(); ++i)
        raw[i] = !names.decode(tree.nodes[i].raw, decoded[i]);
    const auto sortLevel = [&](std::vector<int>& level) {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(level.size());
        for (int n : level)
            keys.push_back(collator.sortKey(QString::fromStdString(decoded[size_t(n)])));
        std::vector<size_t> order(level.size());
        std::iota(order.begin(), order.end(), size_t(0));
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const int c = keys[a].compare(keys[b]);
            if (c != 0)
                return c < 0;
            return tree.nodes[size_t(level[a])].raw < tree.nodes[size_t(level[b])].raw;
        });
        std::vector<int> sorted;
        sorted.reserve(level.size());
        for (size_t i : order)
            sorted.push_back(level[i]);
        level.swap(sorted);
    };
    // Depth first on a stack of (node, index of its member folder in `out`).
    std::vector<std::pair<int, int>> stack;
    sortLevel(tree.top);
    for (auto it = tree.top.rbegin(); it != tree.top.rend(); ++it)
        stack.emplace_back(*it, -1);
    std::vector<std::string> paths(tree.nodes.size()); // a folder's own path
    while (!stack.empty()) {
        const auto [n, parent] = stack.back();
        stack.pop_back();
        Node& node = tree.nodes[size_t(n)];
        Member m;
        m.parent = parent;
        m.entry.name = decoded[size_t(n)];
        if (raw[size_t(n)])
            m.entry.raw = node.raw;
        m.entry.isDir = node.isDir;
        m.entry.isLink = !node.link.empty();
        m.entry.size = node.isDir ? 0 : node.size;
        m.entry.mtime = node.mtime;
        if (!node.link.empty())
            names.decode(node.link, m.entry.link);
        const std::string& above = node.parent < 0 ? std::string() : paths[size_t(node.parent)];
        if (node.isDir) {
            paths[size_t(n)] = above + '/' + m.entry.name;
            m.path = paths[size_t(n)];
        } else {
            m.path = above;
        }
        const int index = int(out.size());
        out.push_back(std::move(m));
        if (node.isDir) {
            sortLevel(node.children);
            for (auto it = node.children.rbegin(); it != node.children.rend(); ++it)
                stack.emplace_back(*it, index);
        }
    }
}

} // namespace

QString problemNote(const QString& problem) {
    return QStringLiteral("无法读取压缩包内容：") + problem;
}

bool isProblemNote(const QString& note) {
    return note.startsWith(QStringLiteral("无法读取压缩包内容："));
}

bool hasArchiveName(std::string_view name) {
    return std::any_of(std::begin(kEndings), std::end(kEndings),
                       [&](std::string_view e) { return endsWithFolded(name, e); });
}

qint64 Limits::unpackedFor(qint64 archiveSize) const {
    const qint64 ratio = std::max<qint64>(1, unpackedRatio);
    const qint64 scaled = archiveSize > unpackedMost / ratio
                              ? unpackedMost
                              : std::max<qint64>(0, archiveSize) * ratio;
    return std::clamp(scaled, std::min(unpackedLeast, unpackedMost), unpackedMost);
}

Listing listArchive(int dirFd, const char* name, fsnames::NameDecoder& names,
                    const std::function<bool()>& stop, const Limits& limits) {
    Listing out;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        out.problem = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return out;
    }
    const detail::Utf8Locale utf8;
    Tree tree;
    {
        detail::Reader reader(limits.unpackedFor(qint64(st.st_size)), stop);
        const auto failed = [&] {
            if (!reader.stopped())
                out.problem = reader.why();
        };
        if (!reader.open(fd)) {
            failed();
            ::close(fd);
            return out;
        }
        archive* a = reader.get();
        archive_entry* e = nullptr;
        for (;;) {
            if (stop && stop()) {
                ::close(fd);
                return out;
            }
            const int rc = archive_read_next_header(a, &e);
            if (rc == ARCHIVE_EOF)
                break;
            if (rc < ARCHIVE_WARN) {
                failed();
                break;
            }
            if (archive_entry_is_encrypted(e)) {
                out.problem = QStringLiteral("压缩包已加密");
                break;
            }
            const std::vector<std::string_view> parts = detail::pathParts(detail::memberPath(e));
            if (parts.empty())
                continue; // the archive's own top folder ("./")
            qint64 pathBytes = qint64(parts.size()) - 1;
            for (const std::string_view part : parts)
                pathBytes += qint64(part.size());
            if (pathBytes > limits.pathBytes) {
                out.problem = QStringLiteral("成员路径超过 %1 字节").arg(limits.pathBytes);
                break;
            }
            Node& node = tree.nodes[size_t(tree.place(parts))];
            if (qint64(tree.nodes.size()) > limits.members) {
                out.problem = QStringLiteral("成员超过 %1 个").arg(limits.members);
                break;
            }
            if (tree.pathBytes > limits.allPathBytes) {
                out.problem = QStringLiteral("成员路径共超过 ") +
                              QLocale::c().formattedDataSize(limits.allPathBytes, 0,
                                                             QLocale::DataSizeIecFormat);
                break;
            }
            const auto type = archive_entry_filetype(e);
            if (type == AE_IFDIR) {
                node.isDir = true;
            } else if (!node.isDir) {
                const char* target = type == AE_IFLNK ? archive_entry_symlink(e) : nullptr;
                node.link = target ? target : "";
                node.size = target || !archive_entry_size_is_set(e)
                                ? 0
                                : std::max<qint64>(0, archive_entry_size(e));
            }
            if (archive_entry_mtime_is_set(e))
                node.mtime = qint64(archive_entry_mtime(e));
            if (!reader.passData()) {
                failed();
                break;
            }
        }
        if (reader.stopped()) {
            ::close(fd);
            return out;
        }
    }
    ::close(fd);
    if (!out.problem.isEmpty())
        return out;
    out.listed = true;
    out.members.reserve(tree.nodes.size());
    flatten(tree, names, out.members);
    return out;
}

} // namespace vorlane::archivelist
