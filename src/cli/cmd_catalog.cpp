// new, tree, mkcat, ls, note: reading and small edits of a catalog.
#include "cli/clicommon.h"
#include "cli/levellisting.h"
#include "core/settings/text.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/copiesstore.h"
#include "core/store/schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
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

// One disc's facts for `tree --long`; what the catalog does not know reads "unknown".
QString factsLine(const DiscFacts& f, const copiesstore::SoleCopies& sole) {
    const QString unknown = QStringLiteral("unknown");
    QString time = unknown;
    if (f.scanTime) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(*f.scanTime);
        time = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
    }
    QString state = unknown;
    if (f.state) {
        switch (*f.state) {
        case ScanState::Complete:
            state = QStringLiteral("complete");
            break;
        case ScanState::Cancelled:
            state = QStringLiteral("cancelled");
            break;
        case ScanState::Failed:
            state = QStringLiteral("failed");
            break;
        }
    }
    QString line =
        QStringLiteral("scanned: %1  state: %2  fs: %3  capacity: %4  folders: %5  files: %6"
                       "  size: %7")
            .arg(time, state, f.fsType.isEmpty() ? unknown : oneLine(f.fsType),
                 f.capacity ? QString::number(*f.capacity) : unknown, QString::number(f.folders),
                 QString::number(f.files), QString::number(f.totalSize));
    if (f.members > 0)
        line += QStringLiteral("  archive members: ") + QString::number(f.members);
    // What a failing disc would take with it.
    line += QStringLiteral("  only here: %1 files, %2 bytes").arg(sole.files).arg(sole.bytes);
    return line;
}

} // namespace

int cmdTree(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    Database db;
    openCatalog(db, path, p, Access::Read);
    const CatalogTree tree = catalogstore::loadTree(db);
    const bool longFormat = p.isSet(QStringLiteral("long"));
    const QHash<qint64, copiesstore::SoleCopies> sole =
        longFormat ? copiesstore::soleCopies(db) : QHash<qint64, copiesstore::SoleCopies>();
    std::vector<qint64> path_;
    std::function<void(qint64, int)> walk = [&](qint64 parent, int depth) {
        const QString indent(depth * 2, QLatin1Char(' '));
        for (const TreeNodeRow& c : tree.categories.value(parent)) {
            // A damaged catalog may link categories in a circle; print each once.
            if (std::find(path_.begin(), path_.end(), c.id) != path_.end())
                continue;
            ctx.out << indent << "[C" << c.id << "] " << oneLine(c.name) << "\n";
            path_.push_back(c.id);
            walk(c.id, depth + 1);
            path_.pop_back();
            for (const TreeNodeRow& d : tree.discs.value(c.id)) {
                ctx.out << indent << "  [D" << d.id << "] " << oneLine(d.name) << "\n";
                if (longFormat) {
                    if (const std::optional<DiscFacts> f = catalogstore::discFacts(db, d.id))
                        ctx.out << indent << "       " << factsLine(*f, sole.value(d.id)) << "\n";
                }
            }
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
    if (parent != 0 && !catalogstore::categoryExists(db, parent))
        fail(path, QStringLiteral("no category with id ") + QString::number(parent));
    // Last among its siblings.
    const qint64 id = catalogstore::addCategory(db, name, parent, catalogstore::nextOrderId(db));
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
    if (!catalogstore::discExists(db, disc))
        fail(path, QStringLiteral("no disc with id ") + QString::number(disc));
    if (folder != 0 && !contentstore::isListingOf(db, folder, disc))
        fail(path, QStringLiteral("no folder with id ") + QString::number(folder) +
                       QStringLiteral(" on disc ") + QString::number(disc));
    const QByteArray levelBytes =
        folder != 0 ? contentstore::rawEntryPath(db, folder).value_or(QByteArray()) : QByteArray();
    listLevel(ctx, db, disc, folder, levelBytes, format);
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
    std::optional<QString> stored;
    if (isDisc) {
        if (const std::optional<DiscRow> row = catalogstore::discRow(db, id))
            stored = row->note;
    } else {
        stored = contentstore::entryNote(db, id);
    }
    if (!stored)
        fail(path,
             (isDisc ? QStringLiteral("no disc with id ") : QStringLiteral("no entry with id ")) +
                 QString::number(id));
    if (!writing) {
        const QString note = withoutControls(*stored);
        ctx.out << note;
        if (!note.isEmpty() && !note.endsWith(QLatin1Char('\n')))
            ctx.out << '\n';
        return Ok;
    }
    if (isDisc)
        catalogstore::setDiscNote(db, id, text);
    else
        contentstore::setNote(db, id, text);
    return Ok;
}

} // namespace vorlane::cli
