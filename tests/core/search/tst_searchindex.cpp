// The in-memory index against the SQLite search on a random catalog: every option and many
// keywords, before and after each kind of write.
#include "common/catalogs.h"
#include "core/search/indexfile.h"
#include "core/search/indexkeeper.h"
#include "core/search/searchindex.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "core/store/searchstore.h"

#include <QTemporaryDir>
#include <QTest>
#include <random>

using namespace vorlane;

namespace {

// Pieces that names, notes and keywords are made of: CJK, mixed-case Latin, digits,
// punctuation, a character outside the BMP.
const QStringList Pieces = {
    QStringLiteral("照"), QStringLiteral("片"), QStringLiteral("资料"), QStringLiteral("a"),
    QStringLiteral("B"),  QStringLiteral("ab"), QStringLiteral("AB"),   QStringLiteral("x"),
    QStringLiteral("."),  QStringLiteral("1"),  QStringLiteral("é"),    QStringLiteral("😀"),
    QStringLiteral("Zy"), QStringLiteral(" "),  QStringLiteral("-"),    QStringLiteral("日本"),
};

QString randomText(std::mt19937& rng, int maxPieces) {
    std::uniform_int_distribution<int> count(1, maxPieces);
    std::uniform_int_distribution<int> pick(0, int(Pieces.size()) - 1);
    QString s;
    for (int i = count(rng); i > 0; --i)
        s += Pieces[pick(rng)];
    return s;
}

struct Hit {
    qint64 number, discId, folderId, fileId;
    QString discName, name;
    bool operator==(const Hit&) const = default;
};

struct Outcome {
    QList<Hit> hits;
    qint64 total = 0;
    qint64 examined = 0;
};

Outcome collect(const std::function<SearchSummary(const SearchCallbacks&)>& run) {
    Outcome out;
    SearchCallbacks cb;
    cb.onHit = [&](const SearchHit& h) {
        out.hits.append({h.number, h.discId, h.folderId, h.fileId, h.discName, h.name});
    };
    const SearchSummary s = run(cb);
    out.total = s.total;
    out.examined = s.examined;
    if (s.hits != out.hits.size())
        out.total = -1; // the summary must count what was reported
    return out;
}

// Built, written to disk and mapped back: what is searched below is what a new process reads.
std::shared_ptr<const SearchIndex> buildIndex(Database& db, const QString& file) {
    static QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const searchstore::Stamp stamp = searchstore::stamp(db);
    Database reader;
    reader.open(file, Database::Mode::ReadOnly);
    const auto built = SearchIndex::build(reader, stamp);
    if (!built || !built->changeTag() || !IndexFile::save(*built, file))
        return nullptr;
    return IndexFile::load(file, *built->changeTag(), stamp);
}

} // namespace

class TestSearchIndex : public QObject {
    Q_OBJECT

private slots:
    void agreesWithSqliteAfterEveryKindOfWrite();
    void locationNamesCategoriesDiscAndFolders();
    void mediaFiltersFollowJobsOwnWritesAndDeletions();
};

void TestSearchIndex::agreesWithSqliteAfterEveryKindOfWrite() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<qint64> discs;
    std::vector<qint64> entries;
    std::vector<qint64> folders;
    const qint64 cat = testcat::addCategory(db, QStringLiteral("类"));
    db.begin();
    for (int d = 0; d < 6; ++d) {
        discs.push_back(testcat::addDisc(db, cat, randomText(rng, 3), 6 - d, {},
                                         percent(rng) < 50 ? randomText(rng, 4) : QString()));
        std::vector<qint64> discFolders{0};
        for (int i = 0; i < 400; ++i) {
            const bool isDir = percent(rng) < 25;
            const qint64 father = discFolders[size_t(rng()) % discFolders.size()];
            const QString note = percent(rng) < 10 ? randomText(rng, 5) : QString();
            const qint64 id = testcat::addEntry(db, discs.back(), father, randomText(rng, 4), isDir,
                                                percent(rng), {}, note);
            entries.push_back(id);
            if (isDir)
                discFolders.push_back(id);
        }
        folders.insert(folders.end(), discFolders.begin() + 1, discFolders.end());
    }
    // Rows the search reads but never lists: a kind it does not know, a null name, a note
    // only, an entry whose disc is gone.
    db.exec(QStringLiteral("insert into qCDFiles (CdID, FatherId, TreeName, IsDir) "
                           "values (?, 0, 'ab 照片', 2)"),
            {discs[0]});
    db.exec(QStringLiteral("insert into qCDFiles (CdID, FatherId, TreeName, TreeExp, IsDir) "
                           "values (?, 0, null, 'AB 资料', 0)"),
            {discs[1]});
    db.exec(QStringLiteral("insert into qCDFiles (CdID, FatherId, TreeName, IsDir) "
                           "values (999, 0, 'ab lost', 0)"));
    db.commit();

    QStringList keywords;
    for (const QString& p : Pieces)
        keywords << p.trimmed();
    for (int i = 0; i < 30; ++i)
        keywords << randomText(rng, 2).trimmed();
    keywords << QStringLiteral("照片") << QStringLiteral("abab") << QStringLiteral("aB.1")
             << QStringLiteral("nothing here");
    keywords.removeAll(QString());
    std::vector<std::pair<QString, KeywordMode>> queries;
    for (const QString& k : std::as_const(keywords))
        queries.emplace_back(k, KeywordMode::Substring);
    // Wildcard patterns for the whole name or note, and regular expressions.
    for (const char* glob : {"*", "a*", "?照*", "*.1", "*b?", "**x*", "??"}) {
        queries.emplace_back(QString::fromUtf8(glob), KeywordMode::Glob);
        queries.emplace_back(QString::fromUtf8(glob), KeywordMode::Substring);
    }
    for (const char* regex : {"^ab", "照|😀", "a.B$", "[0-9]\\.", "(?i)zY"})
        queries.emplace_back(QString::fromUtf8(regex), KeywordMode::Regex);

    // Renames, notes, deletes and additions through the searching connection, many at once.
    const auto randomEdits = [&] {
        db.begin();
        for (int i = 0; i < 60; ++i) {
            const qint64 id = entries[size_t(rng()) % entries.size()];
            switch (percent(rng) % 4) {
            case 0:
                db.exec(QStringLiteral("update qCDFiles set TreeName=? where AutoId=?"),
                        {randomText(rng, 4), id});
                break;
            case 1:
                db.exec(QStringLiteral("update qCDFiles set TreeExp=? where AutoId=?"),
                        {percent(rng) < 30 ? QVariant() : QVariant(randomText(rng, 5)), id});
                break;
            case 2:
                db.exec(QStringLiteral("delete from qCDFiles where AutoId=?"), {id});
                break;
            default:
                entries.push_back(testcat::addEntry(db, discs[size_t(rng()) % discs.size()], 0,
                                                    randomText(rng, 4), percent(rng) < 30,
                                                    percent(rng), {}, randomText(rng, 3)));
            }
        }
        db.commit();
    };

    // Each write changes what the SQLite search sees; the old index must say so, and a new
    // one must find the same again. The keeper follows the searching connection's own
    // writes by patches, without a build, and finds the same too.
    const std::vector<std::pair<const char*, std::function<void()>>> writes = {
        {"before any write", [] {}},
        {"rename",
         [&] {
             db.exec(QStringLiteral("update qCDFiles set TreeName='新ab照' where AutoId=?"),
                     {entries[10]});
         }},
        {"note",
         [&] {
             db.exec(QStringLiteral("update qCDFiles set TreeExp='Zy 片' where AutoId=?"),
                     {entries[20]});
         }},
        {"delete",
         [&] {
             db.exec(QStringLiteral("delete from qCDFiles where FatherId=? or AutoId=?"),
                     {folders[3], folders[3]});
         }},
        {"disc note and order",
         [&] {
             db.exec(QStringLiteral("update qCD set CDExp='ab', OrderId=0 where AutoId=?"),
                     {discs[5]});
         }},
        {"random edits", randomEdits},
        {"another program's import",
         [&] {
             Database other;
             other.open(file);
             testcat::addEntry(other, discs[2], 0, QStringLiteral("ABx照片"), false, 1);
         }},
        {"random edits after a build", randomEdits},
    };
    IndexKeeper keeper(db);
    keeper.refresh();
    QTRY_VERIFY_WITH_TIMEOUT(!keeper.isBuilding(), 20000);
    QVERIFY(keeper.current());
    std::shared_ptr<const SearchIndex> index;
    for (const auto& [what, write] : writes) {
        write();
        const int builds = keeper.buildCount();
        keeper.refresh();
        if (QByteArray(what) == "another program's import") {
            QVERIFY(!keeper.current());
            QTRY_VERIFY_WITH_TIMEOUT(!keeper.isBuilding(), 20000);
            QCOMPARE(keeper.buildCount(), builds + 1);
        } else {
            QVERIFY2(keeper.buildCount() == builds, what);
        }
        const std::shared_ptr<const SearchIndex> patched = keeper.current();
        QVERIFY2(patched && patched->isCurrent(db), what);
        const auto stale = std::exchange(index, nullptr);
        if (stale)
            QVERIFY2(!stale->isCurrent(db), what);
        index = buildIndex(db, file);
        QVERIFY(index);
        QVERIFY2(index->isCurrent(db), what);
        for (const auto& [keyword, mode] : queries) {
            for (int bits = 0; bits < 16; ++bits) {
                SearchOptions o;
                o.keyword = keyword;
                o.mode = mode;
                o.notes = bits & 1;
                o.folders = bits & 2;
                o.files = bits & 4;
                o.caseSensitive = bits & 8;
                const Outcome viaSql =
                    collect([&](const SearchCallbacks& cb) { return runSearch(db, o, cb); });
                const Outcome viaIndex = collect(
                    [&](const SearchCallbacks& cb) { return runSearch(db, index.get(), o, cb); });
                const Outcome viaPatch = collect(
                    [&](const SearchCallbacks& cb) { return runSearch(db, patched.get(), o, cb); });
                const QByteArray where = QStringLiteral("%1, keyword [%2], mode %3, options %4")
                                             .arg(QLatin1String(what), keyword)
                                             .arg(int(mode))
                                             .arg(bits)
                                             .toUtf8();
                QVERIFY2(viaIndex.hits == viaSql.hits, where.constData());
                QVERIFY2(viaIndex.total == viaSql.total && viaIndex.examined == viaSql.examined,
                         where.constData());
                QVERIFY2(viaPatch.hits == viaSql.hits, where.constData());
                QVERIFY2(viaPatch.total == viaSql.total && viaPatch.examined == viaSql.examined,
                         where.constData());
            }
        }
    }

    // The extra conditions narrow both searches alike; discs drop out under any of them.
    const std::vector<std::pair<const char*, std::function<void(SearchOptions&)>>> filters = {
        {"min size", [](SearchOptions& o) { o.minSize = 50; }},
        {"size range",
         [](SearchOptions& o) {
             o.minSize = 10;
             o.maxSize = 20;
         }},
        {"after", [](SearchOptions& o) { o.after = 1'600'050'000; }},
        {"date range",
         [](SearchOptions& o) {
             o.after = 1'600'010'000;
             o.before = 1'600'030'000;
         }},
        {"extensions",
         [](SearchOptions& o) {
             o.extensions = {QStringLiteral(".ab"), "x"};
         }},
        {"all",
         [](SearchOptions& o) {
             o.maxSize = 60;
             o.before = 1'600'090'000;
             o.extensions = {QStringLiteral(".1"), QStringLiteral(".B")};
         }},
    };
    qint64 narrowed = 0;
    for (const auto& [what, apply] : filters) {
        for (const QString& keyword : std::as_const(keywords)) {
            for (const bool cs : {false, true}) {
                SearchOptions o;
                o.keyword = keyword;
                o.caseSensitive = cs;
                apply(o);
                const Outcome viaSql =
                    collect([&](const SearchCallbacks& cb) { return runSearch(db, o, cb); });
                const Outcome viaIndex = collect(
                    [&](const SearchCallbacks& cb) { return runSearch(db, index.get(), o, cb); });
                const QByteArray where =
                    QStringLiteral("%1, keyword [%2]").arg(QLatin1String(what), keyword).toUtf8();
                QVERIFY2(viaIndex.hits == viaSql.hits, where.constData());
                for (const Hit& h : viaSql.hits)
                    QVERIFY2(h.folderId != 0 || h.fileId != 0, where.constData());
                narrowed += viaSql.hits.size();
            }
        }
    }
    QVERIFY(narrowed > 0);
    // The index holds names and a few ids per entry, not a string object per entry.
    QVERIFY(index->memoryBytes() < size_t(index->entryCount()) * (50 + 40));

    // Past a size the overlay gives way to a build in the background; the patched index
    // serves until it is ready, and what was written meanwhile is laid over the new one.
    db.begin();
    for (int i = 0; i < 5000; ++i)
        testcat::addEntry(db, discs[0], 0, QStringLiteral("批量 %1").arg(i), false, i);
    db.commit();
    const int builds = keeper.buildCount();
    keeper.refresh();
    QCOMPARE(keeper.buildCount(), builds + 1);
    const std::shared_ptr<const SearchIndex> large = keeper.current();
    QVERIFY(large && large->patchedRows() >= 5000);
    randomEdits();
    QTRY_VERIFY_WITH_TIMEOUT(!keeper.isBuilding(), 20000);
    const std::shared_ptr<const SearchIndex> rebuilt = keeper.current();
    QVERIFY(rebuilt && rebuilt->isCurrent(db) && rebuilt->patchedRows() < 5000);
    for (const QString& keyword : {QStringLiteral("批量 4999"), QStringLiteral("ab")}) {
        SearchOptions o;
        o.keyword = keyword;
        const Outcome viaSql =
            collect([&](const SearchCallbacks& cb) { return runSearch(db, o, cb); });
        const Outcome viaIndex =
            collect([&](const SearchCallbacks& cb) { return runSearch(db, rebuilt.get(), o, cb); });
        QVERIFY(!viaSql.hits.isEmpty());
        QVERIFY(viaIndex.hits == viaSql.hits);
    }
}

void TestSearchIndex::locationNamesCategoriesDiscAndFolders() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 top = testcat::addCategory(db, QStringLiteral("电影"));
    const qint64 sub = testcat::addCategory(db, QStringLiteral("欧洲"), top);
    const qint64 disc = testcat::addDisc(db, sub, QStringLiteral("光盘 1"));
    qint64 father = 0;
    for (const char* name : {"A", "B", "C", "D", "E"})
        father = testcat::addEntry(db, disc, father, QString::fromLatin1(name), true);
    testcat::addEntry(db, disc, father, QStringLiteral("deep.mkv"), false, 1);
    const auto index = buildIndex(db, file);
    std::vector<IndexHit> hits;
    SearchOptions o;
    o.keyword = QStringLiteral("deep");
    index->search(o, hits);
    QCOMPARE(hits.size(), size_t(1));
    QCOMPARE(index->location(hits[0]), QStringLiteral("电影 ▸ 欧洲 ▸ 光盘 1 ▸ A ▸ B ▸ C ▸ D ▸ E"));
    hits.clear();
    o.keyword = QStringLiteral("光盘");
    index->search(o, hits);
    QCOMPARE(hits.size(), size_t(1));
    QCOMPARE(index->location(hits[0]), QStringLiteral("电影 ▸ 欧洲"));
}

void TestSearchIndex::mediaFiltersFollowJobsOwnWritesAndDeletions() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("m.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 cat = testcat::addCategory(db, QStringLiteral("音乐"));
    const qint64 discA = testcat::addDisc(db, cat, QStringLiteral("A"));
    const qint64 discB = testcat::addDisc(db, cat, QStringLiteral("B"));
    std::vector<qint64> a, b;
    for (int i = 0; i < 30; ++i) {
        a.push_back(testcat::addEntry(db, discA, 0, QStringLiteral("a%1.mp3").arg(i), false, i));
        b.push_back(testcat::addEntry(db, discB, 0, QStringLiteral("b%1.mp3").arg(i), false, i));
    }
    // What the facts say, kept here as the reference for "artist:zephyr kind:audio".
    std::map<qint64, MediaFacts> facts;
    auto track = [](const QString& artist) {
        MediaFacts f;
        f.kind = MediaKind::Audio;
        f.artist = artist;
        f.durationMs = 200000;
        return f;
    };
    auto store = [&](Database& on, qint64 id, const MediaFacts& f) {
        mediastore::MediaWriter(on).storeFacts(id, f);
        if (f.isEmpty())
            facts.erase(id);
        else
            facts[id] = f;
    };
    for (int i = 0; i < 30; i += 3)
        store(db, a[size_t(i)], track(i % 2 ? QStringLiteral("ZEPHYR") : QStringLiteral("Other")));

    const auto query = SearchQuery::parse(QStringLiteral("artist:zephyr kind:audio"));
    auto found = [&](const SearchIndex& index) {
        std::vector<IndexHit> hits;
        index.query(std::get<SearchQuery>(query), hits);
        std::vector<qint64> ids;
        for (const IndexHit& h : hits)
            ids.push_back(index.hit(h).fileId);
        return ids;
    };
    auto expected = [&] {
        std::vector<qint64> ids;
        for (const auto& [id, f] : facts) {
            if (f.kind == MediaKind::Audio && f.artist.toCaseFolded().contains(u"zephyr"))
                ids.push_back(id);
        }
        return ids;
    };

    IndexKeeper keeper(db);
    keeper.refresh();
    QTRY_VERIFY_WITH_TIMEOUT(!keeper.isBuilding(), 20000);
    QVERIFY(keeper.current());
    QCOMPARE(found(*keeper.current()), expected());
    const int builds = keeper.buildCount();

    // Each write is followed by a patch, never a build; the patched index, and one built
    // and kept on disk, find what the facts say.
    const std::vector<std::pair<const char*, std::function<void()>>> writes = {
        {"an import's facts, through its report",
         [&] {
             Database job;
             job.open(file);
             searchstore::WriteWatch watch(job);
             for (int i = 0; i < 30; i += 2)
                 store(job, b[size_t(i)], track(QStringLiteral("Zephyr Band")));
             store(job, testcat::addEntry(job, discB, 0, QStringLiteral("new.ogg"), false, 1),
                   track(QStringLiteral("zephyr")));
             keeper.jobWrote(watch.finish({discB}));
         }},
        {"facts alone, through the window's connection",
         [&] {
             store(db, a[1], track(QStringLiteral("zephyr")));
             store(db, a[3], MediaFacts());
             store(db, b[0], track(QStringLiteral("nobody")));
             keeper.refresh();
         }},
        {"deletions",
         [&] {
             for (const qint64 id : {a[1], b[2]}) {
                 db.exec(QStringLiteral("delete from qCDFiles where AutoId=?"), {id});
                 facts.erase(id);
             }
             keeper.refresh();
         }},
    };
    for (const auto& [what, write] : writes) {
        write();
        QVERIFY2(keeper.buildCount() == builds, what);
        const std::shared_ptr<const SearchIndex> patched = keeper.current();
        QVERIFY2(patched && patched->isCurrent(db), what);
        QVERIFY2(found(*patched) == expected(), what);
        const auto kept = buildIndex(db, file);
        QVERIFY2(kept && found(*kept) == expected(), what);
    }
    QVERIFY(expected().size() > 10);
}

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
