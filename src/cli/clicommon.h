// Shared pieces of the command-line commands.
#pragma once

#include "cli/cli.h"
#include "core/store/database.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <atomic>
#include <functional>

namespace vorlane::cli {

// A failure that ends the command: exit status and a one-line message.
struct Failed {
    int code;
    QString message;
};

struct Context {
    QTextStream& out;
    QTextStream& err;
    bool errIsTerminal = false;
    QString catalog; // the catalog the command opened, named in database failures
};

struct Command {
    QString name;
    QString synopsis; // arguments after the command name
    QString summary;
    std::function<void(QCommandLineParser&)> options;
    std::function<int(Context&, QCommandLineParser&)> run;
};

const QList<Command>& commands();

// Parses `args` for `cmd`; prints help and returns false when --help was asked.
// Throws Failed (usage) on bad options or a wrong number of arguments.
bool parse(Context& ctx, const Command& cmd, QCommandLineParser& parser, const QStringList& args,
           int minPositional, int maxPositional);

// The standard password options of every command that opens a catalog.
void addPasswordOptions(QCommandLineParser& parser);

enum class Access { Read, Write };
// Opens the catalog at `path`, checks its passwords and, for writing, that the file and
// its folder can be written. A password comes from its option, else from the environment
// (VORLANE_PASSWORD, VORLANE_WRITE_PASSWORD), else from a prompt when standard input is a
// terminal. While another program holds the catalog's lock the command waits for it
// (VORLANE_BUSY_TIMEOUT_MS, 30 s by default), saying so on stderr. Throws Failed with a
// message naming the file.
void openCatalog(Database& db, const QString& path, const QCommandLineParser& parser,
                 Access access);

// Asks for a password on the terminal without echoing it; a null string when standard
// input is no terminal.
QString askUser(const QString& question);

// A whole-number argument; throws a usage Failed naming `what` otherwise.
qint64 idArgument(const QString& text, const QString& what);

// A --depth value: 0 (every level) to 100; throws a usage Failed otherwise.
int depthArgument(const QString& text);

// An extension list like ".html,htm": each with its leading dot, without repeats (a-z
// folded). Throws a usage Failed naming `option` when it lists none.
QStringList extensionList(const QString& text, const QString& option);
// A size in bytes: a whole number with an optional K, M, G or T (powers of 1024).
qint64 sizeArgument(const QString& text, const QString& option);
// An ISO 8601 date or date and time, in seconds since 1970 UTC. A time without an offset
// is local time; a date alone is its first second.
qint64 timeArgument(const QString& text, const QString& option);

// Notes and names on one line for text and tsv output: line breaks as \n, tabs as spaces,
// C0 controls and DEL as \xHH and C1 controls as \u00HH (\xHH is a byte, and C1 is two
// bytes in UTF-8), so that no name can drive the terminal.
QString oneLine(const QString& text);
// The same escapes, but line breaks and tabs kept (a note shown whole).
QString withoutControls(const QString& text);

// Text for the text and tsv output of ls and find: oneLine() with each backslash doubled,
// so that a single backslash always begins an escape.
QString escapedText(const QString& text);
// A catalogued name the same way. `raw` is its stored bytes when they are not UTF-8
// (FName): its text then shows the bytes that did not decode as \xHH and a backslash as
// \x5C, and is kept as it is, so "\xFF" read from the byte 0xFF prints as \xFF and the
// four characters \xFF as \\xFF.
QString escapedName(const QString& name, const QByteArray& raw);
// A path below a disc's root ("/A/B/c") name by name the same way, against its bytes
// (contentstore::rawEntryPath()).
QString escapedPath(const QString& path, const QByteArray& raw);

// While it lives, Ctrl+C sets flag() instead of ending the program: long commands pass it
// as their cancel and stop cleanly.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
    const std::atomic<bool>* flag() const;

private:
    void (*m_previous)(int);
};

// The path being read, kept on one line of the terminal (a long one shortened at the
// front); clearProgress() wipes that line.
std::function<void(const QString&)> pathProgress(Context& ctx);
void clearProgress(Context& ctx);

[[noreturn]] void usage(const QString& message);
[[noreturn]] void fail(const QString& file, const QString& cause);

// Commands, one function each.
int cmdNew(Context& ctx, QCommandLineParser& p);
int cmdTree(Context& ctx, QCommandLineParser& p);
int cmdMkcat(Context& ctx, QCommandLineParser& p);
int cmdLs(Context& ctx, QCommandLineParser& p);
int cmdNote(Context& ctx, QCommandLineParser& p);
int cmdCheck(Context& ctx, QCommandLineParser& p);
int cmdImport(Context& ctx, QCommandLineParser& p);
int cmdRescan(Context& ctx, QCommandLineParser& p);
int cmdFind(Context& ctx, QCommandLineParser& p);
int cmdDups(Context& ctx, QCommandLineParser& p);
int cmdCopies(Context& ctx, QCommandLineParser& p);
int cmdCompact(Context& ctx, QCommandLineParser& p);
int cmdExport(Context& ctx, QCommandLineParser& p);
int cmdMerge(Context& ctx, QCommandLineParser& p);
int cmdVerify(Context& ctx, QCommandLineParser& p);
int cmdThumb(Context& ctx, QCommandLineParser& p);
void thumbOptions(QCommandLineParser& p);
void exportOptions(QCommandLineParser& p);
void mergeOptions(QCommandLineParser& p);

} // namespace vorlane::cli
