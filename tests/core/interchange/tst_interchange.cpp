// Export and merge end to end through vorlane-cli: the JSON round trip loses nothing, the
// CSV reads back as the rows, the page is well-formed, a protected source needs its
// password, and a merge that fails anywhere leaves the catalog as it was.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/passwords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace vorlane;

namespace {

const QByteArray RawName("caf\xe9 \xb0\xa1.txt"); // Latin-1 and GBK bytes, not UTF-8

// A catalog with the cases that break naive writers and readers.
void makeAwkward(const QString& path) {
    testcat::create(path);
    Database db;
    db.open(path);
    const qint64 top = testcat::addCategory(db, QStringLiteral("引号 \"q\", 逗号"), 0, 1);
    const qint64 inner = testcat::addCategory(db, QStringLiteral("tab\there\nline"), top, 2);
    testcat::addCategory(db, QStringLiteral("empty"), 0, 3);
    testcat::addCategory(db, QStringLiteral("empty child"), inner, 4);
    const QString bigNote = QString(5 * 1024 * 1024 / 8, u'x') + QStringLiteral("末尾");
    const qint64 disc =
        testcat::addDisc(db, inner, QStringLiteral("disc \"one\"\r\nsecond line"), 5,
                         QStringLiteral("/mnt/a,b"), bigNote.repeated(8).left(5 * 1024 * 1024));
    db.exec(QStringLiteral("update qCD set CDId = ?, ScanTime = ?, ScanState = 1, FsType = "
                           "'udf', Capacity = ? where AutoId = ?"),
            {QStringLiteral("LABEL,\"1\""), qint64(1700000000), qint64(1) << 40, disc});
    testcat::addDisc(db, top, QStringLiteral("no entries"), 6);
    testcat::addDisc(db, top, QStringLiteral("<b>&amp;<b>"), 7);
    const qint64 folder = testcat::addEntry(db, disc, 0, QStringLiteral("dir \"x\""), true, 0,
                                            QStringLiteral("/dir \"x\""),
                                            QStringLiteral("note,\nwith \"quotes\"\tand tab"));
    const qint64 file = testcat::addEntry(db, disc, folder, QStringLiteral("caf? ?.txt"), false,
                                          (qint64(1) << 33) + 7, QStringLiteral("/dir \"x\""));
    db.exec(QStringLiteral("update qCDFiles set FName = ?, FTime = ? where AutoId = ?"),
            {RawName, qint64(1234567890), file});
    const qint64 link = testcat::addEntry(db, disc, folder, QStringLiteral("l\x01nk"), false, 0,
                                          QStringLiteral("/dir \"x\""));
    db.exec(QStringLiteral("update qCDFiles set Link = ?, FTime = -5 where AutoId = ?"),
            {QStringLiteral("../target </pre>]]>"), link});
    testcat::addEntry(db, disc, 0, QStringLiteral("<script><!-- 名"), false, 3, QString(),
                      QStringLiteral("]]>&<"));
    foldersizes::storeTotals(db, std::nullopt); // as a scan leaves them
}

// Every id replaced by the position of what it names, so two exports of the same content
// compare equal whatever ids the rows have.
QJsonObject withoutIds(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull())
        qFatal("export is not JSON: %s", qPrintable(error.errorString()));
    QJsonObject root = doc.object();
    auto positions = [](const QJsonArray& rows) {
        QHash<qint64, int> at;
        for (int i = 0; i < rows.size(); ++i)
            at.insert(rows[i].toObject().value(QStringLiteral("AutoId")).toInteger(), i);
        return at;
    };
    const QJsonArray cats = root.value(QStringLiteral("categories")).toArray();
    const QJsonArray discs = root.value(QStringLiteral("discs")).toArray();
    const QJsonArray entries = root.value(QStringLiteral("entries")).toArray();
    const auto catAt = positions(cats), discAt = positions(discs), entryAt = positions(entries);
    auto remap = [](QJsonArray rows, const QHash<QString, const QHash<qint64, int>*>& refs) {
        for (int i = 0; i < rows.size(); ++i) {
            QJsonObject o = rows[i].toObject();
            o.remove(QStringLiteral("AutoId"));
            for (auto it = refs.begin(); it != refs.end(); ++it) {
                const qint64 id = o.value(it.key()).toInteger();
                o.insert(it.key(), id == 0 ? -1 : it.value()->value(id, -2));
            }
            rows[i] = o;
        }
        return rows;
    };
    root.insert(QStringLiteral("categories"), remap(cats, {{QStringLiteral("FatherId"), &catAt}}));
    root.insert(QStringLiteral("discs"), remap(discs, {{QStringLiteral("ClassId"), &catAt}}));
    root.insert(QStringLiteral("entries"),
                remap(entries,
                      {{QStringLiteral("CdID"), &discAt}, {QStringLiteral("FatherId"), &entryAt}}));
    return root;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

// A strict RFC 4180 reader: fields quoted only as the RFC allows, CRLF between records.
QList<QStringList> parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (text[i] == u'"') {
            ++i;
            for (;;) {
                if (i >= n)
                    qFatal("unterminated quoted field");
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < n && text[i] != u',' && text[i] != u'\r') {
                if (text[i] == u'"' || text[i] == u'\n')
                    qFatal("bare quote or line feed in an unquoted field");
                field += text[i++];
            }
        }
        record << field;
        field.clear();
        if (i < n && text[i] == u',') {
            ++i;
            continue;
        }
        if (i + 1 < n && text[i] == u'\r' && text[i + 1] == u'\n') {
            i += 2;
            records << record;
            record.clear();
            continue;
        }
        if (i < n)
            qFatal("field not followed by a comma or CRLF");
    }
    if (!record.isEmpty())
        qFatal("last record without CRLF");
    return records;
}

} // namespace

class TestInterchange : public QObject {
    Q_OBJECT

private slots:
    void roundTripLosesNothing_data();
    void roundTripLosesNothing();
    void csvReadsBackAsTheRows();
    void htmlIsWellFormedAndFindable();
    void protectedSourceNeedsItsPassword();
    void failedMergeChangesNothing_data();
    void failedMergeChangesNothing();

private:
    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }
};

void TestInterchange::roundTripLosesNothing_data() {
    QTest::addColumn<QString>("source");
    QTest::newRow("example") << qEnvironmentVariable("VORLANE_BIN") + "/example.vlr";
    QTest::newRow("awkward") << QString();
}

void TestInterchange::roundTripLosesNothing() {
    QFETCH(QString, source);
    if (source.isEmpty()) {
        source = file(QStringLiteral("awkward-rt.vlr"));
        makeAwkward(source);
    }
    const QString first = file(QStringLiteral("first.json")), second = file("second.json");
    const QString target = file(QStringLiteral("target-%1.vlr").arg(QTest::currentDataTag()));
    QCOMPARE(runCli({"export", source, "--format", "json", "-o", first}).code, 0);
    testcat::create(target);
    // The target already holds a row of each kind, so every id must move.
    {
        Database db;
        db.open(target);
        const qint64 c = testcat::addCategory(db, QStringLiteral("old"));
        testcat::addEntry(db, testcat::addDisc(db, c, QStringLiteral("old disc")), 0, "x", false);
    }
    const CliResult merged = runCli({"merge", target, first});
    QVERIFY2(merged.code == 0, qPrintable(merged.err));
    // Without the target's own rows, the export is the source's again, apart from ids.
    Database db;
    db.open(target);
    db.exec(QStringLiteral("delete from qCDFiles where AutoId = 1; delete from qCD where AutoId "
                           "= 1; delete from qClass where AutoId = 1"));
    QCOMPARE(runCli({"export", target, "--format", "json", "-o", second}).code, 0);
    const QByteArray all = readAll(first);
    const QJsonObject expected = withoutIds(all);
    QCOMPARE(withoutIds(readAll(second)), expected);
    // Nothing was lost on the way out either: the awkward values are in the export as they
    // are in the catalog.
    if (QByteArray(QTest::currentDataTag()) == "awkward") {
        QVERIFY(!all.contains("Pwd"));
        const QJsonArray entries = expected.value("entries").toArray();
        bool raw = false;
        for (const auto& e : entries) {
            const QJsonObject fname = e.toObject().value("FName").toObject();
            raw = raw ||
                  QByteArray::fromBase64(fname.value("base64").toString().toLatin1()) == RawName;
        }
        QVERIFY(raw);
        Query q(db, QStringLiteral("select FName, FSize, FTime from qCDFiles where FName is not "
                                   "null"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toByteArray(), RawName);
        QCOMPARE(q.integer(1), (qint64(1) << 33) + 7);
        QCOMPARE(q.integer(2), qint64(1234567890));
        QCOMPARE(db.scalar("select length(CDExp) from qCD where CDId = 'LABEL,\"1\"'").toLongLong(),
                 qint64(5 * 1024 * 1024));
        QCOMPARE(db.count("select * from qClass where TreeName like 'empty%'"), qint64(2));
    }
}

void TestInterchange::csvReadsBackAsTheRows() {
    const QString source = file(QStringLiteral("awkward-csv.vlr"));
    makeAwkward(source);
    const QString out = file(QStringLiteral("out.csv"));
    const CliResult r = runCli({"export", source, "--format", "csv", "--bom", "-o", out});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QByteArray bytes = readAll(out);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> records = parseCsv(bytes.mid(3));
    const QString disc = QStringLiteral("disc \"one\"\r\nsecond line");
    const QString cat = QStringLiteral("引号 \"q\", 逗号 / tab\there\nline");
    const QString dir = QStringLiteral("/mnt/a,b/dir \"x\"");
    const QList<QStringList> expected = {
        {"disc", "category", "path", "name", "size", "modified", "kind", "note"},
        {disc, cat, dir, "dir \"x\"", "0", "", "folder", "note,\nwith \"quotes\"\tand tab"},
        {disc, cat, dir + "/caf? ?.txt", "caf? ?.txt", "8589934599", "2009-02-13T23:31:30Z", "file",
         ""},
        {disc, cat, dir + "/l\x01nk", "l\x01nk", "0", "1969-12-31T23:59:55Z", "link", ""},
        {disc, cat, "/mnt/a,b/<script><!-- 名", "<script><!-- 名", "3", "", "file", "]]>&<"},
    };
    QCOMPARE(records, expected);
}

void TestInterchange::htmlIsWellFormedAndFindable() {
    const QString source = file(QStringLiteral("awkward-html.vlr"));
    makeAwkward(source);
    {
        // A disc large enough that one element per entry would show, and the names that
        // end a script or an element, which no sound catalog holds but a file may.
        Database db;
        db.open(source);
        const qint64 big = testcat::addDisc(db, 0, QStringLiteral("big </b>"), 9);
        testcat::addEntry(db, big, 0, QStringLiteral("</script><!-- 名"), false, 3);
        db.begin();
        for (int i = 0; i < 3000; ++i)
            testcat::addEntry(db, big, 0, QStringLiteral("file-%1.bin").arg(i), false, i);
        db.commit();
    }
    const QString out = file(QStringLiteral("out.html"));
    QCOMPARE(runCli({"export", source, "--format", "html", "-o", out}).code, 0);
    const QByteArray page = readAll(out);
    QXmlStreamReader xml(page);
    int elements = 0;
    QString listing;
    QStringList attributes;
    bool inPre = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++elements;
            inPre = xml.name() == QLatin1String("pre");
            for (const auto& a : xml.attributes())
                attributes << a.name().toString();
        } else if (xml.isEndElement()) {
            inPre = false;
        } else if (xml.isCharacters() && inPre) {
            listing += xml.text();
        }
    }
    QVERIFY2(!xml.hasError(),
             qPrintable(xml.errorString() + " at line " + QString::number(xml.lineNumber())));
    QVERIFY2(elements < 60, qPrintable(QString::number(elements)));
    // Nothing is fetched from anywhere.
    QVERIFY(!attributes.contains("src") && !attributes.contains("href"));
    QVERIFY(!page.contains("http:") && !page.contains("https:"));
    // The browser's find reaches every name, in plain text.
    for (const QString& name : {QStringLiteral("file-2999.bin"), QStringLiteral("dir \"x\""),
                                QStringLiteral("</script><!-- 名"), QStringLiteral("caf? ?.txt")})
        QVERIFY2(listing.contains(name), qPrintable(name));
    QVERIFY(listing.contains(QStringLiteral("8.0 GB")));
}

void TestInterchange::protectedSourceNeedsItsPassword() {
    const QString source = file(QStringLiteral("locked.vlr"));
    const QString target = file(QStringLiteral("into.vlr"));
    makeAwkward(source);
    {
        Database db;
        db.open(source);
        writePasswords(db, QStringLiteral("secret"), QStringLiteral("w"));
    }
    testcat::create(target);
    const QList<QVariantList> before = testcat::allRows(target);
    qunsetenv("VORLANE_SOURCE_PASSWORD");
    CliResult r = runCli({"merge", target, source});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("--source-password"), qPrintable(r.err));
    r = runCli({"merge", target, source, "--source-password", "wrong"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("wrong open password"), qPrintable(r.err));
    QCOMPARE(testcat::allRows(target), before);
    r = runCli({"merge", target, source, "--source-password", "secret"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("4 categories, 3 discs, 4 entries"), qPrintable(r.out));
    // The source's passwords do not come along.
    Database db;
    db.open(target);
    QVERIFY(readPasswords(db).read.isEmpty());
    // A second merge finds every labelled or named disc already there.
    r = runCli({"merge", target, source, "--source-password", "secret"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("3 disc(s)"), qPrintable(r.err));
    r = runCli({"merge", target, source, "--source-password", "secret", "--duplicates", "skip"});
    QVERIFY2(r.out.contains("0 discs, 0 entries"), qPrintable(r.out));
}

void TestInterchange::failedMergeChangesNothing_data() {
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("cut off") << QByteArray("cut");
    QTest::newRow("bad value in the last entry") << QByteArray("list");
    QTest::newRow("two entries with one id") << QByteArray("same id");
    QTest::newRow("byte-order mark") << QByteArray("bom");
    QTest::newRow("no format") << QByteArray("no format");
    QTest::newRow("version 2") << QByteArray("version 2");
}

void TestInterchange::failedMergeChangesNothing() {
    QFETCH(QByteArray, damage);
    const QString source = file(QStringLiteral("many.vlr"));
    if (!QFile::exists(source)) {
        makeAwkward(source);
        Database db;
        db.open(source);
        const qint64 big = testcat::addDisc(db, 0, QStringLiteral("many"), 9);
        db.begin();
        for (int i = 0; i < 20000; ++i)
            testcat::addEntry(db, big, 0, QStringLiteral("entry %1 with a longer name").arg(i),
                              false, i);
        db.commit();
    }
    const QString json = file(QStringLiteral("many.json"));
    QCOMPARE(runCli({"export", source, "--format", "json", "-o", json}).code, 0);
    QByteArray text = readAll(json);
    const qsizetype last = text.lastIndexOf("\n{");
    if (damage == "cut")
        text.chop(text.size() - last - 20);
    else if (damage == "list")
        text.insert(last + 2, "\"FSize\":[1],");
    else if (damage == "bom")
        text.prepend("\xEF\xBB\xBF");
    else if (damage == "no format")
        text.replace("\"format\":\"vorlane-catalog\",", "");
    else if (damage == "version 2")
        text.replace("\"version\":1", "\"version\":2");
    else
        text.insert(text.lastIndexOf("]}"), text.mid(last, text.lastIndexOf("]}") - last));
    QFile out(json);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(text);
    out.close();

    const QString target = file(QStringLiteral("kept.vlr"));
    QFile::remove(target);
    QVERIFY(QFile::copy(qEnvironmentVariable("VORLANE_BIN") + "/example.vlr", target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    const QList<QVariantList> before = testcat::allRows(target);
    const CliResult r = runCli({"merge", target, json});
    QCOMPARE(r.code, 1);
    // Every refusal in the same words.
    QVERIFY2(r.err.startsWith("vorlane-cli: " + json + ": ") &&
                 r.err.endsWith("; nothing was changed\n") && r.err.count('\n') == 1,
             qPrintable(r.err));
    QCOMPARE(testcat::allRows(target), before);
    Database db;
    db.open(target);
    QCOMPARE(db.scalar("pragma integrity_check").toString(), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(TestInterchange)
#include "tst_interchange.moc"
