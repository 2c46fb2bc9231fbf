// verify: reads a disc's files back and names each one that is missing, unreadable or no
// longer as catalogued.
#include "cli/clicommon.h"
#include "core/import/verifyjob.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <optional>

namespace vorlane::cli {

namespace {

QString timeText(const std::optional<qint64>& t) {
    return t ? QDateTime::fromSecsSinceEpoch(*t, Qt::UTC).toString(Qt::ISODate)
             : QStringLiteral("unknown");
}

QString problemLine(const VerifyProblem& p) {
    const QString path = oneLine(p.path);
    switch (p.fault) {
    case VerifyFault::Missing:
        return QStringLiteral("missing: ") + path;
    case VerifyFault::Unreadable:
        return QStringLiteral("unreadable: ") + path + QStringLiteral(": ") + p.reason;
    case VerifyFault::NotAFile:
        return QStringLiteral("not a file: ") + path;
    case VerifyFault::SizeDiffers:
        return QStringLiteral("size differs: %1: %2 bytes in the catalog, %3 on disc")
            .arg(path)
            .arg(p.storedSize)
            .arg(p.foundSize);
    case VerifyFault::HashDiffers:
        return QStringLiteral("content differs: ") + path;
    case VerifyFault::Corrupt:
        return QStringLiteral("corrupt: ") + path;
    case VerifyFault::Changed:
        return QStringLiteral("changed: %1: %2 in the catalog, %3 on disc")
            .arg(path, timeText(p.storedTime), timeText(p.foundTime));
    case VerifyFault::TimeDiffers:
        return QStringLiteral("time differs: %1: %2 in the catalog, %3 on disc")
            .arg(path, timeText(p.storedTime), timeText(p.foundTime));
    }
    return path;
}

QString sizeText(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// The algorithms compared by: one by its name, several each with its count.
QString algorithmsText(const VerifyResult& r) {
    if (r.algorithms.size() == 1)
        return QStringLiteral(" (") + r.algorithms.front().first + QLatin1Char(')');
    QStringList parts;
    for (const auto& [name, files] : r.algorithms)
        parts << name + QStringLiteral(": ") + QString::number(files);
    return parts.isEmpty()
               ? QString()
               : QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

int cmdVerify(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    VerifyParams params;
    params.discId = idArgument(p.positionalArguments().at(1), QStringLiteral("DISC_ID"));
    if (p.positionalArguments().size() > 2)
        params.root = p.positionalArguments().at(2);

    Database db;
    openCatalog(db, path, p, Access::Read);
    VerifyHooks hooks;
    std::optional<InterruptCatcher> interrupt(std::in_place);
    hooks.cancel = interrupt->flag();
    // Problems are told as they are found: a long read-back shows its findings at once.
    hooks.problem = [&](const VerifyProblem& problem) {
        if (ctx.errIsTerminal)
            ctx.err << "\r\x1b[K";
        ctx.out << problemLine(problem) << '\n';
        ctx.out.flush();
    };
    if (ctx.errIsTerminal) {
        hooks.progressIntervalMs = 200;
        hooks.progress = [&](const VerifyProgress& at) {
            ctx.err << "\r\x1b[K" << sizeText(at.bytesDone) << " of " << sizeText(at.bytesTotal)
                    << ", " << sizeText(at.bytesPerSecond) << "/s";
            ctx.err.flush();
        };
    }
    const VerifyResult r = verifyDisc(db, params, hooks);
    interrupt.reset();
    if (ctx.errIsTerminal)
        clearProgress(ctx);
    switch (r.end) {
    case VerifyEnd::NoDisc:
        fail(path, QStringLiteral("no disc with id ") + QString::number(params.discId));
    case VerifyEnd::RootUnreadable:
        fail(r.root, QStringLiteral("cannot read the disc's folder: ") + r.reason);
    case VerifyEnd::CatalogError:
        fail(path, r.reason);
    case VerifyEnd::Done:
    case VerifyEnd::Cancelled:
        break;
    }
    ctx.out << "checked " << r.files << (r.files == 1 ? " file" : " files") << " in "
            << oneLine(r.root) << ", " << r.bytes << " bytes read";
    if (r.sizeAndTimeOnly)
        ctx.out << "; by size and time only: the disc was imported without checksums";
    else if (r.hashed < r.files)
        ctx.out << "; " << r.hashed << " by checksum" << algorithmsText(r)
                << ", the rest by size and time";
    else
        ctx.out << "; by checksum" << algorithmsText(r);
    ctx.out << "\n";
    if (r.skipped > 0)
        ctx.out << "passed over: " << r.skipped << " links and archive members\n";
    if (r.special > 0)
        ctx.out << "passed over: " << r.special
                << (r.special == 1 ? " special file" : " special files")
                << " (FIFOs, devices, sockets), which hold nothing to read back\n";
    const auto problems = qint64(r.problems.size());
    // Decay and edits call for different answers: a copy from elsewhere, or none.
    const qint64 corrupt = r.count(VerifyFault::Corrupt), changed = r.count(VerifyFault::Changed);
    if (corrupt > 0 || changed > 0)
        ctx.out << corrupt << " possibly corrupt (content changed, size and time kept), " << changed
                << " changed (content and time)\n";
    if (r.end == VerifyEnd::Cancelled)
        ctx.out << "verify cancelled: the disc was not read to the end\n";
    ctx.out << (problems == 0 ? QStringLiteral("all files match")
                              : QString::number(problems) +
                                    (problems == 1 ? QStringLiteral(" file differs")
                                                   : QStringLiteral(" files differ")) +
                                    QStringLiteral(" or could not be read"))
            << "\n";
    return problems > 0 || r.end == VerifyEnd::Cancelled ? Failure : Ok;
}

} // namespace vorlane::cli
