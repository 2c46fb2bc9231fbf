// rescan: a disc's folder walked again and its entries brought up to date.
#include "cli/clicommon.h"
#include "core/import/exclusions.h"
#include "core/import/rescan.h"
#include "core/settings/settings.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace vorlane::cli {

namespace {

QString kindName(SpecialKind kind) {
    switch (kind) {
    case SpecialKind::None:
        break;
    case SpecialKind::Fifo:
        return QStringLiteral("FIFO");
    case SpecialKind::CharDevice:
        return QStringLiteral("character device");
    case SpecialKind::BlockDevice:
        return QStringLiteral("block device");
    case SpecialKind::Socket:
        return QStringLiteral("socket");
    }
    return QStringLiteral("file");
}

QString sizeChange(const RescanChange& c) {
    QStringList parts;
    if (c.oldSpecial != c.newSpecial)
        parts << QStringLiteral("%1 -> %2").arg(kindName(c.oldSpecial), kindName(c.newSpecial));
    if (c.oldSize != c.newSize)
        parts << QStringLiteral("size %1 -> %2").arg(c.oldSize).arg(c.newSize);
    if (c.oldTime != c.newTime)
        parts << QStringLiteral("time changed");
    if (parts.isEmpty())
        parts << QStringLiteral("link target changed");
    return parts.join(QStringLiteral(", "));
}

// The options on one line, all of them: a filter is never out of sight.
QString optionsLine(const ScanParams& o) {
    QStringList types;
    for (const QString& t : o.types)
        types << (t.isEmpty() ? QStringLiteral("(no extension)") : t);
    // Named only when on, so that the line of a disc without them stays as it was.
    QString media;
    if (o.media)
        media += QStringLiteral(", media on");
    if (o.thumbnails)
        media += QStringLiteral(", thumbnails on");
    const QString tail =
        media + (o.exclude.isEmpty() ? QString()
                                     : QStringLiteral(", exclude ") + Exclusions::join(o.exclude));
    return QStringLiteral("options: depth %1, %2, %3, checksums %4, archives %5%6")
        .arg(o.depthLimit == 0 ? QStringLiteral("all") : QString::number(o.depthLimit),
             o.foldersOnly ? QStringLiteral("folders only") : QStringLiteral("folders and files"),
             types.isEmpty() ? QStringLiteral("all types")
                             : QStringLiteral("types ") + types.join(QLatin1Char(' ')),
             o.checksums ? QStringLiteral("on") : QStringLiteral("off"),
             o.archives ? QStringLiteral("on") : QStringLiteral("off"), tail);
}

// Each of a pair of switches that contradict each other.
void oneOf(const QCommandLineParser& p, const char* a, const char* b) {
    if (p.isSet(QLatin1String(a)) && p.isSet(QLatin1String(b)))
        usage(QStringLiteral("--%1 and --%2 contradict each other").arg(a, b));
}

// What the command line changes in the stored options; read before the catalog is opened.
struct OptionChanges {
    std::optional<int> depth;
    std::optional<bool> foldersOnly;
    std::optional<QStringList> types; // empty: every type
    std::optional<bool> checksums;
    std::optional<bool> archives;
    std::optional<bool> media;
    std::optional<bool> thumbnails;
    std::optional<QStringList> exclude;

    explicit OptionChanges(const QCommandLineParser& p) {
        oneOf(p, "types", "all-types");
        oneOf(p, "folders-only", "types");
        oneOf(p, "folders-only", "all-types");
        oneOf(p, "checksums", "no-checksums");
        oneOf(p, "archives", "no-archives");
        oneOf(p, "media", "no-media");
        oneOf(p, "thumbnails", "no-thumbnails");
        oneOf(p, "exclude", "no-exclude");
        const auto set = [&](const char* name) { return p.isSet(QLatin1String(name)); };
        if (set("depth"))
            depth = depthArgument(p.value(QStringLiteral("depth")));
        // Naming the types to store means storing files again.
        if (set("types"))
            types = extensionList(p.value(QStringLiteral("types")), QStringLiteral("types"));
        if (set("all-types"))
            types = QStringList();
        if (set("folders-only") || types)
            foldersOnly = set("folders-only");
        if (set("checksums") || set("no-checksums"))
            checksums = set("checksums");
        if (set("archives") || set("no-archives"))
            archives = set("archives");
        if (set("media") || set("no-media"))
            media = set("media");
        if (set("thumbnails") || set("no-thumbnails"))
            thumbnails = set("thumbnails");
        if (set("exclude") || set("no-exclude"))
            exclude = p.values(QStringLiteral("exclude"));
    }

    void apply(ScanParams& o) const {
        o.depthLimit = depth.value_or(o.depthLimit);
        o.foldersOnly = foldersOnly.value_or(o.foldersOnly);
        o.types = types.value_or(o.types);
        o.checksums = checksums.value_or(o.checksums);
        o.archives = archives.value_or(o.archives);
        o.media = media.value_or(o.media);
        o.thumbnails = thumbnails.value_or(o.thumbnails);
        o.exclude = exclude.value_or(o.exclude);
    }
};

} // namespace

int cmdRescan(Context& ctx, QCommandLineParser& p) {
    const QStringList args = p.positionalArguments();
    const QString path = args.at(0);
    const qint64 disc = idArgument(args.at(1), QStringLiteral("DISC_ID"));
    QString root;
    if (args.size() > 2) {
        const QFileInfo info(args.at(2));
        if (!info.isDir())
            fail(args.at(2), QStringLiteral("not a folder"));
        root = QDir::cleanPath(info.absoluteFilePath());
    }
    const bool dryRun = p.isSet(QStringLiteral("dry-run"));
    const OptionChanges changes(p);
    const QString nameEncoding = Settings().nameEncoding();

    Database db;
    openCatalog(db, path, p, dryRun ? Access::Read : Access::Write);
    std::optional<ScanParams> options = rescanOptions(db, disc, nameEncoding);
    if (!options)
        fail(path, QStringLiteral("no disc with id ") + QString::number(disc));
    changes.apply(*options);
    ctx.out << optionsLine(*options) << "\n";
    ctx.out.flush();

    ScanHooks hooks;
    const InterruptCatcher interrupt;
    hooks.cancel = interrupt.flag();
    if (ctx.errIsTerminal) {
        hooks.progressIntervalMs = 200;
        hooks.progress = pathProgress(ctx);
    }
    RescanPlan plan;
    const RescanReport report =
        compareRescan(db, disc, root, hooks, plan, nameEncoding, !dryRun, options);
    if (ctx.errIsTerminal)
        clearProgress(ctx);
    switch (report.failure) {
    case RescanReport::Failure::None:
    case RescanReport::Failure::Catalog:
        break;
    case RescanReport::Failure::NoDisc:
        fail(path, QStringLiteral("no disc with id ") + QString::number(disc));
    case RescanReport::Failure::NoRoot:
        fail(path,
             QStringLiteral("disc %1 has no source folder; name the folder to read").arg(disc));
    case RescanReport::Failure::RootUnreadable:
        fail(report.firstUnreadable, QStringLiteral("cannot be read (%1); nothing was changed")
                                         .arg(report.unreadableReason));
    case RescanReport::Failure::Write:
        fail(path, report.error);
    }
    if (report.cancelled) {
        ctx.out << "rescan cancelled: nothing was changed\n";
        return Failure;
    }

    for (const RescanChange& c : report.changes) {
        const QString shown = oneLine(c.path) + (c.isDir ? QStringLiteral("/") : QString());
        switch (c.kind) {
        case RescanChange::Kind::Added:
            ctx.out << "+ " << shown << "\n";
            break;
        case RescanChange::Kind::Changed:
            ctx.out << "~ " << shown << "  (" << sizeChange(c) << ")\n";
            break;
        case RescanChange::Kind::Removed:
            ctx.out << "- " << shown;
            if (!c.note.isEmpty())
                ctx.out << "  (its note goes with it: \"" << oneLine(c.note) << "\")";
            ctx.out << "\n";
            break;
        }
    }
    ctx.out << "added " << report.added << ", removed " << report.removed << ", changed "
            << report.changed << ", unchanged " << report.unchanged;
    if (report.unreadable > 0)
        ctx.out << ", unreadable folders: " << report.unreadable;
    if (report.notesLost > 0)
        ctx.out << "; " << report.notesLost
                << (report.notesLost == 1 ? " removed entry had a note"
                                          : " removed entries had notes");
    ctx.out << "\n";
    ctx.out.flush();
    if (report.unreadable > 0) {
        ctx.err << "vorlane-cli: warning: " << report.unreadable
                << (report.unreadable == 1 ? " folder" : " folders") << " could not be read; "
                << (report.unreadable == 1 ? "its" : "their")
                << " entries were left as they were, the first: " << oneLine(report.firstUnreadable)
                << ": " << report.unreadableReason << "\n";
        ctx.err.flush();
    }
    // What could not be read was not compared: the disc is not known to be up to date.
    const int code = report.unreadable > 0 ? Failure : Ok;

    if (dryRun) {
        ctx.out << "dry run: nothing was changed\n";
        return code;
    }
    QString error;
    const bool applied = applyRescan(db, plan, interrupt.flag(), &error);
    if (!applied) {
        if (!error.isEmpty())
            fail(path,
                 QStringLiteral("the changes could not be written, nothing was changed: ") + error);
        ctx.out << "rescan cancelled: nothing was changed\n";
        return Failure;
    }
    if (report.unreadable > 0) {
        ctx.out << "rescan incomplete: " << report.unreadable
                << (report.unreadable == 1 ? " folder" : " folders")
                << " could not be read; the catalog keeps what it held below "
                << (report.unreadable == 1 ? "it" : "them") << "\n";
        return code;
    }
    ctx.out << "disc " << disc << " is up to date with " << oneLine(report.root) << "\n";
    return Ok;
}

} // namespace vorlane::cli
