#include "core/interchange/foreign/foreignsource.h"

#include "core/store/interchangestore.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <memory>
#include <zlib.h>

namespace vorlane::foreign {

namespace {

// Larger sources are refused rather than read into memory: no listing of a real
// collection comes near it.
constexpr qint64 MaxSourceBytes = qint64(1) << 31;
// Deeper trees are refused: no file system nests folders this deep.
constexpr int MaxDepth = 1000;

const char* const Formats[] = {"cdcat",    "vvv",    "katalog", "catcli",   "gwhere",
                               "hashdeep", "md5sum", "sha1sum", "sha256sum"};

} // namespace

Node& Node::folderNamed(const QString& childName) {
    if (Node* found = m_folders.value(childName))
        return *found;
    Node& n = children.emplace_back();
    n.name = childName;
    n.folder = true;
    m_folders.insert(childName, &n);
    return n;
}

Node& Node::addFile(const QString& childName) {
    Node& n = children.emplace_back();
    n.name = childName;
    return n;
}

Node& Disc::folderAt(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() > MaxDepth)
        throw ForeignError(QStringLiteral("folders nest deeper than %1 levels").arg(MaxDepth));
    Node* n = &root;
    for (const QString& part : parts)
        n = &n->folderNamed(part);
    return *n;
}

void Source::drop(const QString& why, const QString& example) {
    for (Dropped& d : dropped) {
        if (d.why == why) {
            ++d.count;
            return;
        }
    }
    dropped.push_back({why, 1, example});
}

QStringList Source::droppedLines() const {
    QStringList lines;
    for (const Dropped& d : dropped) {
        QString line = QStringLiteral("%1 × %2").arg(d.count).arg(d.why);
        if (!d.example.isEmpty())
            line += QStringLiteral(" (e.g. ") + d.example.left(120) + QLatin1Char(')');
        lines << line;
    }
    return lines;
}

QStringList formatNames() {
    QStringList names;
    for (const char* f : Formats)
        names << QString::fromLatin1(f);
    return names;
}

bool isForeignFormat(const QString& name) {
    return formatNames().contains(name);
}

bool isGzip(const QByteArray& bytes) {
    return bytes.startsWith("\x1f\x8b");
}

QByteArray gunzip(const QByteArray& compressed, qint64 limit) {
    // zlib rather than libarchive: it checks the stream's length and checksum, so a cut or
    // damaged file is told from a whole one.
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        throw ForeignError(QStringLiteral("out of memory"));
    const std::unique_ptr<z_stream, decltype(&inflateEnd)> guard(&z, &inflateEnd);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
    z.avail_in = uInt(compressed.size());
    QByteArray out;
    char buffer[65536];
    int r = Z_OK;
    while (r != Z_STREAM_END) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END)
            throw ForeignError(
                QStringLiteral("the compressed file is damaged") +
                (z.msg ? QStringLiteral(" (") + QString::fromUtf8(z.msg) + QLatin1Char(')')
                       : QString()));
        const qint64 n = qint64(sizeof buffer - z.avail_out);
        if (out.size() + n > limit)
            throw ForeignError(QStringLiteral("the file is too large to merge"));
        out.append(buffer, n);
        if (r == Z_OK && z.avail_in == 0 && n == 0)
            throw ForeignError(QStringLiteral("the compressed file is damaged (cut short)"));
    }
    return out;
}

QString decodeText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.isValid() ? gb.decode(view) : QString::fromLatin1(view);
}

std::optional<qint64> readSize(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

namespace {

// A table exported by Vorlane itself: CSV for spreadsheets, not for merging.
bool isOwnCsv(const QByteArray& head) {
    return head.startsWith("disc,category,path,name,") ||
           head.startsWith("\xEF\xBB\xBF"
                           "disc,category,path,name,");
}

// `tail`: the file's last bytes, where a catcli catalog names its root's type.
QString detectText(const QByteArray& bytes, const QByteArray& tail) {
    const QByteArray head = bytes.left(4096);
    const QByteArray trimmed = head.trimmed();
    if (head.contains("<!DOCTYPE HyperCDCatalogFile>") ||
        (trimmed.startsWith("<?xml") && head.contains("<catalog")))
        return QStringLiteral("cdcat");
    if (trimmed.startsWith("GWhere"))
        return QStringLiteral("gwhere");
    if (trimmed.startsWith("%%%% HASHDEEP"))
        return QStringLiteral("hashdeep");
    if (trimmed.startsWith("<catalogSourcePath>") || trimmed.startsWith("<catalogFileCount>"))
        return QStringLiteral("katalog");
    if (trimmed.startsWith("{")) {
        static const QRegularExpression top(QStringLiteral("\"type\"\\s*:\\s*\"top\""));
        // A catcli catalog names its root node; an export of ours names its format first.
        if (!head.contains("\"vorlane-catalog\"") &&
            (top.match(QString::fromUtf8(head)).hasMatch() ||
             top.match(QString::fromUtf8(tail)).hasMatch()))
            return QStringLiteral("catcli");
        return {};
    }
    static const QRegularExpression sum(
        QStringLiteral("^\\\\?([0-9a-fA-F]{32}|[0-9a-fA-F]{40}|[0-9a-fA-F]{64}) [ "
                       "*]\\S|^(MD5|SHA1|SHA256) \\(.*\\) = [0-9a-fA-F]+$"));
    const QString text = QString::fromUtf8(head);
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty())
            continue;
        const QRegularExpressionMatch m = sum.match(line.trimmed());
        if (!m.hasMatch())
            break;
        if (!m.captured(2).isEmpty())
            return m.captured(2) == QLatin1String("MD5")    ? QStringLiteral("md5sum")
                   : m.captured(2) == QLatin1String("SHA1") ? QStringLiteral("sha1sum")
                                                            : QStringLiteral("sha256sum");
        const qsizetype n = m.captured(1).size();
        return n == 32   ? QStringLiteral("md5sum")
               : n == 40 ? QStringLiteral("sha1sum")
                         : QStringLiteral("sha256sum");
    }
    // A table of at least volume, path, name and size columns.
    if (isOwnCsv(head))
        return {};
    const QString first = text.section(QLatin1Char('\n'), 0, 0);
    for (const QChar sep : {QLatin1Char('\t'), QLatin1Char('|'), QLatin1Char(',')}) {
        if (first.count(sep) >= 5)
            return QStringLiteral("vvv");
    }
    return {};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ForeignError(file.errorString());
    if (file.size() > MaxSourceBytes)
        throw ForeignError(QStringLiteral("the file is too large to merge"));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ForeignError(file.errorString());
    return bytes;
}

} // namespace

QString detectFormat(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray head = file.read(65536);
    QByteArray tail;
    if (file.size() > head.size() && file.seek(std::max<qint64>(head.size(), file.size() - 4096)))
        tail = file.read(4096);
    if (isGzip(head)) {
        try {
            const QByteArray all = gunzip(readAll(path), MaxSourceBytes);
            head = all.left(65536);
            tail = all.right(4096);
        } catch (const ForeignError&) {
            // A damaged compressed file: named by its name, so the reader can say why.
            const QString suffix = QFileInfo(path).suffix().toLower();
            return suffix == QLatin1String("hcf")   ? QStringLiteral("cdcat")
                   : suffix == QLatin1String("ctg") ? QStringLiteral("gwhere")
                                                    : QString();
        }
    }
    return detectText(head, tail);
}

Source readSource(const QString& path, const QString& format) {
    const QString name = format.isEmpty() ? detectFormat(path) : format;
    if (name.isEmpty())
        throw ForeignError(QStringLiteral("not a file of any format merge reads"));
    QByteArray bytes = readAll(path);
    if (isGzip(bytes))
        bytes = gunzip(bytes, MaxSourceBytes);
    Source s;
    if (name == QLatin1String("cdcat"))
        s = readCdcat(bytes);
    else if (name == QLatin1String("gwhere"))
        s = readGwhere(bytes);
    else if (name == QLatin1String("katalog"))
        s = readKatalog(bytes);
    else if (name == QLatin1String("catcli"))
        s = readCatcli(bytes);
    else if (name == QLatin1String("vvv"))
        s = readVvv(bytes, QFileInfo(path).completeBaseName());
    else if (isForeignFormat(name))
        s = readHashList(bytes, name);
    else
        throw ForeignError(QStringLiteral("unknown format '%1'").arg(name));
    s.format = name;
    resolveDates(s);
    for (Disc& d : s.discs) {
        if (d.name.isEmpty())
            d.name = QFileInfo(path).completeBaseName();
    }
    return s;
}

// ---- rows ----

namespace {

const QByteArray HashColumns[] = {"ForeignMD5", "ForeignSHA1", "ForeignSHA256"};

class RowBuilder {
public:
    void clear() {
        m_names.clear();
        m_data.clear();
        m_cells.clear();
    }
    void integer(const char* name, qint64 v) {
        Cell c;
        c.type = Cell::Type::Integer;
        c.integer = v;
        add(name, c, {});
    }
    void text(const char* name, const QString& v) {
        Cell c;
        c.type = Cell::Type::Text;
        add(name, c, v.toUtf8());
    }
    void blob(const QByteArray& name, const QByteArray& v) {
        Cell c;
        c.type = Cell::Type::Blob;
        add(name, c, v);
    }
    RowView view() {
        for (size_t i = 0; i < m_cells.size(); ++i) {
            if (m_cells[i].type == Cell::Type::Text || m_cells[i].type == Cell::Type::Blob)
                m_cells[i].bytes = m_data[i];
        }
        return {&m_names, m_cells.data(), int(m_cells.size())};
    }

private:
    void add(const QByteArray& name, const Cell& c, const QByteArray& data) {
        m_names.push_back(name);
        m_cells.push_back(c);
        m_data.push_back(data);
    }
    std::vector<QByteArray> m_names;
    std::vector<QByteArray> m_data;
    std::vector<Cell> m_cells;
};

struct Emitter {
    const std::function<void(const RowView&)>& onEntry;
    qint64 disc = 0;
    qint64 nextId = 1;
    RowBuilder row;

    void children(const Node& folder, qint64 folderId, const QString& folderPath, int depth) {
        if (depth > MaxDepth)
            throw ForeignError(QStringLiteral("folders nest deeper than %1 levels").arg(MaxDepth));
        for (const Node& n : folder.children) {
            const qint64 id = nextId++;
            const QString path = n.folder ? folderPath + QLatin1Char('/') + n.name : folderPath;
            row.clear();
            row.integer("AutoId", id);
            row.integer("CdID", disc);
            row.integer("FatherId", folderId);
            row.text("TreeName", n.name);
            row.text("FPath", path);
            row.integer("FSize", n.folder ? 0 : n.size);
            row.integer("IsDir", n.folder ? 1 : 0);
            if (!n.note.isEmpty())
                row.text("TreeExp", n.note);
            if (n.time)
                row.integer("FTime", *n.time);
            for (const ForeignHash& h : n.hashes)
                row.blob(HashColumns[int(h.algorithm)], h.digest);
            onEntry(row.view());
            if (n.folder)
                children(n, id, path, depth + 1);
        }
    }
};

} // namespace

void sourceRows(const Source& source, const std::function<void(const RowView&)>& onDisc,
                const std::function<void(const RowView&)>& onEntry) {
    Emitter e{onEntry, 0, 1, {}};
    qint64 discId = 0;
    RowBuilder row;
    for (const Disc& d : source.discs) {
        row.clear();
        row.integer("AutoId", ++discId);
        row.text("CDName", d.name);
        if (!d.label.isEmpty())
            row.text("CDId", d.label);
        if (!d.note.isEmpty())
            row.text("CDExp", d.note);
        row.text("SourcePath", d.sourcePath);
        if (d.scanTime)
            row.integer("ScanTime", *d.scanTime);
        onDisc(row.view());
    }
    discId = 0;
    for (const Disc& d : source.discs) {
        e.disc = ++discId;
        e.children(d.root, 0, QString(), 0);
    }
}

std::vector<ForeignHash> rowHashes(const RowView& row) {
    std::vector<ForeignHash> hashes;
    for (int a = 0; a < 3; ++a) {
        const int i = row.indexOf(HashColumns[a]);
        if (i >= 0 && row.cells[i].type == Cell::Type::Blob)
            hashes.push_back({HashAlgorithm(a), row.cells[i].bytes.toByteArray()});
    }
    return hashes;
}

} // namespace vorlane::foreign
