#include "cli/cli.h"

#include "cli/clicommon.h"
#include "store/schema.h"

#include <QFileInfo>
#include <unistd.h>

namespace vorlane::cli {

namespace {

QString formatOption() {
    return QStringLiteral("format");
}

void findOptions(QCommandLineParser& p) {
    p.addOption({QStringLiteral("no-notes"), QStringLiteral("Do not search notes.")});
    p.addOption({QStringLiteral("no-folders"), QStringLiteral("Do not search folder names.")});
    p.addOption({QStringLiteral("no-files"), QStringLiteral("Do not search file names.")});
    p.addOption({QStringLiteral("case-sensitive"), QStringLiteral("Match letter case exactly.")});
    p.addOption({formatOption(), QStringLiteral("Output format: text, tsv or json."),
                 QStringLiteral("format"), QStringLiteral("text")});
}

void importOptions(QCommandLineParser& p) {
    p.addOption({QStringLiteral("category"), QStringLiteral("Category that receives the disc."),
                 QStringLiteral("id")});
    p.addOption({QStringLiteral("name"),
                 QStringLiteral("Disc name (default: the volume label or the folder's name)."),
                 QStringLiteral("name")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Folder levels to read; 0 reads all."),
                 QStringLiteral("n"), QStringLiteral("0")});
    p.addOption({QStringLiteral("folders-only"), QStringLiteral("Store folders only.")});
    p.addOption({QStringLiteral("types"),
                 QStringLiteral("Only files with these extensions, e.g. .jpg,.png."),
                 QStringLiteral("list")});
}

} // namespace

const QList<Command>& commands() {
    static const QList<Command> list = {
        {QStringLiteral("new"), QStringLiteral("CATALOG"),
         QStringLiteral("Create a new, empty catalog (never overwrites)."), nullptr, cmdNew},
        {QStringLiteral("tree"), QStringLiteral("CATALOG"),
         QStringLiteral("Show categories and discs with their ids."), addPasswordOptions, cmdTree},
        {QStringLiteral("mkcat"), QStringLiteral("CATALOG NAME"), QStringLiteral("Add a category."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({QStringLiteral("parent"), QStringLiteral("Parent category id."),
                          QStringLiteral("id"), QStringLiteral("0")});
         },
         cmdMkcat},
        {QStringLiteral("import"), QStringLiteral("CATALOG ROOT"),
         QStringLiteral("Scan a disc or directory into a category."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             importOptions(p);
         },
         cmdImport},
        {QStringLiteral("ls"), QStringLiteral("CATALOG DISC_ID [FOLDER_ID]"),
         QStringLiteral("List a disc's top level or a folder, folders first."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({formatOption(), QStringLiteral("Output format: text, tsv or json."),
                          QStringLiteral("format"), QStringLiteral("text")});
         },
         cmdLs},
        {QStringLiteral("find"), QStringLiteral("CATALOG KEYWORD"),
         QStringLiteral("Search disc, folder and file names and notes."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             findOptions(p);
         },
         cmdFind},
        {QStringLiteral("note"), QStringLiteral("CATALOG (--disc ID | --entry ID) [TEXT]"),
         QStringLiteral("Show or set the note of a disc or an entry."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption(
                 {QStringLiteral("disc"), QStringLiteral("Disc id."), QStringLiteral("id")});
             p.addOption({QStringLiteral("entry"), QStringLiteral("Folder or file id."),
                          QStringLiteral("id")});
             p.addOption({QStringLiteral("file"),
                          QStringLiteral("Read the note from a text file (UTF-8 or GB18030)."),
                          QStringLiteral("path")});
         },
         cmdNote},
        {QStringLiteral("check"), QStringLiteral("CATALOG"),
         QStringLiteral("Check the file and the catalog's links; exit 1 on any fault."),
         addPasswordOptions, cmdCheck},
        {QStringLiteral("compact"), QStringLiteral("CATALOG"),
         QStringLiteral("Back up to CATALOG.bak, then compact the catalog."), addPasswordOptions,
         cmdCompact},
    };
    return list;
}

void addPasswordOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("password"),
                      QStringLiteral("The catalog's open password, when it has one."),
                      QStringLiteral("password")});
    parser.addOption({QStringLiteral("write-password"),
                      QStringLiteral("The catalog's write password, for commands that write."),
                      QStringLiteral("password")});
}

void usage(const QString& message) {
    throw Failed{Usage, message};
}

void fail(const QString& file, const QString& cause) {
    throw Failed{Failure, file + QStringLiteral(": ") + cause};
}

qint64 nextOrderId(Database& db) {
    return db.scalar(QStringLiteral("select max(m) from (select max(OrderId) as m from qClass "
                                    "union all select max(OrderId) from qCD)"))
               .toLongLong() +
           1;
}

qint64 idArgument(const QString& text, const QString& what) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < 0)
        usage(what + QStringLiteral(" must be a whole number: ") + text);
    return v;
}

QString oneLine(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    s.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    s.replace(QLatin1Char('\r'), QStringLiteral("\\n"));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s;
}

bool parse(Context& ctx, const Command& cmd, QCommandLineParser& parser, const QStringList& args,
           int minPositional, int maxPositional) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    if (cmd.options)
        cmd.options(parser);
    QStringList withProgram = args;
    withProgram.prepend(QStringLiteral("vorlane-cli"));
    if (!parser.parse(withProgram))
        usage(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // Qt's first line names the program only; say the command and its arguments.
        text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
        ctx.out << "Usage: vorlane-cli " << cmd.name << " [options] " << cmd.synopsis << "\n"
                << cmd.summary << "\n"
                << text;
        return false;
    }
    const int n = int(parser.positionalArguments().size());
    if (n < minPositional)
        usage(QStringLiteral("missing arguments; usage: vorlane-cli ") + cmd.name +
              QLatin1Char(' ') + cmd.synopsis);
    if (n > maxPositional)
        usage(QStringLiteral("too many arguments; usage: vorlane-cli ") + cmd.name +
              QLatin1Char(' ') + cmd.synopsis);
    return true;
}

void openCatalog(Database& db, const QString& path, const QCommandLineParser& parser,
                 Access access) {
    const QFileInfo info(path);
    if (!info.exists())
        fail(path, QStringLiteral("no such file"));
    if (!info.isFile())
        fail(path, QStringLiteral("not a file"));
    try {
        db.open(path);
    } catch (const DbError& e) {
        fail(path, QStringLiteral("not a Vorlane catalog, or the file is damaged (") + e.text() +
                       QLatin1Char(')'));
    }
    QString readPwd, writePwd;
    try {
        Query q(db, QStringLiteral("select ReadPwd, WritePwd from sys limit 1"));
        if (q.next()) {
            readPwd = q.textOr(0);
            writePwd = q.textOr(1);
        }
    } catch (const DbError& e) {
        fail(path, QStringLiteral("the file is damaged (") + e.text() + QLatin1Char(')'));
    }
    const QString givenRead = parser.isSet(QStringLiteral("password"))
                                  ? parser.value(QStringLiteral("password"))
                                  : QString();
    const QString givenWrite = parser.isSet(QStringLiteral("write-password"))
                                   ? parser.value(QStringLiteral("write-password"))
                                   : QString();
    if (!readPwd.isEmpty()) {
        if (!parser.isSet(QStringLiteral("password")))
            fail(path, QStringLiteral("the catalog has an open password; give it with --password"));
        if (givenRead != readPwd)
            fail(path, QStringLiteral("wrong open password"));
    }
    if (access == Access::Write) {
        if (!writePwd.isEmpty()) {
            if (!parser.isSet(QStringLiteral("write-password")))
                fail(path, QStringLiteral("the catalog has a write password; give it with "
                                          "--write-password"));
            if (givenWrite != writePwd)
                fail(path, QStringLiteral("wrong write password"));
        }
        if (db.isReadOnly())
            fail(path, QStringLiteral("the file cannot be written"));
        upgradeCatalog(db);
    }
}

int run(const QStringList& args, QTextStream& out, QTextStream& err) {
    Context ctx{out, err, ::isatty(STDERR_FILENO) == 1};
    auto topHelp = [&](QTextStream& s) {
        s << "Usage: vorlane-cli COMMAND [options] ARGS...\n"
          << "The Vorlane disc catalogue from the command line.\n\nCommands:\n";
        for (const Command& c : commands())
            s << "  " << c.name.leftJustified(9) << c.summary << "\n";
        s << "\nRun 'vorlane-cli COMMAND --help' for a command's options.\n";
    };
    if (args.isEmpty()) {
        topHelp(err);
        return Usage;
    }
    const QString name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        topHelp(out);
        return Ok;
    }
    if (name == QLatin1String("--version")) {
        out << "vorlane-cli " << VORLANE_VERSION << "\n";
        return Ok;
    }
    for (const Command& cmd : commands()) {
        if (cmd.name != name)
            continue;
        try {
            QCommandLineParser parser;
            const QStringList rest = args.mid(1);
            int minArgs = 1, maxArgs = 1;
            if (name == QLatin1String("mkcat") || name == QLatin1String("import") ||
                name == QLatin1String("find")) {
                minArgs = maxArgs = 2;
            } else if (name == QLatin1String("ls")) {
                minArgs = 2;
                maxArgs = 3;
            } else if (name == QLatin1String("note")) {
                maxArgs = 2;
            }
            if (!parse(ctx, cmd, parser, rest, minArgs, maxArgs))
                return Ok;
            const int code = cmd.run(ctx, parser);
            out.flush();
            return code;
        } catch (const Failed& f) {
            out.flush();
            err << "vorlane-cli: " << f.message << "\n";
            if (f.code == Usage)
                err << "Try 'vorlane-cli " << name << " --help'.\n";
            err.flush();
            return f.code;
        } catch (const DbError& e) {
            out.flush();
            err << "vorlane-cli: database error: " << e.text() << "\n";
            err.flush();
            return Failure;
        }
    }
    err << "vorlane-cli: unknown command '" << name << "'\n";
    topHelp(err);
    return Usage;
}

} // namespace vorlane::cli
