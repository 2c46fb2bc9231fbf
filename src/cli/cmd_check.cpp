// check: the file's own integrity, then the links between categories, discs and entries.
#include "cli/clicommon.h"
#include "core/store/catalogcheck.h"

namespace vorlane::cli {

int cmdCheck(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    Database db;
    openCatalog(db, path, p, Access::Read);
    const int faults = checkCatalog(db, [&](const QString& line) { ctx.out << line << '\n'; });
    if (faults == 0) {
        ctx.out << "ok\n";
        return Ok;
    }
    ctx.err << "vorlane-cli: " << path << ": " << faults << (faults == 1 ? " fault" : " faults")
            << " found\n";
    return Failure;
}

} // namespace vorlane::cli
