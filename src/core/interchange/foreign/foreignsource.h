// Other cataloguers' and tools' files read into one neutral tree (discs, folders, files
// with size, time, note and content hashes), which the merge then stores like a catalog
// made elsewhere. Each reader refuses a file it cannot read with ForeignError; what it
// reads but cannot carry over is counted in `dropped`, never left out silently.
#pragma once

#include "core/store/foreignhash.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <list>
#include <optional>
#include <stdexcept>
#include <vector>

namespace vorlane {

struct RowView;

namespace foreign {

class ForeignError : public std::runtime_error {
public:
    explicit ForeignError(const QString& why) : std::runtime_error(why.toStdString()) {}
};

struct Node {
    Node() = default;
    // Moved only: the folder index points into `children`, whose nodes a move keeps.
    Node(Node&&) noexcept = default;
    Node& operator=(Node&&) noexcept = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    QString name;
    bool folder = false;
    qint64 size = 0;
    std::optional<qint64> time; // Unix seconds
    QString timeText;           // a date as written, read once the whole file is known
    QString note;
    std::vector<ForeignHash> hashes;
    std::list<Node> children; // a list: paths keep pointers to folders while rows are added

    // The sub-folder named `name`, made when missing.
    Node& folderNamed(const QString& name);
    Node& addFile(const QString& name);

private:
    QHash<QString, Node*> m_folders; // the sub-folders folderNamed made, by name
};

inline Node rootNode() {
    Node n;
    n.folder = true;
    return n;
}

struct Disc {
    QString name;
    QString label;
    QString note;
    QString sourcePath; // where the files were, when the source says
    std::optional<qint64> scanTime;
    Node root = rootNode();
    // The folder at a '/'-separated path below the root, made when missing. Throws
    // ForeignError for a path deeper than any file system nests.
    Node& folderAt(const QString& path);
};

struct Dropped {
    QString why;
    qint64 count = 0;
    QString example;
};

struct Source {
    QString format;
    std::vector<Disc> discs;
    std::vector<Dropped> dropped;
    // Counts what cannot be carried over, keeping the first example.
    void drop(const QString& why, const QString& example = {});
    // "3 × why (e.g. example)" lines for the summary.
    QStringList droppedLines() const;
};

// The names --from takes for the formats read here.
QStringList formatNames();
bool isForeignFormat(const QString& name);

// The format of a file, by its content; empty for none of these formats.
QString detectFormat(const QString& path);

// Reads the file in that format (empty: by content). Throws ForeignError.
Source readSource(const QString& path, const QString& format);

// The source as catalog rows: each disc, then its entries, parents before children. Entry
// rows carry their hashes in the extra columns ForeignMD5, ForeignSHA1, ForeignSHA256.
void sourceRows(const Source& source, const std::function<void(const RowView&)>& onDisc,
                const std::function<void(const RowView&)>& onEntry);
// The foreign hashes an entry row carries.
std::vector<ForeignHash> rowHashes(const RowView& row);

// ---- shared by the readers ----

// The bytes of a gzip-compressed file, at most `limit` of them. Throws ForeignError for a
// damaged stream.
QByteArray gunzip(const QByteArray& compressed, qint64 limit);
bool isGzip(const QByteArray& bytes);
// Text as UTF-8 when it is, else GB18030; without a byte-order mark.
QString decodeText(const QByteArray& bytes);
// Turns every node's timeText into a time, deciding day/month order across the file;
// what cannot be read is counted in source.dropped.
void resolveDates(Source& source);
// A size written as a whole number of bytes; nullopt for anything else.
std::optional<qint64> readSize(QStringView text);

// The readers.
Source readHashList(const QByteArray& bytes, const QString& format);
Source readKatalog(const QByteArray& bytes);
Source readVvv(const QByteArray& bytes, const QString& fileName);
Source readCatcli(const QByteArray& bytes);
Source readCdcat(const QByteArray& bytes);
Source readGwhere(const QByteArray& bytes);

} // namespace foreign
} // namespace vorlane
