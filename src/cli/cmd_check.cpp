// check: the file's own integrity, then the links between categories, discs and entries;
// discs whose import did not finish are listed as information.
#include "cli/clicommon.h"
#include "core/store/catalogcheck.h"
#include "core/store/catalogstore.h"

namespace vorlane::cli {

int cmdCheck(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    Database db;
    openCatalog(db, path, p, Access::Read);
    const int faults = checkCatalog(db, [&](const QString& line) { ctx.out << line << '\n'; });
    // Information, not faults: such a disc is sound, it just holds less than the medium.
    for (const auto& [id, state] : catalogstore::incompleteDiscs(db))
        ctx.out << "info: disc " << id << ": its import "
                << (state == ScanState::Cancelled ? "was cancelled" : "failed")
                << "; it may lack part of its contents\n";
    if (faults == 0) {
        ctx.out << "ok\n";
        return Ok;
    }
    ctx.err << "vorlane-cli: " << path << ": " << faults << (faults == 1 ? " fault" : " faults")
            << " found\n";
    return Failure;
}

} // namespace vorlane::cli
