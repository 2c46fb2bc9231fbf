// Commands whose core arrives with the scan, the search and compaction.
#include "cli/clicommon.h"

namespace vorlane::cli {

int cmdImport(Context&, QCommandLineParser& p) {
    fail(p.positionalArguments().at(0), QStringLiteral("import is not available in this build"));
}


} // namespace vorlane::cli
