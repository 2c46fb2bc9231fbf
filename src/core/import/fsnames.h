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

// The legacy encoding that names which are not UTF-8 are read in unless the user chose
// another: discs burned on Chinese systems carry GBK names, which GB18030 covers.
inline constexpr char DefaultNameEncoding[] = "GB18030";

// True when `bytes` are valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(std::string_view bytes);

// Turns raw file names into the UTF-8 text the catalog stores. Valid UTF-8 is kept byte
// for byte. Anything else is decoded with the legacy encoding; a byte that does not decode
// is shown as "\xNN" and a backslash as "\x5C", so that different names never give the
// same text. Not shared between threads.
class NameDecoder {
public:
    // An empty or unknown encoding falls back to DefaultNameEncoding.
    explicit NameDecoder(const QString& encoding = {});
    ~NameDecoder();
    NameDecoder(const NameDecoder&) = delete;
    NameDecoder& operator=(const NameDecoder&) = delete;

    // Sets `out` to the text for `raw`; false when `raw` is not UTF-8 and `out` was decoded.
    bool decode(std::string_view raw, std::string& out);

private:
    void* m_cd; // iconv_t; (void*)-1 when no encoding could be opened
};

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
