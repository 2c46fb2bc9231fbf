#include "cli/levellisting.h"

#include "cli/rowout.h"
#include "core/interchange/mediajson.h"
#include "core/store/levelrows.h"
#include "core/store/mediastore.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace vorlane::cli {

namespace {

std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> parts;
    for (;;) {
        const size_t slash = text.find('/');
        parts.push_back(text.substr(0, slash));
        if (slash == std::string_view::npos)
            return parts;
        text.remove_prefix(slash + 1);
    }
}

std::string_view view(QByteArrayView bytes) {
    return {bytes.data(), size_t(bytes.size())};
}

// escapedPath(): name by name against the bytes, backslashes kept only in names that were
// decoded from bytes that are not UTF-8.
void writePath(RowOut& out, std::string_view full, std::string_view bytes) {
    const std::vector<std::string_view> names = split(full);
    const std::vector<std::string_view> raws = split(bytes);
    if (names.size() != raws.size()) {
        out.text(full);
        return;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            out.add('/');
        out.name(names[i], QByteArrayView(raws[i].data(), qsizetype(raws[i].size())));
    }
}

void base64Field(RowOut& out, const char* key, QByteArrayView bytes) {
    out.add(key);
    const QByteArray base64 = bytes.toByteArray().toBase64();
    out.add(view(base64));
    out.add('"');
}

// The entry's media facts as a JSON member, indented as QJsonDocument indents.
void mediaField(RowOut& out, const MediaFacts& facts) {
    const std::vector<mediajson::Member> members = mediajson::members(facts);
    if (members.empty())
        return;
    out.add(",\n        \"media\": {");
    bool first = true;
    for (const mediajson::Member& m : members) {
        out.add(first ? "\n            \"" : ",\n            \"");
        first = false;
        out.add(m.name);
        out.add("\": ");
        switch (m.type) {
        case mediajson::Member::Type::Integer:
            out.number(m.integer);
            break;
        case mediajson::Member::Type::Real: {
            char text[40];
            const auto r = std::to_chars(text, text + sizeof text, m.real);
            out.add(std::string_view(text, size_t(r.ptr - text)));
            break;
        }
        case mediajson::Member::Type::Text:
            out.jsonString(m.text);
            break;
        }
    }
    out.add("\n        }");
}

} // namespace

void listLevel(Context& ctx, Database& db, qint64 disc, qint64 folder, const QByteArray& levelBytes,
               const QString& format) {
    const bool json = format == QLatin1String("json");
    const bool tsv = format == QLatin1String("tsv");
    // Only a level or a name decoded from bytes that are not UTF-8 prints unlike its text.
    bool levelDecoded = false;
    for (std::string_view part : split(view(levelBytes)))
        levelDecoded =
            levelDecoded || decodedName(QByteArrayView(part.data(), qsizetype(part.size())));
    RowOut out(ctx);
    if (tsv)
        out.add("id\ttype\tsize\tname\tpath\tnote\tmtime\n");
    else if (json)
        out.add("[\n");
    bool first = true;
    // Read for the whole level at once: one query, however many entries it has.
    const std::unordered_map<qint64, MediaFacts> media =
        json ? mediastore::factsOfLevel(db, disc, folder)
             : std::unordered_map<qint64, MediaFacts>();
    QByteArray nameStore, pathStore;
    std::string full, fullBytes;
    contentstore::readLevelRows(db, disc, folder, [&](const contentstore::LevelRow& e) {
        // An archive whose members are listed lists like a folder (`ls` with its id).
        const char* type = e.isDir                             ? "folder"
                           : e.archive == ArchiveMark::Archive ? "archive"
                                                               : "file";
        // As the text the rows would be read as.
        const std::string_view name = validUtf8(e.name, nameStore);
        const std::string_view path = validUtf8(e.path, pathStore);
        const bool plain = !levelDecoded && !decodedName(e.raw);
        if (json || !plain) {
            // A folder's FPath names the folder itself; a file's names the folder holding it.
            full.assign(path);
            if (!e.isDir)
                full.append("/").append(name);
            fullBytes.assign(levelBytes.constData(), size_t(levelBytes.size()));
            fullBytes.append("/").append(e.raw.isEmpty() ? name : view(e.raw));
        }
        if (json) {
            // Keys in the order QJsonDocument writes them.
            out.add(first ? "    {\n        \"id\": " : ",\n    {\n        \"id\": ");
            first = false;
            out.number(e.id);
            if (const auto facts = media.find(e.id); facts != media.end())
                mediaField(out, facts->second);
            out.add(",\n        \"mtime\": ");
            if (e.mtime)
                out.number(*e.mtime);
            else
                out.add("null");
            out.add(",\n        \"name\": ");
            out.jsonString(name);
            // The shown text of such a name is not the name: its bytes go beside it.
            if (!e.raw.isEmpty())
                base64Field(out, ",\n        \"name_base64\": \"", e.raw);
            out.add(",\n        \"note\": ");
            out.jsonString(e.note);
            out.add(",\n        \"path\": ");
            out.jsonString(std::string_view(full));
            if (fullBytes != full)
                base64Field(out, ",\n        \"path_base64\": \"",
                            QByteArrayView(fullBytes.data(), qsizetype(fullBytes.size())));
            out.add(",\n        \"size\": ");
            out.number(std::max<qint64>(e.size, 0));
            out.add(",\n        \"type\": \"");
            out.add(type);
            out.add("\"\n    }");
            out.endRow();
            return true;
        }
        const auto writeFullPath = [&] {
            if (plain) {
                out.text(path);
                if (!e.isDir) {
                    out.add('/');
                    out.text(name);
                }
            } else {
                writePath(out, full, fullBytes);
            }
        };
        if (tsv) {
            out.number(e.id);
            out.add('\t');
            out.add(type);
            out.add('\t');
            out.number(std::max<qint64>(e.size, 0));
            out.add('\t');
            out.name(name, e.raw);
            out.add('\t');
            writeFullPath();
            out.add('\t');
            out.text(e.note);
            out.add('\t');
            if (e.mtime)
                out.number(*e.mtime);
            out.add('\n');
        } else {
            out.rightAligned(e.id, 8);
            out.add("  ");
            if (e.isDir && e.size < 0) // the catalog holds no totals
                out.rightAligned("<DIR>", 14);
            else
                out.rightAligned(e.size, 14);
            out.add("  ");
            // UTC, so that the same catalog lists the same everywhere.
            const size_t at = out.mark();
            if (!e.mtime || !out.isoTime(*e.mtime)) // unknown, or a year ISO 8601 cannot write
                out.add('-');
            out.padFrom(at, 20);
            out.add("  ");
            writeFullPath();
            if (!e.note.empty()) {
                out.add("  # ");
                out.text(e.note);
            }
            out.add('\n');
        }
        out.endRow();
        return true;
    });
    if (json)
        out.add(first ? "]\n" : "\n]\n");
    out.finish();
}

} // namespace vorlane::cli
