// The tree the scan and rescan benchmarks walk: by default 20,000 folders and 180,000 files.
// Folder i (1..folders) lies in folder (i - 1) / 8, 0 being the root: a tree five levels deep
// (more for a larger tree). Files are spread evenly over the folders and the root, with sizes
// up to 5 MB (sparse).
#pragma once

#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace bench {

class NestedTree {
public:
    static constexpr int Folders = 20000;
    static constexpr int Files = 180000;

    explicit NestedTree(int folders = Folders, int files = Files)
        : m_folderCount(folders), m_fileCount(files) {}

    int folders() const { return m_folderCount; }
    int files() const { return m_fileCount; }

    // Makes the tree below `root`, which must exist and be empty; exits on failure.
    void build(const QString& root) {
        std::printf("building %d folders and %d files...\n", m_folderCount, m_fileCount);
        std::fflush(stdout);
        m_folders.resize(size_t(m_folderCount) + 1);
        m_folders[0] = QFile::encodeName(root).toStdString();
        for (int i = 1; i <= m_folderCount; ++i) {
            m_folders[size_t(i)] = m_folders[size_t(i - 1) / 8] + "/dir" + std::to_string(i);
            if (::mkdir(m_folders[size_t(i)].c_str(), 0755) != 0) {
                std::perror("mkdir");
                std::exit(1);
            }
        }
        std::mt19937 rng(42);
        std::uniform_int_distribution<long> size(0, 5'000'000);
        for (int i = 0; i < m_fileCount; ++i)
            makeFile(filePath(i), size(rng));
    }

    // The path of file i; numbers from files() on name files the tree does not have yet.
    std::string filePath(int i) const {
        static const char* const exts[] = {".jpg", ".txt", ".mp3", ".pdf", ".doc", ""};
        return m_folders[size_t(i) % m_folders.size()] + "/file" + std::to_string(i) + exts[i % 6];
    }

    // Creates or truncates the file at `path` to `size` bytes; exits on failure.
    static void makeFile(const std::string& path, long size) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0) {
            std::perror("create");
            std::exit(1);
        }
        ::close(fd);
    }

private:
    int m_folderCount;
    int m_fileCount;
    std::vector<std::string> m_folders;
};

} // namespace bench
