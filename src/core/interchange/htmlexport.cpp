// The HTML page: one file that needs nothing from anywhere else. Each disc's entries are
// listed as plain text in one <pre> (one line per entry, with readable sizes and times),
// so the browser's own find reaches every name and the page prints as a listing, while
// the page holds only a few elements per disc. The collapsible tree above it is built by
// the page's script from the same entries, embedded once as data: a folder's children
// become elements only when it is opened, so even a disc of 100k entries opens at once.
// The markup is also well-formed XML (the script sits in a CDATA section), so it can be
// read by XML tools as well.
#include "core/interchange/exportlayout.h"
#include "core/store/database.h"

#include <QTimeZone>

namespace vorlane::exportlayout {

namespace {

// Text for element content or an attribute: the five XML escapes, line breaks kept unless
// `oneLine`, other control characters (not allowed in XML) as U+FFFD.
void appendText(Sink& sink, const QString& text, bool oneLine) {
    QString s;
    s.reserve(text.size() + 16);
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'&':
            s += QStringLiteral("&amp;");
            break;
        case u'<':
            s += QStringLiteral("&lt;");
            break;
        case u'>':
            s += QStringLiteral("&gt;");
            break;
        case u'"':
            s += QStringLiteral("&quot;");
            break;
        case u'\n':
        case u'\r':
        case u'\t':
            s += oneLine ? QChar(u' ') : ch;
            break;
        default:
            if (c < 0x20 || c == 0xfffe || c == 0xffff)
                s += QChar(0xfffd);
            else
                s += ch;
        }
    }
    sink.append(s.toUtf8());
}

// appendText() of UTF-8 bytes, without a QString where they are valid.
void appendText(Sink& sink, QByteArrayView bytes, bool oneLine) {
    if (!isUtf8(bytes)) {
        appendText(sink, QString::fromUtf8(bytes), oneLine);
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        const char* replacement = nullptr;
        qsizetype length = 1;
        switch (c) {
        case '&':
            replacement = "&amp;";
            break;
        case '<':
            replacement = "&lt;";
            break;
        case '>':
            replacement = "&gt;";
            break;
        case '"':
            replacement = "&quot;";
            break;
        case '\n':
        case '\r':
        case '\t':
            if (oneLine)
                replacement = " ";
            break;
        default:
            if (c < 0x20) {
                replacement = "\xEF\xBF\xBD";
            } else if (c == 0xef && i + 2 < n && p[i + 1] == 0xbf &&
                       (p[i + 2] == 0xbe || p[i + 2] == 0xbf)) { // U+FFFE, U+FFFF
                replacement = "\xEF\xBF\xBD";
                length = 3;
            }
        }
        if (!replacement)
            continue;
        sink.append(bytes.sliced(run, i - run));
        sink.append(replacement);
        i += length - 1;
        run = i + 1;
    }
    sink.append(bytes.sliced(run));
}

// A size for people ("512 B", "1.5 MB"), padded on the left to 10 characters.
void appendReadableSize(Sink& sink, qint64 bytes) {
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    QByteArray text;
    if (bytes < 1024) {
        text = QByteArray::number(bytes) + " B";
    } else {
        double v = double(bytes);
        int u = -1;
        do {
            v /= 1024;
            ++u;
        } while (v >= 1024 && u < 5);
        // Qt's rounding (half up), as the page has always shown it.
        text = QByteArray::number(v, 'f', 1) + ' ' + units[u];
    }
    for (qsizetype i = text.size(); i < 10; ++i)
        sink.append(' ');
    sink.append(text);
}

void appendReadableTime(Sink& sink, const RowView& row, int column) {
    if (column < 0 || row.cells[column].type != Cell::Type::Integer) {
        sink.append("                "); // as wide as a time
        return;
    }
    sink.appendUtcTime(row.cells[column].integer, ' ', false, QStringLiteral("yyyy-MM-dd HH:mm"));
}

QByteArrayView textBytes(const RowView& row, int column) {
    if (column < 0 || row.cells[column].type != Cell::Type::Text)
        return {};
    return row.cells[column].bytes;
}

// A text cell as UTF-8 that QString would read the same: the bytes, or their repair in
// `storage`.
QByteArrayView validText(const RowView& row, int column, QByteArray& storage) {
    const QByteArrayView bytes = textBytes(row, column);
    if (isUtf8(bytes))
        return bytes;
    storage = QString::fromUtf8(bytes).toUtf8();
    return storage;
}

struct Columns {
    int id = -1, father = -1, name = -1, path = -1, size = -1, dir = -1, time = -1, note = -1,
        link = -1;
    void find(const RowView& row) {
        if (id >= 0)
            return;
        id = row.indexOf("AutoId");
        father = row.indexOf("FatherId");
        name = row.indexOf("TreeName");
        path = row.indexOf("FPath");
        size = row.indexOf("FSize");
        dir = row.indexOf("IsDir");
        time = row.indexOf("FTime");
        note = row.indexOf("TreeExp");
        link = row.indexOf("Link");
    }
    qint64 integer(const RowView& row, int column) const {
        return column >= 0 && row.cells[column].type == Cell::Type::Integer
                   ? row.cells[column].integer
                   : 0;
    }
};

const char* const style =
    "body{font-family:sans-serif;margin:1em 2em;color:#222}"
    "h1{font-size:1.4em}h2{font-size:1.2em;margin-top:2em}h3{font-size:1.05em;margin:1.2em 0 .3em}"
    "details{margin-left:1.2em}summary{cursor:pointer}"
    ".cat>summary{font-weight:bold}.disc>summary{color:#124}"
    ".file{margin-left:2.4em}.dim{color:#777;margin-left:1em;font-size:.9em}"
    ".note{white-space:pre-wrap;color:#555;margin:.2em 0 .4em}"
    "pre{font-size:.85em;background:#f6f6f6;padding:.5em;overflow-x:auto}";

// The tree: categories (C: id, parent, name) and discs (D: category, name, note, entries
// as [id, parent, folder, name, size, time, note, link]). A folder's children are made
// when it is first opened.
const char* const script = R"JS(
(function(){
function el(tag,cls,text){var e=document.createElement(tag);if(cls)e.className=cls;if(text!=null)e.textContent=text;return e;}
function size(n){if(n<1024)return n+' B';var u=['KB','MB','GB','TB','PB','EB'],i=-1;do{n/=1024;i++;}while(n>=1024&&i<u.length-1);return n.toFixed(1)+' '+u[i];}
function time(t){if(t==null)return '';return new Date(t*1000).toLocaleString();}
function kids(d){if(!d.k){d.k={};for(var i=0;i<d.e.length;i++){var r=d.e[i];(d.k[r[1]]||(d.k[r[1]]=[])).push(r);}}return d.k;}
function later(det,fill){det.addEventListener('toggle',function(){if(det.open&&!det.done){det.done=true;fill();}});}
function fill(box,d,id){var list=kids(d)[id]||[],f=document.createDocumentFragment();for(var i=0;i<list.length;i++)f.appendChild(entry(d,list[i]));box.appendChild(f);}
function entry(d,r){
 var info=(r[2]?'':size(r[4])+'  ')+time(r[5])+(r[7]?'  -> '+r[7]:'');
 if(r[2]){var det=el('details','dir'),s=el('summary',null,r[3]);s.appendChild(el('span','dim',info));det.appendChild(s);
  if(r[6])det.appendChild(el('div','note',r[6]));later(det,function(){fill(det,d,r[0]);});return det;}
 var div=el('div','file',r[3]);div.appendChild(el('span','dim',info));if(r[6])div.appendChild(el('div','note',r[6]));return div;}
var root=document.getElementById('tree'),boxes={0:root};
root.textContent='';
for(var i=0;i<C.length;i++){var c=C[i],det=el('details','cat');det.appendChild(el('summary',null,c[2]));(boxes[c[1]]||root).appendChild(det);boxes[c[0]]=det;}
D.forEach(function(d){var det=el('details','disc');det.appendChild(el('summary',null,d.name));if(d.note)det.appendChild(el('div','note',d.note));
 (boxes[d.cat]||root).appendChild(det);later(det,function(){fill(det,d,0);});});
})();
)JS";

} // namespace

ExportResult writeHtml(Database& db, const ExportOptions& options, const Layout& layout, Sink& sink,
                       Progress& progress) {
    const QString title = options.title.isEmpty() ? QStringLiteral("Vorlane") : options.title;
    sink.append("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                "<meta name=\"viewport\" content=\"width=device-width\"/>\n<title>");
    appendText(sink, title, true);
    sink.append("</title>\n<style>");
    sink.append(style);
    sink.append("</style>\n</head>\n<body>\n<h1>");
    appendText(sink, title, true);
    sink.append("</h1>\n<div id=\"tree\">需要脚本才能显示目录树；下方的清单列出全部条目。</div>\n"
                "<h2>清单</h2>\n");
    // The listing, streamed disc by disc.
    std::vector<QByteArray> notes(layout.discs.size());
    for (size_t i = 0; i < layout.discs.size(); ++i) {
        const Disc& d = layout.discs[i];
        interchangestore::readDisc(db, d.id, [&](const RowView& row) {
            notes[i] = row.textOr("CDExp").toUtf8();
            return false;
        });
        sink.append("<section>\n<h3>");
        appendText(sink, d.name, true);
        if (!d.categoryPath.isEmpty()) {
            sink.append(" <small>(");
            appendText(sink, d.categoryPath, true);
            sink.append(")</small>");
        }
        sink.append("</h3>\n");
        if (!notes[i].isEmpty()) {
            sink.append("<div class=\"note\">");
            appendText(sink, QString::fromUtf8(notes[i]), false);
            sink.append("</div>\n");
        }
        sink.append("<pre>");
        Columns c;
        bool stopped = false;
        const QByteArray source = d.sourcePath.toUtf8();
        interchangestore::readEntriesByFolder(db, d.id, [&](const RowView& row) {
            c.find(row);
            const bool isDir = c.integer(row, c.dir) != 0;
            if (isDir)
                sink.append("          ");
            else
                appendReadableSize(sink, c.integer(row, c.size));
            sink.append("  ");
            appendReadableTime(sink, row, c.time);
            sink.append("  ");
            appendText(sink, QByteArrayView(source), true);
            appendText(sink, textBytes(row, c.path), true);
            sink.append('/');
            if (!isDir)
                appendText(sink, textBytes(row, c.name), true);
            const QByteArrayView link = textBytes(row, c.link);
            if (!link.isEmpty()) {
                sink.append(" -&gt; ");
                appendText(sink, link, true);
            }
            const QByteArrayView note = textBytes(row, c.note);
            if (!note.isEmpty()) {
                sink.append("  — ");
                appendText(sink, note, true);
            }
            sink.append('\n');
            if (progress.step()) {
                stopped = true;
                return false;
            }
            return true;
        });
        if (stopped)
            return ExportResult::Cancelled;
        sink.append("</pre>\n</section>\n");
    }
    // The data for the tree, then the script that builds it.
    sink.append("<script>//<![CDATA[\nvar C=[");
    for (size_t i = 0; i < layout.categories.size(); ++i) {
        const Category& c = layout.categories[i];
        sink.append(i ? ",\n[" : "\n[");
        sink.appendInteger(c.id);
        sink.append(',');
        sink.appendInteger(c.father);
        sink.append(',');
        sink.appendJsonString(c.name.toUtf8(), true);
        sink.append(']');
    }
    sink.append("];\nvar D=[");
    for (size_t i = 0; i < layout.discs.size(); ++i) {
        const Disc& d = layout.discs[i];
        sink.append(i ? ",\n{\"cat\":" : "\n{\"cat\":");
        sink.appendInteger(d.categoryId);
        sink.append(",\"name\":");
        sink.appendJsonString(d.name.toUtf8(), true);
        sink.append(",\"note\":");
        sink.appendJsonString(notes[i], true);
        sink.append(",\"e\":[");
        Columns c;
        bool first = true, stopped = false;
        QByteArray storage;
        interchangestore::readEntriesByFolder(db, d.id, [&](const RowView& row) {
            c.find(row);
            sink.append(first ? "\n[" : ",\n[");
            first = false;
            sink.appendInteger(c.integer(row, c.id));
            sink.append(',');
            sink.appendInteger(c.integer(row, c.father));
            sink.append(c.integer(row, c.dir) != 0 ? ",1," : ",0,");
            sink.appendJsonString(validText(row, c.name, storage), true);
            sink.append(',');
            sink.appendInteger(c.integer(row, c.size));
            sink.append(',');
            if (c.time >= 0 && row.cells[c.time].type == Cell::Type::Integer)
                sink.appendInteger(row.cells[c.time].integer);
            else
                sink.append("null");
            sink.append(',');
            sink.appendJsonString(validText(row, c.note, storage), true);
            sink.append(',');
            sink.appendJsonString(validText(row, c.link, storage), true);
            sink.append(']');
            if (progress.step()) {
                stopped = true;
                return false;
            }
            return true;
        });
        if (stopped)
            return ExportResult::Cancelled;
        sink.append("]}");
    }
    sink.append("];\n");
    sink.append(script);
    sink.append("//]]></script>\n</body>\n</html>\n");
    return ExportResult::Done;
}

} // namespace vorlane::exportlayout
