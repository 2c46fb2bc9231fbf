// new, tree, mkcat, ls, note: reading and small edits of a catalog.
#include "cli/clicommon.h"
#include "core/store/schema.h"
#include "core/settings/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <map>
#include <vector>

namespace vorlane::cli {

int cmdNew(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    if (QFileInfo::exists(path))
        fail(path, QStringLiteral("already exists; not overwritten"));
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo(dir).isDir())
        fail(path, QStringLiteral("the folder does not exist"));
    // Built beside the target and moved into place, so a full disk leaves no half file.
    QTemporaryFile tmp(QDir(dir).filePath(QStringLiteral(".vorlane-new-XXXXXX")));
    if (!tmp.open())
        fail(path,
             QStringLiteral("cannot write in ") + dir + QStringLiteral(": ") + tmp.errorString());
    tmp.close();
    try {
        writeTemplate(tmp.fileName());
    } catch (const DbError& e) {
        fail(path, QStringLiteral("cannot create the catalog (") + e.text() + QLatin1Char(')'));
    }
    if (!QFile::rename(tmp.fileName(), path))
        fail(path, QStringLiteral("cannot create the file (it appeared meanwhile, or the folder is "
                                  "not writable)"));
    tmp.setAutoRemove(false);
    ctx.out << "created " << path << "\n";
    return Ok;
}

namespace {

struct Node {
    qint64 id;
    QString name;
    qint64 order;
};

} // namespace

int cmdTree(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    Database db;
    openCatalog(db, path, p, Access::Read);
    std::map<qint64, std::vector<Node>> categories; // by parent
    std::map<qint64, std::vector<Node>> discs;      // by category
    {
        Query q(db, QStringLiteral(
                        "select AutoId, TreeName, FatherId from qClass order by OrderId, AutoId"));
        while (q.next())
            categories[q.integerOr(QStringLiteral("FatherId"), 0)].push_back(
                {q.integer(0), q.textOr(1), 0});
    }
    {
        Query q(db,
                QStringLiteral("select AutoId, CDName, ClassId from qCD order by OrderId, AutoId"));
        while (q.next())
            discs[q.integerOr(QStringLiteral("ClassId"), 0)].push_back(
                {q.integer(0), q.textOr(1, QStringLiteral("未命名")), 0});
    }
    std::vector<qint64> path_;
    std::function<void(qint64, int)> walk = [&](qint64 parent, int depth) {
        const QString indent(depth * 2, QLatin1Char(' '));
        for (const Node& c : categories[parent]) {
            // A damaged catalog may link categories in a circle; print each once.
            if (std::find(path_.begin(), path_.end(), c.id) != path_.end())
                continue;
            ctx.out << indent << "[C" << c.id << "] " << oneLine(c.name) << "\n";
            path_.push_back(c.id);
            walk(c.id, depth + 1);
            path_.pop_back();
            for (const Node& d : discs[c.id])
                ctx.out << indent << "  [D" << d.id << "] " << oneLine(d.name) << "\n";
        }
    };
    walk(0, 0);
    return Ok;
}

int cmdMkcat(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    QString name = p.positionalArguments().at(1).trimmed();
    if (name.isEmpty())
        usage(QStringLiteral("the category name is empty"));
    const qint64 parent = idArgument(p.value(QStringLiteral("parent")), QStringLiteral("--parent"));
    Database db;
    openCatalog(db, path, p, Access::Write);
    if (parent != 0 &&
        db.count(QStringLiteral("select 1 from qClass where AutoId=?"), {parent}) == 0)
        fail(path, QStringLiteral("no category with id ") + QString::number(parent));
    // Names are limited as the desktop program stores them; last among its siblings.
    name = truncateGbk(name, 50);
    const qint64 order = nextOrderId(db);
    const qint64 id = Record(db, QStringLiteral("qClass"))
                          .set(QStringLiteral("TreeName"), name)
                          .set(QStringLiteral("FatherId"), parent)
                          .set(QStringLiteral("OrderId"), order)
                          .append();
    ctx.out << id << "\n";
    return Ok;
}

int cmdLs(Context& ctx, QCommandLineParser& p) {
    const QStringList args = p.positionalArguments();
    const QString path = args.at(0);
    const qint64 disc = idArgument(args.at(1), QStringLiteral("DISC_ID"));
    const qint64 folder = args.size() > 2 ? idArgument(args.at(2), QStringLiteral("FOLDER_ID")) : 0;
    const QString format = p.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("tsv") &&
        format != QLatin1String("json"))
        usage(QStringLiteral("unknown format: ") + format);
    Database db;
    openCatalog(db, path, p, Access::Read);
    if (db.count(QStringLiteral("select 1 from qCD where AutoId=?"), {disc}) == 0)
        fail(path, QStringLiteral("no disc with id ") + QString::number(disc));
    if (folder != 0 &&
        db.count(QStringLiteral("select 1 from qCDFiles where AutoId=? and CdID=? and IsDir<>0"),
                 {folder, disc}) == 0)
        fail(path, QStringLiteral("no folder with id ") + QString::number(folder) +
                       QStringLiteral(" on disc ") + QString::number(disc));
    Query q(db,
            QStringLiteral("select AutoId, TreeName, FPath, FSize, IsDir, TreeExp from qCDFiles "
                           "where FatherId=? and CdID=? order by IsDir desc, AutoId"),
            {folder, disc});
    QJsonArray json;
    if (format == QLatin1String("tsv"))
        ctx.out << "id\ttype\tsize\tname\tpath\tnote\n";
    while (q.next()) {
        const qint64 id = q.integer(0);
        const QString name = q.textOr(1);
        const QString fpath = q.textOr(2);
        const qint64 size = q.integerOr(QStringLiteral("FSize"), 0);
        const bool isDir = q.integerOr(QStringLiteral("IsDir"), 0) != 0;
        const QString note = q.textOr(5);
        // A folder's FPath names the folder itself; a file's names the folder holding it.
        const QString full = isDir ? fpath : fpath + QLatin1Char('/') + name;
        if (format == QLatin1String("json")) {
            json.append(QJsonObject{
                {QStringLiteral("id"), id},
                {QStringLiteral("type"), isDir ? QStringLiteral("folder") : QStringLiteral("file")},
                {QStringLiteral("size"), size},
                {QStringLiteral("name"), name},
                {QStringLiteral("path"), full},
                {QStringLiteral("note"), note}});
        } else if (format == QLatin1String("tsv")) {
            ctx.out << id << '\t' << (isDir ? "folder" : "file") << '\t' << size << '\t'
                    << oneLine(name) << '\t' << oneLine(full) << '\t' << oneLine(note) << '\n';
        } else {
            ctx.out << QString::number(id).rightJustified(8) << "  "
                    << (isDir ? QStringLiteral("<DIR>").rightJustified(14)
                              : QString::number(size).rightJustified(14))
                    << "  " << oneLine(full);
            if (!note.isEmpty())
                ctx.out << "  # " << oneLine(note);
            ctx.out << '\n';
        }
    }
    if (format == QLatin1String("json"))
        ctx.out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    return Ok;
}

int cmdNote(Context& ctx, QCommandLineParser& p) {
    const QStringList args = p.positionalArguments();
    const QString path = args.at(0);
    const bool isDisc = p.isSet(QStringLiteral("disc"));
    const bool isEntry = p.isSet(QStringLiteral("entry"));
    if (isDisc == isEntry)
        usage(QStringLiteral("give exactly one of --disc ID and --entry ID"));
    const qint64 id = idArgument(p.value(isDisc ? QStringLiteral("disc") : QStringLiteral("entry")),
                                 isDisc ? QStringLiteral("--disc") : QStringLiteral("--entry"));
    const bool fromFile = p.isSet(QStringLiteral("file"));
    if (fromFile && args.size() > 1)
        usage(QStringLiteral("give the note as TEXT or with --file, not both"));
    const bool writing = fromFile || args.size() > 1;
    const QString table = isDisc ? QStringLiteral("qCD") : QStringLiteral("qCDFiles");
    const QString column = isDisc ? QStringLiteral("CDExp") : QStringLiteral("TreeExp");

    QString text;
    if (fromFile) {
        QFile f(p.value(QStringLiteral("file")));
        if (!f.open(QIODevice::ReadOnly))
            fail(f.fileName(), f.errorString());
        text = decodeTextFile(f.readAll());
    } else if (writing) {
        text = args.at(1);
    }
    Database db;
    openCatalog(db, path, p, writing ? Access::Write : Access::Read);
    Query q(db,
            QStringLiteral("select ") + column + QStringLiteral(" from ") + table +
                QStringLiteral(" where AutoId=?"),
            {id});
    if (!q.next())
        fail(path,
             (isDisc ? QStringLiteral("no disc with id ") : QStringLiteral("no entry with id ")) +
                 QString::number(id));
    if (!writing) {
        const QString note = withoutControls(q.textOr(0));
        ctx.out << note;
        if (!note.isEmpty() && !note.endsWith(QLatin1Char('\n')))
            ctx.out << '\n';
        return Ok;
    }
    q.reset();
    Record(db, table).set(column, text).update(id);
    return Ok;
}

} // namespace vorlane::cli
