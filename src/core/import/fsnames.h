// Names read from the file system as the catalog stores them, shared by the scan and the
// file-type detection.
#pragma once

#include "core/throttle.h"

#include <QFile>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace vorlane::fsnames {

// The UTF-8 text stored for a raw file name. Valid UTF-8 is kept byte for byte; anything
// else goes through QFile::decodeName so it can still be shown.
inline void storedName(const char* raw, std::string& out) {
    const size_t len = std::strlen(raw);
    bool ascii = true;
    for (size_t i = 0; i < len && ascii; ++i)
        ascii = (static_cast<unsigned char>(raw[i]) & 0x80) == 0;
    if (ascii) {
        out.assign(raw, len);
        return;
    }
    const QByteArray utf8 = QFile::decodeName(QByteArray(raw, qsizetype(len))).toUtf8();
    out.assign(utf8.constData(), size_t(utf8.size()));
}

// Folds only a-z to upper case: the catalog's rule for comparing extensions.
inline std::string foldAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return s;
}

// Tells a walk's progress callback which entry is being read, as a full path, at most
// every `intervalMs` (0 = before every entry).
class PathReporter {
public:
    using Callback = std::function<void(const QString& path)>;

    PathReporter(const Callback& progress, int intervalMs)
        : m_progress(progress), m_due(Throttle::dueAtOnce(intervalMs)) {}

    // `prefix` is the walk's root prefix, `folder` the folder's path below it ("" or
    // "/A/B"), `name` the entry's stored name.
    void report(const QString& prefix, std::string_view folder, const std::string& name) {
        if (!m_progress || !m_due.due())
            return;
        m_progress(prefix + QString::fromUtf8(folder.data(), qsizetype(folder.size())) +
                   QLatin1Char('/') + QString::fromUtf8(name.data(), qsizetype(name.size())));
    }

private:
    const Callback& m_progress;
    Throttle m_due;
};

} // namespace vorlane::fsnames
