// Escapes for text and tsv output: nothing a name holds can drive the terminal, and no
// two names print alike.
#include "cli/clicommon.h"
#include "core/import/fsnames.h"

namespace vorlane::cli {

namespace {

QString escapeControls(const QString& text, bool keepLines) {
    QString s;
    s.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n') {
            if (keepLines) {
                s += QChar(c);
            } else {
                if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                    ++i;
                s += QStringLiteral("\\n");
            }
        } else if (c == u'\t') {
            s += keepLines ? QChar(c) : QChar(u' ');
        } else if (c < 0x20 || c == 0x7f) {
            // C0 and DEL: a terminal would act on them.
            s += QStringLiteral("\\x") + QString::number(c, 16).rightJustified(2, u'0');
        } else if (c >= 0x80 && c <= 0x9f) {
            // C1 as well; as a character, since \xHH is a byte of a name that is not UTF-8.
            s += QStringLiteral("\\u00") + QString::number(c, 16);
        } else {
            s += QChar(c);
        }
    }
    return s;
}

QString doubledBackslashes(QString text) {
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

// True when `raw` holds the bytes of a name that was not UTF-8, whose stored text was
// decoded with its escapes.
bool decoded(const QByteArray& raw) {
    return !raw.isEmpty() && !fsnames::isUtf8(std::string_view(raw.constData(), raw.size()));
}

} // namespace

QString oneLine(const QString& text) {
    return escapeControls(text, false);
}

QString withoutControls(const QString& text) {
    return escapeControls(text, true);
}

QString escapedText(const QString& text) {
    return oneLine(doubledBackslashes(text));
}

QString escapedName(const QString& name, const QByteArray& raw) {
    return oneLine(decoded(raw) ? name : doubledBackslashes(name));
}

QString escapedPath(const QString& path, const QByteArray& raw) {
    const QStringList names = path.split(QLatin1Char('/'));
    const QList<QByteArray> bytes = raw.split('/');
    if (names.size() != bytes.size())
        return escapedText(path);
    QStringList shown;
    shown.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        shown << (decoded(bytes[i]) ? names[i] : doubledBackslashes(names[i]));
    return oneLine(shown.join(QLatin1Char('/')));
}

} // namespace vorlane::cli
