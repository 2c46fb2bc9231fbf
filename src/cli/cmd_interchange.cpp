// export and merge: a catalog, a category or a disc written out as JSON, CSV or HTML, and
// another catalog or a JSON export added to a catalog.
#include "cli/clicommon.h"
#include "core/interchange/catalogexport.h"
#include "core/interchange/catalogmerge.h"
#include "core/interchange/exportfile.h"
#include "core/interchange/foreign/foreignsource.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

namespace vorlane::cli {

void exportOptions(QCommandLineParser& p) {
    addPasswordOptions(p);
    p.addOption({QStringLiteral("category"),
                 QStringLiteral("Export this category with its sub-categories."),
                 QStringLiteral("id")});
    p.addOption(
        {QStringLiteral("disc"), QStringLiteral("Export this disc."), QStringLiteral("id")});
    p.addOption({QStringLiteral("format"), QStringLiteral("Output format: json, csv or html."),
                 QStringLiteral("format")});
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Write to this file (default: standard output)."),
                 QStringLiteral("file")});
    p.addOption({QStringLiteral("bom"),
                 QStringLiteral("CSV: begin with a byte-order mark, for spreadsheet programs.")});
    p.addOption({QStringLiteral("csv-formulas"),
                 QStringLiteral("CSV: write cells that begin with =, +, -, @, a tab or a carriage "
                                "return as they are (by default they get a leading apostrophe, "
                                "so that a spreadsheet shows them as text).")});
}

void mergeOptions(QCommandLineParser& p) {
    addPasswordOptions(p);
    p.addOption({QStringLiteral("duplicates"),
                 QStringLiteral("For a disc whose volume label (or name) is already in the "
                                "catalog: skip it, or keep both."),
                 QStringLiteral("skip|keep")});
    p.addOption({QStringLiteral("source-password"),
                 QStringLiteral("The source catalog's open password, when it has one (else "
                                "VORLANE_SOURCE_PASSWORD, else asked for on a terminal)."),
                 QStringLiteral("password")});
    p.addOption({QStringLiteral("category"),
                 QStringLiteral("Put the source's top categories, and its discs outside any "
                                "category, in this category (default: the categories at the "
                                "top, such discs in a new category named after SOURCE)."),
                 QStringLiteral("id")});
    p.addOption({QStringLiteral("from"),
                 QStringLiteral("The source's format (default: recognised by content): vorlane "
                                "(a catalog or a JSON export), cdcat, vvv, katalog, catcli, "
                                "gwhere, hashdeep, md5sum, sha1sum or sha256sum."),
                 QStringLiteral("format")});
}

int cmdExport(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    ExportOptions options;
    const QString format = p.value(QStringLiteral("format"));
    if (format == QLatin1String("json"))
        options.format = ExportFormat::Json;
    else if (format == QLatin1String("csv"))
        options.format = ExportFormat::Csv;
    else if (format == QLatin1String("html"))
        options.format = ExportFormat::Html;
    else if (format.isEmpty())
        usage(QStringLiteral("give the output format with --format json, csv or html"));
    else
        usage(QStringLiteral("unknown format '") + format +
              QStringLiteral("'; use json, csv or html"));
    const bool category = p.isSet(QStringLiteral("category"));
    const bool disc = p.isSet(QStringLiteral("disc"));
    if (category && disc)
        usage(QStringLiteral("give --category or --disc, not both"));
    if (category)
        options.scope = {
            ExportScope::Kind::Category,
            idArgument(p.value(QStringLiteral("category")), QStringLiteral("category id")),
            {}};
    if (disc)
        options.scope = {ExportScope::Kind::Disc,
                         idArgument(p.value(QStringLiteral("disc")), QStringLiteral("disc id")),
                         {}};
    options.byteOrderMark = p.isSet(QStringLiteral("bom"));
    if (options.byteOrderMark && options.format != ExportFormat::Csv)
        usage(QStringLiteral("--bom is for --format csv only"));
    options.csvFormulas = p.isSet(QStringLiteral("csv-formulas"));
    if (options.csvFormulas && options.format != ExportFormat::Csv)
        usage(QStringLiteral("--csv-formulas is for --format csv only"));
    options.title = QFileInfo(path).completeBaseName();

    Database db;
    openCatalog(db, path, p, Access::Read);
    const QString target = p.value(QStringLiteral("output"));
    ExportResult result = ExportResult::Done;
    try {
        if (!target.isEmpty()) {
            result = exportToFile(db, options, target);
        } else if (const auto* file = qobject_cast<QFile*>(ctx.out.device());
                   file && file->handle() == STDOUT_FILENO) {
            // Straight to the descriptor, so that a write error is seen and reported.
            ctx.out.flush();
            std::fflush(stdout);
            result = exportToDescriptor(db, options, STDOUT_FILENO);
        } else if (QIODevice* device = ctx.out.device()) {
            ctx.out.flush();
            result = exportCatalog(db, options, *device);
        } else {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            result = exportCatalog(db, options, buffer);
            ctx.out << QString::fromUtf8(buffer.data());
        }
    } catch (const ExportWriteError& e) {
        fail(target.isEmpty() ? QStringLiteral("standard output") : target, e.text());
    }
    switch (result) {
    case ExportResult::Done:
    case ExportResult::Cancelled:
        break;
    case ExportResult::NoSuchCategory:
        fail(path, QStringLiteral("no category with id %1").arg(options.scope.id));
    case ExportResult::NoSuchDisc:
        fail(path, QStringLiteral("no disc with id %1").arg(options.scope.id));
    }
    return Ok;
}

namespace {

QString describeDisc(const DuplicateDisc& d) {
    QString s = QLatin1Char('\'') + oneLine(d.name) + QLatin1Char('\'');
    if (!d.label.isEmpty())
        s += QStringLiteral(" (label ") + oneLine(d.label) + QLatin1Char(')');
    return s + QStringLiteral(", already in the catalog as '") + oneLine(d.existing) +
           QLatin1Char('\'');
}

// Every merge that stops says the same about the catalog.
[[noreturn]] void refuse(const QString& file, const QString& why) {
    fail(file, why + QStringLiteral("; nothing was changed"));
}

} // namespace

int cmdMerge(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const QString source = p.positionalArguments().at(1);
    const QString policy = p.value(QStringLiteral("duplicates"));
    if (!policy.isEmpty() && policy != QLatin1String("skip") && policy != QLatin1String("keep"))
        usage(QStringLiteral("--duplicates takes skip or keep"));
    MergeOptions options;
    options.source = source;
    if (p.isSet(QStringLiteral("from"))) {
        options.format = p.value(QStringLiteral("from")).toLower();
        if (options.format == QLatin1String("json"))
            options.format = QStringLiteral("vorlane");
        if (options.format != QLatin1String("vorlane") && !foreign::isForeignFormat(options.format))
            usage(QStringLiteral("--from takes vorlane, ") +
                  foreign::formatNames().join(QStringLiteral(", ")));
    }
    if (p.isSet(QStringLiteral("category")))
        options.categoryId =
            idArgument(p.value(QStringLiteral("category")), QStringLiteral("--category"));
    Database db;
    openCatalog(db, path, p, Access::Write);
    if (p.isSet(QStringLiteral("category")) && options.categoryId == 0)
        refuse(path, QStringLiteral("no category with id 0"));

    if (p.isSet(QStringLiteral("source-password")))
        options.sourcePassword = p.value(QStringLiteral("source-password"));
    else
        options.sourcePassword = qEnvironmentVariable("VORLANE_SOURCE_PASSWORD");
    const auto refused = [&](const MergeReport& r) {
        switch (r.status) {
        case MergeStatus::Done:
            return;
        case MergeStatus::Cancelled:
            refuse(source, QStringLiteral("cancelled"));
        case MergeStatus::NeedsPassword:
        case MergeStatus::WrongPassword:
            refuse(source, QStringLiteral("wrong open password"));
        case MergeStatus::Failed:
            refuse(r.inCatalog ? path : source, r.error);
        }
    };
    QList<DuplicateDisc> duplicates;
    MergeReport look = findDuplicates(db, options, duplicates);
    if (look.status == MergeStatus::NeedsPassword) {
        options.sourcePassword =
            askUser(QStringLiteral("Open password for ") + oneLine(source) + QStringLiteral(": "));
        if (options.sourcePassword.isEmpty())
            refuse(source, QStringLiteral("the catalog has an open password; give it with "
                                          "--source-password or in VORLANE_SOURCE_PASSWORD"));
        look = findDuplicates(db, options, duplicates);
    }
    refused(look);
    if (!duplicates.isEmpty() && policy.isEmpty()) {
        for (const DuplicateDisc& d : duplicates)
            ctx.err << "vorlane-cli: disc " << describeDisc(d) << "\n";
        refuse(path, QStringLiteral("%1 disc(s) of the source are already in the catalog; "
                                    "choose --duplicates skip or --duplicates keep")
                         .arg(duplicates.size()));
    }
    const bool keep = policy == QLatin1String("keep");
    options.keepDuplicate = [keep](const DuplicateDisc&) { return keep; };
    const MergeReport report = mergeCatalog(db, options);
    refused(report);
    for (const DuplicateDisc& d : report.skipped)
        ctx.out << "skipped disc " << describeDisc(d) << "\n";
    for (const DuplicateDisc& d : report.kept)
        ctx.out << "kept both: disc " << describeDisc(d) << "\n";
    if (report.newCategoryId)
        ctx.out << "discs outside any category of the source went into the new category [C"
                << report.newCategoryId << "] " << oneLine(report.newCategoryName) << "\n";
    ctx.out << "merged " << oneLine(source) << " into " << oneLine(path) << ": "
            << report.categories << " categories, " << report.discs << " discs, " << report.entries
            << " entries";
    if (report.media || report.thumbnails)
        ctx.out << ", media facts of " << report.media << " entries, " << report.thumbnails
                << " thumbnails";
    ctx.out << "\n";
    // What a source made elsewhere held that could not stand.
    if (report.orphanMedia)
        ctx.out << "left out: media facts or thumbnails of " << report.orphanMedia
                << " entries the source does not have\n";
    if (report.badThumbnails)
        ctx.out << "left out: " << report.badThumbnails
                << " thumbnails that are no JPEG or larger than 1 MiB\n";
    if (report.badFacts)
        ctx.out << "left out: " << report.badFacts
                << " media facts out of range or unreadable (texts cut to 1000 characters "
                   "count too)\n";
    if (!report.format.isEmpty()) {
        ctx.out << "read as " << report.format << ": " << report.folders << " folders, "
                << report.files << " files, " << report.hashes << " hashes\n";
        for (const QString& line : report.dropped)
            ctx.out << "not carried over: " << oneLine(line) << "\n";
    }
    return Ok;
}

} // namespace vorlane::cli
