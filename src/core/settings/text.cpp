#include "core/settings/text.h"

#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <iconv.h>

namespace vorlane {

namespace {

QByteArray convert(const char* to, const char* from, const QByteArray& in, bool* ok = nullptr) {
    if (ok)
        *ok = true;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) {
        if (ok)
            *ok = false;
        return {};
    }
    QByteArray out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = size_t(in.size());
    char* dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1)) {
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = size_t(out.size() - used);
                continue;
            }
            // Skip a byte that cannot be converted rather than lose the rest.
            if (ok)
                *ok = false;
            ++src;
            --srcLeft;
        }
    }
    out.resize(dst - out.data());
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray toGb18030(const QString& text) {
    return convert("GB18030", "UTF-8", text.toUtf8());
}

QString fromGb18030(const QByteArray& bytes) {
    return QString::fromUtf8(convert("UTF-8", "GB18030", bytes));
}

int gbkLength(const QString& text) {
    return int(toGb18030(text).size());
}

QString truncateGbk(const QString& text, int maxBytes) {
    if (maxBytes <= 0)
        return {};
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype step = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const int bytes = int(toGb18030(text.mid(i, step)).size());
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += step;
    }
    return text.left(i);
}

QString decodeTextFile(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = utf8.decode(bytes);
    if (!utf8.hasError())
        return s.startsWith(QChar(0xFEFF)) ? s.mid(1) : s;
    return fromGb18030(bytes);
}

QString asciiUpper(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(char16_t(u - 32));
    }
    return out;
}

bool containsKeyword(const QString& text, const QString& keyword, bool caseSensitive) {
    if (caseSensitive)
        return text.contains(keyword, Qt::CaseSensitive);
    return asciiUpper(text).contains(asciiUpper(keyword), Qt::CaseSensitive);
}

QCollator nameCollator() {
    QLocale locale;
    // The C locale collates by code point and ignores the numeric mode, so "file10" would
    // come before "file2" and "b" before "A"; the program's own language stands in for it.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseSensitive);
    return collator;
}

std::vector<int> nameOrder(const QStringList& names) {
    const QCollator collator = nameCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(names.size()));
    for (const QString& name : names)
        keys.push_back(collator.sortKey(name));
    std::vector<int> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    return order;
}

QString sizeText(qint64 bytes, bool inKb) {
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    if (inKb)
        return locale.toString(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
    if (bytes < 1024 && bytes > -1024)
        return locale.toString(bytes) + QStringLiteral(" B");
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    // Moves up once the rounded number would reach 1024, so 1,048,575 bytes read 1.0 MB,
    // not 1,024.0 KB.
    while (unit < 3 && std::abs(value) >= 1023.95) {
        value /= 1024.0;
        ++unit;
    }
    return locale.toString(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace vorlane
