// vorlane-cli: the catalogue from the command line, on the same core as the desktop
// program. Runs in-process so that tests can point its streams at buffers.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace vorlane::cli {

enum Exit { Ok = 0, Failure = 1, Usage = 2 };

// `args` without the program name. Returns the exit status.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace vorlane::cli
