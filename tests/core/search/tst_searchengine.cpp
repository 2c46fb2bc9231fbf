// The search over a real catalog file: phases, options, matching rules, hit columns, stop.
#include "common/catalogs.h"
#include "common/manualclock.h"
#include "core/search/searchengine.h"
#include "core/store/database.h"

#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

using namespace vorlane;

namespace {

struct Ids {
    qint64 music = 0, backup = 0, empty = 0;                 // discs
    qint64 docs = 0, abcDir = 0, pictures = 0;               // folders
    qint64 readme = 0, topFile = 0, photo = 0, noteOnly = 0; // files
};

// Three discs (ordered 备份盘, Music abc, Empty by OrderId), nested folders and files,
// notes in Chinese and ASCII, mixed case.
Ids buildCatalog(Database& db) {
    Ids ids;
    const qint64 cat = testcat::addCategory(db, QStringLiteral("分类"));
    ids.music = testcat::addDisc(db, cat, QStringLiteral("Music abc"), 2, {},
                                 QStringLiteral("disc note xyz"));
    ids.backup = testcat::addDisc(db, cat, QStringLiteral("备份盘"), 1, {},
                                  QStringLiteral("备注：ABC 资料"));
    ids.empty = testcat::addDisc(db, cat, QStringLiteral("Empty"), 3);
    ids.docs = testcat::addEntry(db, ids.music, 0, QStringLiteral("Docs"), true, 0, {},
                                 QStringLiteral("folder abc note"));
    ids.abcDir = testcat::addEntry(db, ids.music, ids.docs, QStringLiteral("ABCdir"), true, 0,
                                   QStringLiteral("/Docs"));
    ids.readme =
        testcat::addEntry(db, ids.music, ids.abcDir, QStringLiteral("readme.txt"), false, 10,
                          QStringLiteral("/Docs/ABCdir"), QStringLiteral("abc inside"));
    ids.topFile = testcat::addEntry(db, ids.music, 0, QStringLiteral("top-abc.bin"), false, 5);
    ids.pictures = testcat::addEntry(db, ids.backup, 0, QStringLiteral("图片"), true, 0, {},
                                     QStringLiteral("xyz 中文"));
    ids.photo =
        testcat::addEntry(db, ids.backup, ids.pictures, QStringLiteral("照片Abc.jpg"), false, 7,
                          QStringLiteral("/图片"), QStringLiteral("Abc note too"));
    ids.noteOnly = testcat::addEntry(db, ids.backup, 0, QStringLiteral("note-only.dat"), false, 1,
                                     {}, QStringLiteral("ABC"));
    return ids;
}

struct Run {
    QList<SearchHit> hits;
    SearchSummary summary;
    QList<QPair<qint64, qint64>> progress;
};

Run search(Database& db, const SearchOptions& o, const std::atomic<bool>* stop = nullptr,
           std::function<void(const SearchHit&)> extra = {}) {
    Run run;
    SearchCallbacks cb;
    cb.stop = stop;
    cb.onHit = [&](const SearchHit& h) {
        run.hits << h;
        if (extra)
            extra(h);
    };
    cb.onProgress = [&](qint64 e, qint64 t) { run.progress << qMakePair(e, t); };
    run.summary = runSearch(db, o, cb);
    return run;
}

QStringList names(const QList<SearchHit>& hits) {
    QStringList out;
    for (const SearchHit& h : hits)
        out << (h.kind() == SearchHit::Kind::Disc ? h.discName : h.name);
    return out;
}

SearchOptions options(const QString& keyword, bool notes, bool folders, bool files, bool cs) {
    SearchOptions o;
    o.keyword = keyword;
    o.notes = notes;
    o.folders = folders;
    o.files = files;
    o.caseSensitive = cs;
    return o;
}

} // namespace

class TestSearchEngine : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Database m_db;
    Ids m_ids;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("s.vlr"));
        testcat::create(path);
        m_db.open(path);
        m_ids = buildCatalog(m_db);
    }

    void options_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("notes");
        QTest::addColumn<bool>("folders");
        QTest::addColumn<bool>("files");
        QTest::addColumn<bool>("cs");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<qint64>("total");

        const QString b = QStringLiteral("备份盘"), m = QStringLiteral("Music abc");
        const QString docs = QStringLiteral("Docs"), dir = QStringLiteral("ABCdir");
        const QString readme = QStringLiteral("readme.txt"), top = QStringLiteral("top-abc.bin");
        const QString photo = QStringLiteral("照片Abc.jpg"), note = QStringLiteral("note-only.dat");
        const QString abc = QStringLiteral("abc");

        QTest::newRow("all on") << abc << true << true << true << false
                                << QStringList{b, m, docs, dir, readme, top, photo, note}
                                << qint64(10);
        QTest::newRow("all on, case-sensitive") << abc << true << true << true << true
                                                << QStringList{m, docs, readme, top} << qint64(10);
        QTest::newRow("upper-case keyword, case-sensitive")
            << QStringLiteral("ABC") << true << true << true << true << QStringList{b, dir, note}
            << qint64(10);
        // Disc names are searched whatever the options say.
        QTest::newRow("all off") << abc << false << false << false << false << QStringList{m}
                                 << qint64(3);
        QTest::newRow("notes only") << abc << true << false << false << false
                                    << QStringList{b, m, docs, readme, photo, note} << qint64(10);
        QTest::newRow("folders only")
            << abc << false << true << false << false << QStringList{m, dir} << qint64(6);
        QTest::newRow("files only")
            << abc << false << false << true << false << QStringList{m, top, photo} << qint64(7);
        QTest::newRow("folders and files") << abc << false << true << true << false
                                           << QStringList{m, dir, top, photo} << qint64(10);
        QTest::newRow("notes and folders")
            << abc << true << true << false << false
            << QStringList{b, m, docs, dir, readme, photo, note} << qint64(10);
        QTest::newRow("notes and files")
            << abc << true << false << true << false
            << QStringList{b, m, docs, readme, top, photo, note} << qint64(10);
        QTest::newRow("no hit") << QStringLiteral("qqq") << true << true << true << false
                                << QStringList{} << qint64(10);
        // 中文 in GBK is D6 D0 CE C4; its middle bytes D0 CE are 形. No match inside a
        // character.
        QTest::newRow("inside a character")
            << QStringLiteral("形") << true << true << true << false << QStringList{} << qint64(10);
        QTest::newRow("Chinese in a note")
            << QStringLiteral("中文") << true << true << true << false
            << QStringList{QStringLiteral("图片")} << qint64(10);
        QTest::newRow("Chinese in a name") << QStringLiteral("照片") << false << false << true
                                           << false << QStringList{photo} << qint64(7);
        QTest::newRow("mixed keyword, folded") << QStringLiteral("片aBC.J") << true << true << true
                                               << false << QStringList{photo} << qint64(10);
        // Only a-z fold: full-width letters are other characters.
        QTest::newRow("full-width letters") << QStringLiteral("ａｂｃ") << true << true << true
                                            << false << QStringList{} << qint64(10);
        QTest::newRow("keyword longer than any text")
            << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789") << true << true << true
            << false << QStringList{} << qint64(10);
        QTest::newRow("empty keyword finds nothing")
            << QString() << true << true << true << false << QStringList{} << qint64(10);
    }

    void options() {
        QFETCH(QString, keyword);
        QFETCH(bool, notes);
        QFETCH(bool, folders);
        QFETCH(bool, files);
        QFETCH(bool, cs);
        QFETCH(QStringList, expected);
        QFETCH(qint64, total);

        const Run run = search(m_db, ::options(keyword, notes, folders, files, cs));
        QCOMPARE(names(run.hits), expected);
        QCOMPARE(run.summary.hits, qint64(expected.size()));
        QCOMPARE(run.summary.total, total);
        QCOMPARE(searchTotal(m_db, ::options(keyword, notes, folders, files, cs)), total);
        QVERIFY(!run.summary.stopped);
        for (int i = 0; i < run.hits.size(); ++i)
            QCOMPARE(run.hits.at(i).number, qint64(i + 1));
        // Every row the phases read is examined; the last report is the end.
        if (!keyword.isEmpty())
            QCOMPARE(run.summary.examined, total);
        QVERIFY(!run.progress.isEmpty());
        QCOMPARE(run.progress.last(), qMakePair(run.summary.examined, total));
    }

    void hitColumns() {
        const Run run = search(m_db, ::options(QStringLiteral("abc"), true, true, true, false));
        QCOMPARE(run.hits.size(), 8);
        auto check = [&](int i, const QString& disc, const QString& name, qint64 discId,
                         qint64 folderId, qint64 fileId, SearchHit::Kind kind) {
            const SearchHit& h = run.hits.at(i);
            QCOMPARE(h.discName, disc);
            QCOMPARE(h.name, name);
            QCOMPARE(h.discId, discId);
            QCOMPARE(h.folderId, folderId);
            QCOMPARE(h.fileId, fileId);
            QCOMPARE(h.kind(), kind);
        };
        using K = SearchHit::Kind;
        // A disc whose note matches: no entry name, ids 0.
        check(0, QStringLiteral("备份盘"), {}, m_ids.backup, 0, 0, K::Disc);
        // Name and note both match: one hit.
        check(1, QStringLiteral("Music abc"), {}, m_ids.music, 0, 0, K::Disc);
        // A folder hit carries its own id and no file id.
        check(2, QStringLiteral("Music abc"), QStringLiteral("Docs"), m_ids.music, m_ids.docs, 0,
              K::Folder);
        check(3, QStringLiteral("Music abc"), QStringLiteral("ABCdir"), m_ids.music, m_ids.abcDir,
              0, K::Folder);
        // A file hit carries the folder holding it...
        check(4, QStringLiteral("Music abc"), QStringLiteral("readme.txt"), m_ids.music,
              m_ids.abcDir, m_ids.readme, K::File);
        // ... which is 0 for a file at the top of its disc.
        check(5, QStringLiteral("Music abc"), QStringLiteral("top-abc.bin"), m_ids.music, 0,
              m_ids.topFile, K::File);
        check(6, QStringLiteral("备份盘"), QStringLiteral("照片Abc.jpg"), m_ids.backup,
              m_ids.pictures, m_ids.photo, K::File);
        check(7, QStringLiteral("备份盘"), QStringLiteral("note-only.dat"), m_ids.backup, 0,
              m_ids.noteOnly, K::File);
    }

    void stop_data() {
        QTest::addColumn<bool>("folders");
        QTest::addColumn<bool>("files");
        QTest::addColumn<int>("stopAtHit");
        QTest::addColumn<int>("hits");
        QTest::addColumn<qint64>("examined");
        // After the second disc (the last disc hit): the entry phases read nothing.
        QTest::newRow("after the disc phase's last hit") << true << true << 2 << 2 << qint64(2);
        // In the folder phase: all three discs and the first folder were examined.
        QTest::newRow("in the folder phase") << true << true << 3 << 3 << qint64(4);
        QTest::newRow("in the file phase") << false << true << 2 << 2 << qint64(5);
        // File hits already found when the stop comes are kept.
        QTest::newRow("while file hits are listed") << true << true << 6 << 8 << qint64(10);
    }

    void stop() {
        QFETCH(bool, folders);
        QFETCH(bool, files);
        QFETCH(int, stopAtHit);
        QFETCH(int, hits);
        QFETCH(qint64, examined);
        std::atomic<bool> flag{false};
        const Run run =
            search(m_db, ::options(QStringLiteral("abc"), folders && files, folders, files, false),
                   &flag, [&](const SearchHit& h) {
                       if (h.number == stopAtHit)
                           flag = true;
                   });
        QCOMPARE(run.hits.size(), hits);
        QCOMPARE(run.summary.examined, examined);
        for (int i = 0; i < run.hits.size(); ++i)
            QCOMPARE(run.hits.at(i).number, qint64(i + 1));
    }

    void stopBeforeStart() {
        std::atomic<bool> flag{true};
        const Run run =
            search(m_db, ::options(QStringLiteral("abc"), true, true, true, false), &flag);
        QVERIFY(run.hits.isEmpty());
        QCOMPARE(run.summary.examined, qint64(0));
        QVERIFY(run.summary.stopped);
    }

    // A callback that fails deep inside the read ends the search with its own exception,
    // and the connection can search again.
    void failingCallback() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.vlr"));
        testcat::create(path);
        Database db;
        db.open(path);
        const qint64 cat = testcat::addCategory(db, QStringLiteral("c"));
        const qint64 disc = testcat::addDisc(db, cat, QStringLiteral("d"));
        db.begin();
        testcat::addEntry(db, disc, 0, QStringLiteral("abc first"), false);
        for (int i = 0; i < 1000; ++i)
            testcat::addEntry(db, disc, 0, QStringLiteral("f%1").arg(i), false);
        db.commit();

        ManualClock clock;
        SearchCallbacks cb;
        // Time passes at the hit, so the next report comes mid-read.
        cb.onHit = [&clock](const SearchHit&) { clock.advance(40); };
        cb.onProgress = [](qint64 examined, qint64 total) {
            if (examined > 0 && examined < total)
                throw std::runtime_error("progress failed");
        };
        const SearchOptions o = ::options(QStringLiteral("abc"), false, false, true, false);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, runSearch(db, o, cb));
        const Run again = search(db, o);
        QCOMPARE(names(again.hits), QStringList{QStringLiteral("abc first")});
        QCOMPARE(again.summary.examined, qint64(1002));
    }

    void entriesOfAMissingDisc() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("o.vlr"));
        testcat::create(path);
        Database db;
        db.open(path);
        // Left over from a disc that is gone: listed without a disc name.
        const qint64 orphan = testcat::addEntry(db, 99, 0, QStringLiteral("lost abc"), false);
        const Run run = search(db, ::options(QStringLiteral("ABC"), true, true, true, false));
        QCOMPARE(run.hits.size(), 1);
        QCOMPARE(run.hits.at(0).discName, QString());
        QCOMPARE(run.hits.at(0).discId, qint64(99));
        QCOMPARE(run.hits.at(0).fileId, orphan);
    }

    void emptyCatalog() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("e.vlr"));
        testcat::create(path);
        Database db;
        db.open(path);
        const Run run = search(db, ::options(QStringLiteral("abc"), true, true, true, false));
        QVERIFY(run.hits.isEmpty());
        QCOMPARE(run.summary.total, qint64(0));
        QCOMPARE(run.summary.examined, qint64(0));
    }

    void trimKeyword_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("blanks and controls")
            << QStringLiteral(" \t\r\n abc def\x01 ") << QStringLiteral("abc def");
        QTest::newRow("inner blanks stay") << QStringLiteral("a  b") << QStringLiteral("a  b");
        QTest::newRow("only blanks") << QStringLiteral(" \t ") << QString();
        // An ideographic space is a character of the keyword.
        QTest::newRow("ideographic space")
            << QStringLiteral("\u3000中\u3000") << QStringLiteral("\u3000中\u3000");
    }

    void trimKeyword() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(vorlane::trimKeyword(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
