// Tables exported by VVV: one row per file (and per folder) with volume, path, name,
// size, extension, date and description, separated by ',', TAB or '|', fields quoted
// when they hold a quote, a separator or a line break, with an optional header line.
#include "core/interchange/foreign/foreignsource.h"

#include <array>

namespace vorlane::foreign {

namespace {

enum Column { Volume, Path, Name, Size, Extension, Date, Description, Columns };

// Splits the whole text into records; quotes are doubled inside quoted fields.
std::vector<QStringList> records(const QString& text, QChar sep) {
    std::vector<QStringList> out;
    QStringList record;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == sep) {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            record << field;
            if (!(record.size() == 1 && record[0].isEmpty()))
                out.push_back(record);
            record.clear();
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        throw ForeignError(QStringLiteral("a quoted field is not closed"));
    if (!field.isEmpty() || !record.isEmpty()) {
        record << field;
        out.push_back(record);
    }
    return out;
}

// The separator whose split of the first records gives the same, large enough count.
QChar separatorOf(const QString& text) {
    QChar best;
    qsizetype bestCount = 0;
    for (const QChar sep : {QLatin1Char('\t'), QLatin1Char('|'), QLatin1Char(',')}) {
        const std::vector<QStringList> some =
            records(text.left(8192).section(QLatin1Char('\n'), 0, 2), sep);
        if (some.empty() || some[0].size() < 6)
            continue;
        if (some[0].size() > bestCount) {
            best = sep;
            bestCount = some[0].size();
        }
    }
    if (bestCount == 0)
        throw ForeignError(QStringLiteral("not a VVV table: no line has the volume, path, "
                                          "name, size, extension and date columns"));
    return best;
}

std::optional<std::array<int, Columns>> headerColumns(const QStringList& cells) {
    std::array<int, Columns> at;
    at.fill(-1);
    for (int i = 0; i < cells.size(); ++i) {
        const QString c = cells[i].trimmed().toLower();
        if (c.contains(QLatin1String("volume")))
            at[Volume] = i;
        else if (c.contains(QLatin1String("path")))
            at[Path] = i;
        else if (c.contains(QLatin1String("name")))
            at[Name] = i;
        else if (c.contains(QLatin1String("size")))
            at[Size] = i;
        else if (c.startsWith(QLatin1String("ext")))
            at[Extension] = i;
        else if (c.contains(QLatin1String("date")) || c.contains(QLatin1String("modified")))
            at[Date] = i;
        else if (c.contains(QLatin1String("description")))
            at[Description] = i;
    }
    if (at[Volume] < 0 || at[Path] < 0 || at[Name] < 0)
        return std::nullopt;
    return at;
}

} // namespace

Source readVvv(const QByteArray& bytes, const QString& fileName) {
    Q_UNUSED(fileName);
    if (bytes.startsWith("disc,category,path,name,") ||
        bytes.startsWith("\xEF\xBB\xBF"
                         "disc,category,path,name,"))
        throw ForeignError(
            QStringLiteral("a CSV export of Vorlane: merge its JSON export instead"));
    const QString text = decodeText(bytes);
    const QChar sep = separatorOf(text);
    std::vector<QStringList> rows = records(text, sep);
    std::array<int, Columns> at{Volume, Path, Name, Size, Extension, Date, Description};
    size_t first = 0;
    if (const auto header = headerColumns(rows.front())) {
        at = *header;
        first = 1;
    } else if (rows.front().size() > Size && !rows.front()[Size].trimmed().isEmpty() &&
               !readSize(rows.front()[Size])) {
        first = 1; // a header in another language: the columns in their usual order
    }
    Source s;
    std::vector<std::pair<QString, size_t>> discs; // volume -> index
    const auto cell = [&](const QStringList& r, Column c) {
        return at[c] >= 0 && at[c] < r.size() ? r[at[c]] : QString();
    };
    for (size_t i = first; i < rows.size(); ++i) {
        const QStringList& r = rows[i];
        const QString volume = cell(r, Volume);
        if (volume.isEmpty() || r.size() < 3) {
            s.drop(QStringLiteral("rows without a volume"), r.join(sep));
            continue;
        }
        size_t disc = s.discs.size();
        for (const auto& [name, index] : discs) {
            if (name == volume)
                disc = index;
        }
        if (disc == s.discs.size()) {
            discs.emplace_back(volume, disc);
            s.discs.emplace_back().name = volume;
        }
        Disc& d = s.discs[disc];
        QString path = cell(r, Path);
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        QString name = cell(r, Name);
        const QString ext = cell(r, Extension);
        Node* node = nullptr;
        if (name.isEmpty()) {
            // A folder's own row: its path names it.
            node = &d.folderAt(path);
            if (node == &d.root) {
                if (!cell(r, Description).isEmpty())
                    d.note = cell(r, Description);
                continue;
            }
        } else {
            if (!ext.isEmpty() && !name.endsWith(QLatin1Char('.') + ext, Qt::CaseInsensitive))
                name += QLatin1Char('.') + ext;
            node = &d.folderAt(path).addFile(name);
            const QString size = cell(r, Size);
            if (const auto v = readSize(QString(size).remove(QLatin1Char(' ')).remove(QChar(0xA0))))
                node->size = *v;
            else if (!size.trimmed().isEmpty())
                s.drop(QStringLiteral("sizes not read (stored as 0)"), size);
        }
        node->timeText = cell(r, Date);
        node->note = cell(r, Description);
    }
    if (s.discs.empty())
        throw ForeignError(QStringLiteral("the table names no volume"));
    return s;
}

} // namespace vorlane::foreign
