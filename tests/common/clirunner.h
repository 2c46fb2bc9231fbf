// Runs vorlane-cli in-process with its streams in strings.
#pragma once

#include "cli/cli.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

struct CliResult {
    int code;
    QString out;
    QString err;
};

inline CliResult runCli(const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = vorlane::cli::run(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
}
