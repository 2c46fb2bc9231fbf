// Names read from the file system as the catalog stores them, shared by the scan and the
// file-type detection.
#pragma once

#include <QFile>
#include <cstring>
#include <string>

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

} // namespace vorlane::fsnames
