// A temporary directory tree for file-system tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class TestDir {
public:
    TestDir() { QVERIFY2(m_dir.isValid(), "temporary directory"); }
    ~TestDir() {
        // Restore permissions taken away by a test so the tree can be removed.
        for (const QString& p : m_locked)
            ::chmod(QFile::encodeName(p).constData(), 0755);
        // Names that are not valid UTF-8 do not survive QDir's removal; the bytes do.
        if (m_dir.isValid())
            ::nftw(
                QFile::encodeName(m_dir.path()).constData(),
                [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
    }

    QString path() const { return m_dir.path(); }
    QString path(const QString& rel) const { return m_dir.filePath(rel); }

    QString createDir(const QString& rel) {
        QDir().mkpath(path(rel));
        return path(rel);
    }
    // A file of `size` bytes; sparse when `sparse` (for very large sizes).
    QString createFile(const QString& rel, qint64 size = 0, bool sparse = false) {
        const QString full = path(rel);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        if (sparse) {
            f.resize(size);
        } else if (size > 0) {
            f.write(QByteArray(int(size), 'x'));
        }
        return full;
    }
    QString writeFile(const QString& rel, const QByteArray& content) {
        const QString full = path(rel);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return full;
    }
    bool symlink(const QString& target, const QString& rel) {
        return ::symlink(QFile::encodeName(target).constData(),
                         QFile::encodeName(path(rel)).constData()) == 0;
    }
    // Takes away every permission (an unreadable folder or file).
    void lock(const QString& rel) {
        ::chmod(QFile::encodeName(path(rel)).constData(), 0);
        m_locked << path(rel);
    }

private:
    QTemporaryDir m_dir;
    QStringList m_locked;
};
