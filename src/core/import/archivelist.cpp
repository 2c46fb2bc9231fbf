#include "core/import/archivelist.h"

#include "core/settings/text.h"

#include <QCollator>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <map>
#include <memory>
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

// libarchive hands names over in the thread's locale: names a zip marks as UTF-8 are lost
// under a plain "C" locale. The listing runs under a UTF-8 locale on its own thread, which
// leaves the bytes of every other name as the archive holds them.
class Utf8Locale {
public:
    Utf8Locale() {
        m_locale = ::newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(nullptr));
        if (m_locale != locale_t(nullptr))
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8Locale() {
        if (m_locale == locale_t(nullptr))
            return;
        ::uselocale(m_previous);
        ::freelocale(m_locale);
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t m_locale = locale_t(nullptr);
    locale_t m_previous = locale_t(nullptr);
};

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveFree>;

ArchivePtr openReader() {
    ArchivePtr a(archive_read_new());
    if (!a)
        return a;
    archive_read_support_format_zip(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_format_iso9660(a.get());
    archive_read_support_filter_gzip(a.get());
    archive_read_support_filter_bzip2(a.get());
    archive_read_support_filter_xz(a.get());
    archive_read_support_filter_zstd(a.get());
    return a;
}

QString errorText(archive* a) {
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("未知错误");
}

// The parts of a member's path, without empty, "." and ".." parts: "./a//b/" is "a/b". A
// path that climbs out of the archive stays inside it.
std::vector<std::string_view> pathParts(const char* path) {
    std::vector<std::string_view> parts;
    if (!path)
        return parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return parts;
}

QByteArray joinParts(const std::vector<std::string_view>& parts) {
    QByteArray out;
    for (const std::string_view p : parts) {
        if (!out.isEmpty())
            out += '/';
        out.append(p.data(), qsizetype(p.size()));
    }
    return out;
}

// The member's path: its UTF-8 form where the archive gives no bytes of its own.
const char* memberPath(archive_entry* e) {
    const char* path = archive_entry_pathname(e);
    return path ? path : archive_entry_pathname_utf8(e);
}

struct Node {
    std::string raw;
    int parent = -1;
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

Listing listArchive(int dirFd, const char* name, fsnames::NameDecoder& names,
                    const std::function<bool()>& stop) {
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
    const Utf8Locale utf8;
    Tree tree;
    {
        ArchivePtr a = openReader();
        if (!a) {
            ::close(fd);
            out.problem = QStringLiteral("内存不足");
            return out;
        }
        if (archive_read_open_fd(a.get(), fd, 64 * 1024) != ARCHIVE_OK) {
            out.problem = errorText(a.get());
            a.reset();
            ::close(fd);
            return out;
        }
        archive_entry* e = nullptr;
        for (;;) {
            if (stop && stop()) {
                a.reset();
                ::close(fd);
                return out;
            }
            const int rc = archive_read_next_header(a.get(), &e);
            if (rc == ARCHIVE_EOF)
                break;
            if (rc < ARCHIVE_WARN) {
                out.problem = errorText(a.get());
                break;
            }
            if (archive_entry_is_encrypted(e)) {
                out.problem = QStringLiteral("压缩包已加密");
                break;
            }
            const std::vector<std::string_view> parts = pathParts(memberPath(e));
            if (parts.empty())
                continue; // the archive's own top folder ("./")
            Node& node = tree.nodes[size_t(tree.place(parts))];
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

bool extractMember(const QByteArray& archivePath, const QByteArray& inner, const QByteArray& target,
                   QString& error) {
    const QByteArray wanted = joinParts(pathParts(inner.constData()));
    const Utf8Locale utf8;
    ArchivePtr a = openReader();
    if (!a) {
        error = QStringLiteral("内存不足");
        return false;
    }
    if (archive_read_open_filename(a.get(), archivePath.constData(), 64 * 1024) != ARCHIVE_OK) {
        error = errorText(a.get());
        return false;
    }
    archive_entry* e = nullptr;
    for (;;) {
        const int rc = archive_read_next_header(a.get(), &e);
        if (rc == ARCHIVE_EOF) {
            error = QStringLiteral("压缩包中没有这个文件");
            return false;
        }
        if (rc < ARCHIVE_WARN) {
            error = errorText(a.get());
            return false;
        }
        const std::vector<std::string_view> parts = pathParts(memberPath(e));
        if (parts.empty() || joinParts(parts) != wanted || archive_entry_filetype(e) == AE_IFDIR)
            continue;
        const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        const auto abandon = [&](const QString& why) {
            ::close(out);
            ::unlink(target.constData());
            error = why;
            return false;
        };
        for (;;) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int got = archive_read_data_block(a.get(), &block, &size, &offset);
            if (got == ARCHIVE_EOF)
                break;
            if (got < ARCHIVE_WARN)
                return abandon(errorText(a.get()));
            // Sparse members hand over blocks at their own offsets.
            if (::lseek(out, off_t(offset), SEEK_SET) < 0)
                return abandon(QString::fromLocal8Bit(std::strerror(errno)));
            const char* p = static_cast<const char*>(block);
            while (size > 0) {
                const ssize_t n = ::write(out, p, size);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return abandon(QString::fromLocal8Bit(std::strerror(errno)));
                p += n;
                size -= size_t(n);
            }
        }
        const qint64 length = archive_entry_size_is_set(e) ? archive_entry_size(e) : -1;
        if (length >= 0 && ::ftruncate(out, off_t(length)) != 0)
            return abandon(QString::fromLocal8Bit(std::strerror(errno)));
        if (::close(out) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            ::unlink(target.constData());
            return false;
        }
        return true;
    }
}

} // namespace vorlane::archivelist
