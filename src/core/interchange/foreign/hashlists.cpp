// hashdeep listings (a header naming the columns, then size, hashes and name separated by
// commas, the name last so that it may hold commas) and the md5sum/sha1sum/sha256sum
// listings (hash, a space, a space or '*' for binary, the name; a leading backslash marks
// a name with \\, \n and \r escaped), also in the "MD5 (name) = hash" form.
#include "core/interchange/foreign/foreignsource.h"

#include <QRegularExpression>

namespace vorlane::foreign {

namespace {

struct Listed {
    QString path;
    std::optional<qint64> size;
    std::vector<ForeignHash> hashes;
};

std::optional<ForeignHash> hexHash(HashAlgorithm a, const QString& hex) {
    const QByteArray digest = QByteArray::fromHex(hex.toLatin1());
    static const QRegularExpression isHex(QStringLiteral("^[0-9a-fA-F]+$"));
    if (digest.size() != foreignhash::digestLength(a) || !isHex.match(hex).hasMatch())
        return std::nullopt;
    return ForeignHash{a, digest};
}

std::optional<QString> unescape(const QString& name) {
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != QLatin1Char('\\')) {
            out += name[i];
            continue;
        }
        if (++i == name.size())
            return std::nullopt;
        if (name[i] == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (name[i] == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (name[i] == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        else
            return std::nullopt;
    }
    return out;
}

// The folder all listed files lie in, '/'-separated, without a trailing '/'.
QString commonFolder(const std::vector<Listed>& files) {
    if (files.empty())
        return {};
    QStringList common = files.front().path.split(QLatin1Char('/'));
    common.removeLast();
    for (const Listed& f : files) {
        QStringList parts = f.path.split(QLatin1Char('/'));
        parts.removeLast();
        qsizetype n = 0;
        while (n < common.size() && n < parts.size() && common[n] == parts[n])
            ++n;
        common = common.mid(0, n);
    }
    return common.join(QLatin1Char('/'));
}

Source toSource(std::vector<Listed>& files, const QString& invokedFrom, Source s) {
    if (files.empty())
        throw ForeignError(QStringLiteral("the listing names no file"));
    for (Listed& f : files) {
        if (f.path.startsWith(QLatin1String("./")))
            f.path = f.path.mid(2);
    }
    const QString folder = commonFolder(files);
    Disc& d = s.discs.emplace_back();
    d.sourcePath = folder;
    if (!folder.startsWith(QLatin1Char('/')) && !invokedFrom.isEmpty())
        d.sourcePath = folder.isEmpty() ? invokedFrom : invokedFrom + QLatin1Char('/') + folder;
    while (d.sourcePath.size() > 1 && d.sourcePath.endsWith(QLatin1Char('/')))
        d.sourcePath.chop(1);
    if (d.sourcePath == QLatin1String("/"))
        d.sourcePath.clear();
    d.name = d.sourcePath.section(QLatin1Char('/'), -1);
    for (const Listed& f : files) {
        const QString rel = folder.isEmpty() ? f.path : f.path.mid(folder.size() + 1);
        const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
        Node& parent = d.folderAt(slash < 0 ? QString() : rel.left(slash));
        Node& file = parent.addFile(rel.mid(slash + 1));
        if (f.size)
            file.size = *f.size;
        else
            s.drop(QStringLiteral("file sizes the listing does not give (stored as 0)"), rel);
        file.hashes = f.hashes;
    }
    return s;
}

Source readHashdeep(const QString& text) {
    Source s;
    std::vector<Listed> files;
    QString invokedFrom;
    QStringList columns;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype no = 0; no < lines.size(); ++no) {
        QString line = lines[no];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("%%%% "))) {
            if (line.startsWith(QLatin1String("%%%% size,")) || line.contains(QLatin1Char(',')))
                columns = line.mid(5).split(QLatin1Char(','));
            continue;
        }
        if (line.startsWith(QLatin1String("## Invoked from: "))) {
            invokedFrom = line.mid(17).trimmed();
            invokedFrom.replace(QLatin1Char('\\'), QLatin1Char('/'));
            continue;
        }
        if (line.startsWith(QLatin1String("##")))
            continue;
        if (columns.size() < 2 || columns.last() != QLatin1String("filename"))
            throw ForeignError(QStringLiteral("the hashdeep listing has no column header"));
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() < columns.size()) {
            s.drop(QStringLiteral("lines not understood"), line);
            continue;
        }
        Listed f;
        f.path = fields.mid(columns.size() - 1).join(QLatin1Char(','));
        // A listing made on Windows: a drive and backslashes.
        static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:\\\\"));
        if (drive.match(f.path).hasMatch())
            f.path = f.path.replace(QLatin1Char('\\'), QLatin1Char('/')).mid(2);
        bool bad = false;
        for (qsizetype c = 0; c + 1 < columns.size(); ++c) {
            const QString& col = columns[c];
            if (col == QLatin1String("size")) {
                f.size = readSize(fields[c]);
                bad = bad || !f.size;
            } else if (const auto a = foreignhash::algorithmNamed(col)) {
                const auto h = hexHash(*a, fields[c]);
                if (h)
                    f.hashes.push_back(*h);
                bad = bad || !h;
            } else {
                s.drop(QStringLiteral("hashes of algorithms not kept (%1)").arg(col), f.path);
            }
        }
        if (bad)
            s.drop(QStringLiteral("lines with a bad size or hash"), line);
        else
            files.push_back(std::move(f));
    }
    return toSource(files, invokedFrom, std::move(s));
}

Source readSums(const QString& text, const QString& format) {
    const HashAlgorithm algorithm = format == QLatin1String("md5sum")    ? HashAlgorithm::Md5
                                    : format == QLatin1String("sha1sum") ? HashAlgorithm::Sha1
                                                                         : HashAlgorithm::Sha256;
    static const QRegularExpression gnu(QStringLiteral("^(\\\\?)([0-9a-fA-F]+) [ *](.+)$"));
    static const QRegularExpression bsd(
        QStringLiteral("^(\\\\?)(MD5|SHA1|SHA256) \\((.+)\\) = ([0-9a-fA-F]+)$"));
    Source s;
    std::vector<Listed> files;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        QString hex, name;
        bool escaped = false;
        if (const auto m = gnu.match(line); m.hasMatch()) {
            escaped = !m.captured(1).isEmpty();
            hex = m.captured(2);
            name = m.captured(3);
        } else if (const auto b = bsd.match(line); b.hasMatch()) {
            escaped = !b.captured(1).isEmpty();
            name = b.captured(3);
            hex = b.captured(4);
        } else {
            s.drop(QStringLiteral("lines not understood"), line);
            continue;
        }
        const auto h = hexHash(algorithm, hex);
        const std::optional<QString> path = escaped ? unescape(name) : std::optional(name);
        if (!h || !path) {
            s.drop(QStringLiteral("lines with a hash of another length or a bad name"), line);
            continue;
        }
        files.push_back({*path, std::nullopt, {*h}});
    }
    return toSource(files, {}, std::move(s));
}

} // namespace

Source readHashList(const QByteArray& bytes, const QString& format) {
    const QString text = decodeText(bytes);
    return format == QLatin1String("hashdeep") ? readHashdeep(text) : readSums(text, format);
}

} // namespace vorlane::foreign
