// import: a disc or directory into a category, as the import dialog does it.
#include "cli/clicommon.h"
#include "core/import/drives.h"
#include "core/import/scanjob.h"
#include "core/import/scanner.h"
#include "core/settings/settings.h"
#include "core/store/catalogstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <optional>

namespace vorlane::cli {

namespace {

// The optical disc mounted at `root`, if it is one: its label is the disc's identity.
QString discLabelAt(const QString& root) {
    const QString clean = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    for (const DriveInfo& d : drives().list()) {
        if (!d.mountPoint.isEmpty() && QDir::cleanPath(d.mountPoint) == clean)
            return d.label;
    }
    return {};
}

} // namespace

int cmdImport(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const QString rootArg = p.positionalArguments().at(1);
    if (!p.isSet(QStringLiteral("category")))
        usage(QStringLiteral("--category ID is required"));
    const qint64 category =
        idArgument(p.value(QStringLiteral("category")), QStringLiteral("--category"));
    const int depth = depthArgument(p.value(QStringLiteral("depth")));
    QStringList types;
    if (p.isSet(QStringLiteral("types")))
        types = extensionList(p.value(QStringLiteral("types")), QStringLiteral("types"));
    const QFileInfo rootInfo(rootArg);
    if (!rootInfo.isDir())
        fail(rootArg, QStringLiteral("not a folder"));
    const QString root = QDir::cleanPath(rootInfo.absoluteFilePath());

    Database db;
    openCatalog(db, path, p, Access::Write);
    const std::optional<QString> categoryName = catalogstore::categoryName(db, category);
    if (!categoryName)
        fail(path, QStringLiteral("no category with id ") + QString::number(category));
    const QString label = discLabelAt(root);
    QString name = p.value(QStringLiteral("name")).trimmed();
    if (name.isEmpty())
        name = !label.isEmpty() ? label : (root == QLatin1String("/") ? root : rootInfo.fileName());
    if (!label.isEmpty()) {
        const QString other = catalogstore::duplicateCategory(db, label);
        if (!other.isEmpty())
            ctx.err << "vorlane-cli: warning: a disc labelled \"" << oneLine(label)
                    << "\" is already in category \"" << oneLine(other)
                    << "\"; importing it again\n";
    }
    const qint64 order = catalogstore::nextOrderId(db);
    const qint64 disc = catalogstore::addDiscRow(db, NewDisc{name, category, order, root, label});

    ScanParams params;
    params.root = root;
    params.discId = disc;
    params.depthLimit = depth;
    params.foldersOnly = p.isSet(QStringLiteral("folders-only"));
    params.types = types;
    params.archives = p.isSet(QStringLiteral("archives"));
    params.nameEncoding = Settings().nameEncoding();
    params.checksums = p.isSet(QStringLiteral("checksums"));
    params.exclude = p.values(QStringLiteral("exclude"));
    params.media = p.isSet(QStringLiteral("media"));
    params.thumbnails = p.isSet(QStringLiteral("thumbnails"));
    ScanHooks hooks;
    std::optional<InterruptCatcher> interrupt(std::in_place);
    hooks.cancel = interrupt->flag();
    QElapsedTimer clock;
    clock.start();
    if (ctx.errIsTerminal) {
        hooks.progressIntervalMs = 200;
        hooks.progress = pathProgress(ctx);
    }
    const ScanResult result = scanDisc(db, params, hooks);
    interrupt.reset();
    if (ctx.errIsTerminal)
        clearProgress(ctx);
    ctx.out << "disc " << disc << " \"" << oneLine(name) << "\" in category " << category << " \""
            << oneLine(*categoryName) << "\"\n"
            << "files: " << result.files << ", folders: " << result.folders
            << ", rows stored: " << result.rows;
    if (!params.exclude.isEmpty())
        ctx.out << ", excluded: " << result.excluded;
    if (params.media)
        ctx.out << ", media facts: " << result.mediaFacts;
    if (params.thumbnails)
        ctx.out << ", thumbnails: " << result.thumbnails;
    ctx.out << (result.cancelled ? " (cancelled)" : "");
    if (result.unreadable > 0)
        ctx.out << ", unreadable folders: " << result.unreadable;
    ctx.out << "\n";
    // An import that stopped early must not read like a finished one.
    if (!result.error.isEmpty())
        ctx.out << "import failed: the catalog keeps " << result.rows << " rows of this disc\n";
    else if (result.cancelled)
        ctx.out << "import cancelled: the catalog keeps " << result.rows << " rows of this disc\n";
    ctx.out.flush();
    if (result.unreadable > 0) {
        ctx.err << "vorlane-cli: warning: " << result.unreadable
                << (result.unreadable == 1 ? " folder" : " folders")
                << " could not be read and lack their contents, the first: "
                << oneLine(result.firstUnreadable) << ": " << result.unreadableReason << "\n";
        ctx.err.flush();
    }
    if (!result.error.isEmpty())
        fail(path, QStringLiteral("the scan stopped: ") + result.error);
    return result.cancelled || result.unreadable > 0 ? Failure : Ok;
}

} // namespace vorlane::cli
