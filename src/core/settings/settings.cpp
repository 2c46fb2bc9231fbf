#include "core/settings/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace vorlane {

namespace {

QSettings open() {
    return QSettings(Settings::filePath(), QSettings::IniFormat);
}

bool readBool(const QSettings& s, const QString& key, bool def) {
    const QVariant v = s.value(key);
    if (!v.isValid())
        return def;
    bool ok = false;
    const double n = v.toString().toDouble(&ok);
    return ok ? n != 0 : def;
}

bool writable(QSettings& s) {
    QDir().mkpath(QFileInfo(s.fileName()).absolutePath());
    s.sync();
    return s.status() == QSettings::NoError;
}

// Whether the file can be opened for writing (creating it and its folder when missing).
// Asked before a change that must not stay half-made: QSettings keeps unwritten values in
// its per-process cache, where later reads would see them.
bool canWrite(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::ReadWrite);
}

} // namespace

QString Settings::filePath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config/vorlane");
    return QDir(dir).filePath(QStringLiteral("qnote.ini"));
}

QString Settings::lastOpenedFile() const {
    return open().value(QStringLiteral("OpenHistory/LastOpenedFile")).toString();
}

QStringList Settings::recentFiles() const {
    const QSettings s = open();
    QStringList out;
    for (int n = 1; n <= RecentCount; ++n)
        out << s.value(QStringLiteral("OpenHistory/OpenFile%1").arg(n)).toString();
    return out;
}

bool Settings::takeFirstRun() {
    QSettings s = open();
    const bool first = readBool(s, QStringLiteral("Options/First"), true);
    if (first) {
        s.setValue(QStringLiteral("Options/First"), QStringLiteral("0"));
        writable(s);
    }
    return first;
}

bool Settings::backupOnOpen() const {
    return readBool(open(), QStringLiteral("Options/Backup"), true);
}

bool Settings::openRecentOnStart() const {
    return readBool(open(), QStringLiteral("Options/OpenRecentFile"), true);
}

bool Settings::saveOptions(bool backup, bool openRecent) {
    if (!canWrite(filePath()))
        return false;
    QSettings s = open();
    s.setValue(QStringLiteral("Options/Backup"),
               backup ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QStringLiteral("Options/OpenRecentFile"),
               openRecent ? QStringLiteral("1") : QStringLiteral("0"));
    return writable(s);
}

bool Settings::sizesInKb() const {
    return readBool(open(), QStringLiteral("Options/SizeInKB"), true);
}

bool Settings::saveSizesInKb(bool on) {
    if (!canWrite(filePath()))
        return false;
    QSettings s = open();
    s.setValue(QStringLiteral("Options/SizeInKB"), on ? QStringLiteral("1") : QStringLiteral("0"));
    return writable(s);
}

QString Settings::nameEncoding() const {
    const QString value = open().value(QStringLiteral("Options/NameEncoding")).toString().trimmed();
    return value.isEmpty() ? QStringLiteral("GB18030") : value;
}

bool Settings::saveNameEncoding(const QString& encoding) {
    if (!canWrite(filePath()))
        return false;
    QSettings s = open();
    s.setValue(QStringLiteral("Options/NameEncoding"), encoding);
    return writable(s);
}

void Settings::saveOpenHistory(const QString& currentFile) {
    if (currentFile.isEmpty() || !canWrite(filePath()))
        return;
    QSettings s = open();
    s.setValue(QStringLiteral("OpenHistory/LastOpenedFile"), currentFile);
    QStringList list = recentFiles();
    // A file already listed keeps its place: the list is in order of first entry.
    if (!list.contains(currentFile)) {
        for (int n = RecentCount - 1; n >= 1; --n) {
            if (!list.at(n - 1).isEmpty())
                list[n] = list.at(n - 1);
        }
        list[0] = currentFile;
        for (int n = 1; n <= RecentCount; ++n)
            s.setValue(QStringLiteral("OpenHistory/OpenFile%1").arg(n), list.at(n - 1));
    }
    writable(s);
}

ListViewSettings Settings::listView() const {
    const QSettings s = open();
    ListViewSettings view;
    bool ok = false;
    const int style = s.value(QStringLiteral("ListView/Style")).toInt(&ok);
    view.style = ok ? style : -1;
    const int column = s.value(QStringLiteral("ListView/SortColumn")).toInt(&ok);
    view.sortColumn = ok ? column : -1;
    view.descending = readBool(s, QStringLiteral("ListView/SortDescending"), false);
    for (const QString& key : s.allKeys()) {
        if (!key.startsWith(QStringLiteral("ListView/Widths")))
            continue;
        const int of = key.mid(15).toInt(&ok);
        if (!ok)
            continue;
        QList<int> widths;
        for (const QString& w : s.value(key).toString().split(QLatin1Char(','))) {
            const int n = w.trimmed().toInt(&ok);
            widths << (ok && n > 0 ? n : 0);
        }
        view.widths.insert(of, widths);
    }
    // Written by hand without quotes, the value reads as a list.
    const QVariant columns = s.value(QStringLiteral("ListView/MediaColumns"));
    for (const QString& c : columns.typeId() == QMetaType::QStringList
                                ? columns.toStringList()
                                : columns.toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int n = c.trimmed().toInt(&ok);
        if (ok)
            view.mediaColumns << n;
    }
    return view;
}

void Settings::saveListView(const ListViewSettings& view) {
    if (!canWrite(filePath()))
        return;
    QSettings s = open();
    s.setValue(QStringLiteral("ListView/Style"), QString::number(view.style));
    s.setValue(QStringLiteral("ListView/SortColumn"), QString::number(view.sortColumn));
    s.setValue(QStringLiteral("ListView/SortDescending"),
               view.descending ? QStringLiteral("1") : QStringLiteral("0"));
    for (auto it = view.widths.cbegin(); it != view.widths.cend(); ++it) {
        QStringList widths;
        for (int w : it.value())
            widths << QString::number(w);
        s.setValue(QStringLiteral("ListView/Widths%1").arg(it.key()),
                   widths.join(QLatin1Char(',')));
    }
    QStringList columns;
    for (int c : view.mediaColumns)
        columns << QString::number(c);
    s.setValue(QStringLiteral("ListView/MediaColumns"), columns.join(QLatin1Char(',')));
    writable(s);
}

bool Settings::previewPane() const {
    return readBool(open(), QStringLiteral("ListView/Preview"), false);
}

void Settings::savePreviewPane(bool shown) {
    if (!canWrite(filePath()))
        return;
    QSettings s = open();
    s.setValue(QStringLiteral("ListView/Preview"),
               shown ? QStringLiteral("1") : QStringLiteral("0"));
    writable(s);
}

namespace {

// A list in one value, readable in the file; patterns never hold ";".
QStringList readList(const QSettings& s, const QString& key) {
    QStringList out;
    for (const QString& p : s.value(key).toString().split(QLatin1Char(';'))) {
        if (!p.trimmed().isEmpty())
            out << p.trimmed();
    }
    return out;
}

QString listText(const QStringList& list) {
    return list.join(QLatin1Char(';'));
}

} // namespace

QStringList Settings::defaultExclusions() const {
    return readList(open(), QStringLiteral("Options/Exclude"));
}

bool Settings::saveDefaultExclusions(const QStringList& patterns) {
    if (!canWrite(filePath()))
        return false;
    QSettings s = open();
    s.setValue(QStringLiteral("Options/Exclude"), listText(patterns));
    s.remove(QStringLiteral("Import/Exclude"));
    return writable(s);
}

Settings::ImportChoices Settings::importChoices() const {
    const QSettings s = open();
    ImportChoices c;
    c.folder = s.value(QStringLiteral("Import/LastFolder")).toString();
    c.checksums = readBool(s, QStringLiteral("Import/Checksums"), false);
    c.archives = readBool(s, QStringLiteral("Import/Archives"), false);
    c.media = readBool(s, QStringLiteral("Import/Media"), false);
    c.thumbnails = readBool(s, QStringLiteral("Import/Thumbnails"), false);
    c.exclude = s.contains(QStringLiteral("Import/Exclude"))
                    ? readList(s, QStringLiteral("Import/Exclude"))
                    : readList(s, QStringLiteral("Options/Exclude"));
    return c;
}

void Settings::saveImportChoices(const ImportChoices& c) {
    if (!canWrite(filePath()))
        return;
    QSettings s = open();
    if (!c.folder.isEmpty())
        s.setValue(QStringLiteral("Import/LastFolder"), c.folder);
    s.setValue(QStringLiteral("Import/Checksums"),
               c.checksums ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QStringLiteral("Import/Archives"),
               c.archives ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QStringLiteral("Import/Media"), c.media ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QStringLiteral("Import/Thumbnails"),
               c.thumbnails ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QStringLiteral("Import/Exclude"), listText(c.exclude));
    writable(s);
}

QStringList Settings::findWords() const {
    const QSettings s = open();
    QStringList out;
    for (int n = 1; n <= FindWordCount; ++n) {
        const QString w = s.value(QStringLiteral("FindWords/Word%1").arg(n)).toString();
        if (w.isEmpty())
            break;
        out << w;
    }
    return out;
}

void Settings::rememberKeyword(const QString& keyword) {
    // An empty Word1 would end the list and hide every keyword behind it.
    if (keyword.isEmpty())
        return;
    QStringList words = findWords();
    words.removeAll(keyword);
    words.prepend(keyword);
    while (words.size() > FindWordCount)
        words.removeLast();
    QSettings s = open();
    for (int n = 1; n <= FindWordCount; ++n)
        s.setValue(QStringLiteral("FindWords/Word%1").arg(n),
                   n <= words.size() ? words.at(n - 1) : QString());
    writable(s);
}

} // namespace vorlane
