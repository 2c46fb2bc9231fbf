#include "cli/cli.h"

#include "cli/clicommon.h"

#include "core/store/passwords.h"
#include "core/store/schema.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace vorlane::cli {

namespace {

// The command being run, for the wait notice and for naming the catalog in failures.
thread_local Context* t_context = nullptr;

int busyWaitMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VORLANE_BUSY_TIMEOUT_MS", &ok);
    return ok && ms >= 0 ? ms : 30000;
}

// A failure of the database layer in words for the user.
QString describe(const QString& path, const DbError& e) {
    switch (e.cause()) {
    case DbError::Cause::Busy:
        return QStringLiteral("another program is writing to this catalog and did not finish "
                              "within %1 s; try again later")
            .arg(busyWaitMs() / 1000.0);
    case DbError::Cause::FolderReadOnly:
        return QStringLiteral("the folder ") + QFileInfo(path).absolutePath() +
               QStringLiteral(" cannot be written, so the catalog cannot be changed");
    case DbError::Cause::DiskFull:
    case DbError::Cause::Other:
        break;
    }
    return e.text();
}

volatile std::sig_atomic_t g_promptInterrupted = 0;

extern "C" void onPromptInterrupt(int) {
    g_promptInterrupted = 1;
}

// Asks for a password on the terminal without echoing it. A null string when standard
// input is no terminal or nothing was typed.
QString askPassword(const QString& question) {
    if (::isatty(STDIN_FILENO) != 1)
        return {};
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    const int in = tty >= 0 ? tty : STDIN_FILENO;
    const int out = tty >= 0 ? tty : STDERR_FILENO;
    // Echo goes off before the question appears, so that nothing typed after it is shown.
    termios saved{};
    const bool quiet = ::tcgetattr(in, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~tcflag_t(ECHO | ECHONL);
        ::tcsetattr(in, TCSADRAIN, &noEcho);
    }
    auto restore = qScopeGuard([&] {
        if (quiet)
            ::tcsetattr(in, TCSADRAIN, &saved);
        if (tty >= 0)
            ::close(tty);
    });
    const QByteArray prompt = question.toLocal8Bit();
    if (::write(out, prompt.constData(), size_t(prompt.size())) < 0)
        return {}; // nowhere to ask; reading blind would only confuse
    // Ctrl+C must not leave the terminal without echo: the read is interrupted instead.
    struct sigaction onInt = {};
    struct sigaction previous = {};
    onInt.sa_handler = onPromptInterrupt;
    sigemptyset(&onInt.sa_mask);
    g_promptInterrupted = 0;
    ::sigaction(SIGINT, &onInt, &previous);
    std::string typed;
    bool gotLine = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(in, &c, 1);
        if (n == 1 && c != '\n') {
            typed.push_back(c);
            continue;
        }
        gotLine = n == 1;
        if (n < 0 && errno == EINTR && !g_promptInterrupted)
            continue;
        break;
    }
    ::sigaction(SIGINT, &previous, nullptr);
    (void)!::write(out, "\n", 1);
    if (!typed.empty() && typed.back() == '\r')
        typed.pop_back();
    QString password =
        gotLine ? QString::fromLocal8Bit(typed.data(), qsizetype(typed.size())) : QString();
    std::fill(typed.begin(), typed.end(), '\0');
    if (g_promptInterrupted) {
        restore.dismiss();
        if (quiet)
            ::tcsetattr(in, TCSADRAIN, &saved);
        if (tty >= 0)
            ::close(tty);
        ::raise(SIGINT);
    }
    return password;
}

// The password given for `option`: the option, else the environment variable, else typed
// at the prompt. A null string when there is none.
QString givenPassword(const QCommandLineParser& parser, const QString& option, const char* env,
                      const QString& question) {
    if (parser.isSet(option))
        return parser.value(option);
    if (!qEnvironmentVariableIsEmpty(env))
        return qEnvironmentVariable(env);
    return askPassword(question);
}

QString formatOption() {
    return QStringLiteral("format");
}

void findOptions(QCommandLineParser& p) {
    p.addOption({QStringLiteral("no-notes"), QStringLiteral("Do not search notes.")});
    p.addOption({QStringLiteral("min-size"),
                 QStringLiteral("Only entries of at least this size (K, M, G suffixes)."),
                 QStringLiteral("size")});
    p.addOption({QStringLiteral("max-size"),
                 QStringLiteral("Only entries of at most this size (K, M, G suffixes)."),
                 QStringLiteral("size")});
    p.addOption({QStringLiteral("after"),
                 QStringLiteral("Only entries changed at or after this ISO 8601 date or time."),
                 QStringLiteral("date")});
    p.addOption({QStringLiteral("before"),
                 QStringLiteral("Only entries changed before this ISO 8601 date or time."),
                 QStringLiteral("date")});
    p.addOption({QStringLiteral("ext"),
                 QStringLiteral("Only entries with these extensions, e.g. .html,.htm."),
                 QStringLiteral("list")});
    p.addOption({QStringLiteral("no-folders"), QStringLiteral("Do not search folder names.")});
    p.addOption({QStringLiteral("no-files"), QStringLiteral("Do not search file names.")});
    p.addOption({QStringLiteral("case-sensitive"), QStringLiteral("Match letter case exactly.")});
    p.addOption({QStringLiteral("glob"),
                 QStringLiteral("The keyword is a wildcard pattern for the whole name or note: "
                                "* is any run of characters, ? exactly one.")});
    p.addOption({QStringLiteral("regex"),
                 QStringLiteral("The keyword is a regular expression (PCRE), found anywhere in "
                                "the name or note.")});
    p.addOption({QStringLiteral("query"),
                 QStringLiteral("Search with a query instead of a KEYWORD: words that must all "
                                "match, \"phrases\", a|b, !word, and the filters ext:, size:, "
                                "date:, disc:, path:, note:, type:, regex: and case:."),
                 QStringLiteral("text")});
    p.addOption({QStringLiteral("sort"),
                 QStringLiteral("Order the hits by name, size, time, path or disc."),
                 QStringLiteral("order")});
    p.addOption({QStringLiteral("reverse"), QStringLiteral("Reverse the order of the hits.")});
    p.addOption({QStringLiteral("limit"), QStringLiteral("Show only the first N hits."),
                 QStringLiteral("n")});
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
    p.addOption({QStringLiteral("checksums"),
                 QStringLiteral("Store a checksum (XXH3-128) of every file, for verify.")});
    p.addOption({QStringLiteral("archives"),
                 QStringLiteral("List the members of zip, 7z, tar and iso files below them.")});
    p.addOption({QStringLiteral("media"),
                 QStringLiteral("Read media facts: picture size, date taken and camera, audio "
                                "tags, durations, codecs.")});
    p.addOption({QStringLiteral("thumbnails"),
                 QStringLiteral("Store a small thumbnail of every picture and video.")});
    p.addOption({QStringLiteral("exclude"),
                 QStringLiteral("Leave out entries whose name matches (* and ?, case counts; "
                                "a pattern with / matches the path below ROOT). Repeatable."),
                 QStringLiteral("pattern")});
}

void rescanOptions(QCommandLineParser& p) {
    addPasswordOptions(p);
    p.addOption(
        {QStringLiteral("dry-run"), QStringLiteral("Only report the changes; write nothing.")});
    p.addOption({QStringLiteral("depth"), QStringLiteral("Folder levels to read; 0 reads all."),
                 QStringLiteral("n")});
    p.addOption({QStringLiteral("folders-only"), QStringLiteral("Store folders only.")});
    p.addOption({QStringLiteral("types"),
                 QStringLiteral("Only files with these extensions, e.g. .jpg,.png (files are "
                                "stored again after --folders-only)."),
                 QStringLiteral("list")});
    p.addOption({QStringLiteral("all-types"),
                 QStringLiteral("Files of every type (files are stored again after "
                                "--folders-only).")});
    p.addOption({QStringLiteral("checksums"),
                 QStringLiteral("Store a checksum (XXH3-128) of every file, for verify.")});
    p.addOption({QStringLiteral("no-checksums"),
                 QStringLiteral("Store no checksums for new or changed files.")});
    p.addOption({QStringLiteral("archives"),
                 QStringLiteral("List the members of zip, 7z, tar and iso files below them.")});
    p.addOption({QStringLiteral("no-archives"), QStringLiteral("Do not list archive members.")});
    p.addOption({QStringLiteral("media"),
                 QStringLiteral("Read media facts (unchanged files too, when they were not).")});
    p.addOption({QStringLiteral("no-media"), QStringLiteral("Read no media facts.")});
    p.addOption({QStringLiteral("thumbnails"),
                 QStringLiteral("Make thumbnails (unchanged files too, when they were not).")});
    p.addOption({QStringLiteral("no-thumbnails"), QStringLiteral("Make no thumbnails.")});
    p.addOption({QStringLiteral("exclude"),
                 QStringLiteral("Leave out entries matching this pattern instead of the stored "
                                "ones (as for import). Repeatable."),
                 QStringLiteral("pattern")});
    p.addOption({QStringLiteral("no-exclude"), QStringLiteral("Leave nothing out.")});
}

} // namespace

const QList<Command>& commands() {
    static const QList<Command> list = {
        {QStringLiteral("new"), QStringLiteral("CATALOG"),
         QStringLiteral("Create a new, empty catalog (never overwrites)."), nullptr, cmdNew},
        {QStringLiteral("tree"), QStringLiteral("CATALOG"),
         QStringLiteral("Show categories and discs with their ids."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({QStringLiteral("long"),
                          QStringLiteral("Also show each disc's import and contents.")});
         },
         cmdTree},
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
        {QStringLiteral("rescan"), QStringLiteral("CATALOG DISC_ID [ROOT]"),
         QStringLiteral("Walk a disc's folder again (or ROOT, which becomes its folder) with "
                        "its import options and bring its entries up to date. Prints the "
                        "options first; the options below change them, and what they change "
                        "is kept for the next rescan. Then prints \"+\", \"-\" or \"~\" and "
                        "the path of every entry added, removed or changed in size or time, "
                        "and a summary. Entries that stay keep their notes; removed entries "
                        "with notes are named."),
         rescanOptions, cmdRescan},
        {QStringLiteral("ls"), QStringLiteral("CATALOG DISC_ID [FOLDER_ID]"),
         QStringLiteral(
             "List a disc's top level or a folder, folders first. The modification "
             "time is shown in UTC as ISO 8601 (2024-05-01T08:30:00Z) in text, in "
             "seconds since 1970 in tsv and json; \"-\", empty or null when unknown. In json "
             "an entry with media facts has a media object (width, height, taken, "
             "duration_ms…), each member present only when known."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({formatOption(), QStringLiteral("Output format: text, tsv or json."),
                          QStringLiteral("format"), QStringLiteral("text")});
         },
         cmdLs},
        {QStringLiteral("thumb"), QStringLiteral("CATALOG ENTRY_ID"),
         QStringLiteral("Write an entry's stored thumbnail (a JPEG made at import with "
                        "--thumbnails) to the file named with -o."),
         thumbOptions, cmdThumb},
        {QStringLiteral("find"), QStringLiteral("CATALOG (KEYWORD | --query TEXT)"),
         QStringLiteral("Search disc, folder and file names and notes. Without --glob or "
                        "--regex the keyword is a plain substring, ? and * included. In json "
                        "output each hit has its size and modification time (mtime, seconds "
                        "since 1970)."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             findOptions(p);
         },
         cmdFind},
        {QStringLiteral("dups"), QStringLiteral("CATALOG"),
         QStringLiteral("List files kept more than once across the discs, largest waste "
                        "first: by checksum where both files have one of the same kind (ours, "
                        "or an MD5, SHA-1 or SHA-256 from a merged listing), else by size and "
                        "name."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({QStringLiteral("min-size"),
                          QStringLiteral("Only files of at least this size (K, M, G suffixes; "
                                         "default 1 byte)."),
                          QStringLiteral("size")});
             p.addOption({formatOption(), QStringLiteral("Output format: text, tsv or json."),
                          QStringLiteral("format"), QStringLiteral("text")});
         },
         cmdDups},
        {QStringLiteral("copies"), QStringLiteral("CATALOG"),
         QStringLiteral("List the files held on at most N discs (default 1), largest first: "
                        "what a failing disc would take with it. Files are the same as for "
                        "dups: by checksum where both have one of the same kind, else by size "
                        "and name."),
         [](QCommandLineParser& p) {
             addPasswordOptions(p);
             p.addOption({QStringLiteral("max"),
                          QStringLiteral("Files held on at most this many discs (default 1)."),
                          QStringLiteral("n"), QStringLiteral("1")});
             p.addOption({QStringLiteral("min-size"),
                          QStringLiteral("Only files of at least this size (K, M, G suffixes)."),
                          QStringLiteral("size")});
             p.addOption({formatOption(), QStringLiteral("Output format: text, tsv or json."),
                          QStringLiteral("format"), QStringLiteral("text")});
         },
         cmdCopies},
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
         QStringLiteral("Check the file and the catalog's links; exit 1 on any fault. Discs "
                        "whose import did not finish are listed, not counted as faults."),
         addPasswordOptions, cmdCheck},
        {QStringLiteral("compact"), QStringLiteral("CATALOG"),
         QStringLiteral("Back up to CATALOG.bak, then compact the catalog."), addPasswordOptions,
         cmdCompact},
        {QStringLiteral("export"), QStringLiteral("CATALOG"),
         QStringLiteral("Write the catalog, a category or a disc as JSON, CSV or HTML."),
         exportOptions, cmdExport},
        {QStringLiteral("merge"), QStringLiteral("CATALOG SOURCE"),
         QStringLiteral("Add another catalog, a JSON export, or another cataloguer's or tool's "
                        "file (see --from) to the catalog. The whole source is first held to "
                        "check's rules; one that fails them is refused."),
         mergeOptions, cmdMerge},
        {QStringLiteral("verify"), QStringLiteral("CATALOG DISC_ID [ROOT]"),
         QStringLiteral("Read a disc's files back from its source path (or ROOT) and name each "
                        "one that is missing, unreadable or changed; exit 1 if any is. Files "
                        "imported with --checksums, or with an MD5, SHA-1 or SHA-256 hash from "
                        "a merged listing, are compared by content, others by size and time. "
                        "Content that changed while the size and time did not is reported as "
                        "\"corrupt:\", with the time as \"changed:\"."),
         addPasswordOptions, cmdVerify},
    };
    return list;
}

QString askUser(const QString& question) {
    return askPassword(question);
}

void addPasswordOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("password"),
                      QStringLiteral("The catalog's open password, when it has one (else "
                                     "VORLANE_PASSWORD, else asked for on a terminal)."),
                      QStringLiteral("password")});
    parser.addOption({QStringLiteral("write-password"),
                      QStringLiteral("The catalog's write password, for commands that write "
                                     "(else VORLANE_WRITE_PASSWORD, else asked for)."),
                      QStringLiteral("password")});
}

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) {
    g_interrupted = true;
}

} // namespace

InterruptCatcher::InterruptCatcher() {
    g_interrupted = false;
    m_previous = std::signal(SIGINT, onInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
    std::signal(SIGINT, m_previous);
}

const std::atomic<bool>* InterruptCatcher::flag() const {
    return &g_interrupted;
}

std::function<void(const QString&)> pathProgress(Context& ctx) {
    return [&ctx](const QString& current) {
        QString shown = oneLine(current);
        if (shown.size() > 70)
            shown = QStringLiteral("…") + shown.right(69);
        ctx.err << "\r\x1b[K" << shown;
        ctx.err.flush();
    };
}

void clearProgress(Context& ctx) {
    ctx.err << "\r\x1b[K";
    ctx.err.flush();
}

void usage(const QString& message) {
    throw Failed{Usage, message};
}

void fail(const QString& file, const QString& cause) {
    throw Failed{Failure, file + QStringLiteral(": ") + cause};
}

QStringList extensionList(const QString& text, const QString& option) {
    QStringList out;
    for (QString t : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        t = t.trimmed();
        if (!t.startsWith(QLatin1Char('.')))
            t.prepend(QLatin1Char('.'));
        if (t.size() > 1 && !out.contains(t, Qt::CaseInsensitive))
            out << t;
    }
    if (out.isEmpty())
        usage(QStringLiteral("--") + option + QStringLiteral(" lists no extension"));
    return out;
}

qint64 sizeArgument(const QString& text, const QString& option) {
    static const QString units = QStringLiteral("KMGT");
    QString digits = text.trimmed().toUpper();
    if (digits.endsWith(QLatin1Char('B')))
        digits.chop(1);
    int shift = 0;
    if (!digits.isEmpty()) {
        const qsizetype unit = units.indexOf(digits.back());
        if (unit >= 0) {
            shift = int(10 * (unit + 1));
            digits.chop(1);
        }
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value < 0 || (shift > 0 && value > (std::numeric_limits<qint64>::max() >> shift)))
        usage(QStringLiteral("--") + option + QStringLiteral(" takes a size like 700M, not ") +
              text);
    return value << shift;
}

qint64 timeArgument(const QString& text, const QString& option) {
    const QString t = text.trimmed();
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (!when.isValid()) {
        const QDate day = QDate::fromString(t, Qt::ISODate);
        if (day.isValid())
            when = day.startOfDay();
    }
    if (!when.isValid())
        usage(QStringLiteral("--") + option +
              QStringLiteral(" takes an ISO 8601 date like 2024-05-31 or 2024-05-31T18:00, not ") +
              text);
    return when.toSecsSinceEpoch();
}

qint64 idArgument(const QString& text, const QString& what) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < 0)
        usage(what + QStringLiteral(" must be a whole number: ") + text);
    return v;
}

int depthArgument(const QString& text) {
    const qint64 depth = idArgument(text, QStringLiteral("--depth"));
    if (depth > 100)
        usage(QStringLiteral("--depth must be 0 to 100"));
    return int(depth);
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
    if (!info.isReadable())
        fail(path, QStringLiteral("the file cannot be read"));
    if (Context* ctx = t_context) {
        ctx->catalog = path;
        db.setBusyWait(busyWaitMs(), [ctx, path] {
            ctx->err << "vorlane-cli: " << oneLine(path)
                     << ": waiting for another program writing to this catalog…\n";
            ctx->err.flush();
        });
    }
    try {
        db.open(path);
    } catch (const DbError& e) {
        if (e.cause() != DbError::Cause::Other)
            fail(path, describe(path, e));
        fail(path, QStringLiteral("not a Vorlane catalog, or the file is damaged (") + e.text() +
                       QLatin1Char(')'));
    }
    QString readPwd, writePwd;
    try {
        const CatalogPasswords stored = readPasswords(db);
        readPwd = stored.read;
        writePwd = stored.write;
    } catch (const DbError& e) {
        if (e.cause() != DbError::Cause::Other)
            fail(path, describe(path, e));
        fail(path, QStringLiteral("the file is damaged (") + e.text() + QLatin1Char(')'));
    }
    if (!readPwd.isEmpty()) {
        const QString given = givenPassword(parser, QStringLiteral("password"), "VORLANE_PASSWORD",
                                            QStringLiteral("Open password for ") + oneLine(path) +
                                                QStringLiteral(": "));
        if (given.isNull())
            fail(path, QStringLiteral("the catalog has an open password; give it with "
                                      "--password or in VORLANE_PASSWORD"));
        if (given != readPwd)
            fail(path, QStringLiteral("wrong open password"));
    }
    if (access == Access::Write) {
        if (!writePwd.isEmpty()) {
            const QString given = givenPassword(
                parser, QStringLiteral("write-password"), "VORLANE_WRITE_PASSWORD",
                QStringLiteral("Write password for ") + oneLine(path) + QStringLiteral(": "));
            if (given.isNull())
                fail(path, QStringLiteral("the catalog has a write password; give it with "
                                          "--write-password or in VORLANE_WRITE_PASSWORD"));
            if (given != writePwd)
                fail(path, QStringLiteral("wrong write password"));
        }
        // The engine writes its journal beside the catalog, so the folder must be writable too.
        const QString dir = info.absolutePath();
        if (::access(QFile::encodeName(dir).constData(), W_OK) != 0)
            fail(path, QStringLiteral("the folder ") + dir +
                           QStringLiteral(" cannot be written, so the catalog cannot be changed"));
        if (db.isReadOnly())
            fail(path, QStringLiteral("the file cannot be written"));
        if (upgradeCatalog(db) == CatalogUpgrade::Newer)
            fail(path, QStringLiteral("the catalog was made by a newer version of Vorlane; it "
                                      "can be read but not changed"));
    }
}

int run(const QStringList& args, QTextStream& out, QTextStream& err) {
    Context ctx{out, err, ::isatty(STDERR_FILENO) == 1, {}};
    Context* const outer = t_context;
    t_context = &ctx;
    const auto restore = qScopeGuard([outer] { t_context = outer; });
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
                name == QLatin1String("merge") || name == QLatin1String("thumb")) {
                minArgs = maxArgs = 2;
            } else if (name == QLatin1String("find")) {
                maxArgs = 2; // the keyword, unless --query gives one
            } else if (name == QLatin1String("ls") || name == QLatin1String("verify") ||
                       name == QLatin1String("rescan")) {
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
            err << "vorlane-cli: " << oneLine(f.message) << "\n";
            if (f.code == Usage)
                err << "Try 'vorlane-cli " << name << " --help'.\n";
            err.flush();
            return f.code;
        } catch (const DbError& e) {
            out.flush();
            if (ctx.catalog.isEmpty())
                err << "vorlane-cli: database error: " << oneLine(e.text()) << "\n";
            else
                err << "vorlane-cli: " << oneLine(ctx.catalog) << ": "
                    << oneLine(describe(ctx.catalog, e)) << "\n";
            err.flush();
            return Failure;
        }
    }
    err << "vorlane-cli: unknown command '" << name << "'\n";
    topHelp(err);
    return Usage;
}

} // namespace vorlane::cli
