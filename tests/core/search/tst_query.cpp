// The query language against a reference written here (querycatalog.h), one row per operator and
// filter, over a random catalog read straight from its tables; the errors of queries that cannot be
// parsed and where they are placed; and the orders of hits, from the index and from SQLite.
#include "core/search/query.h"
#include "core/search/searchindex.h"
#include "core/store/searchstore.h"
#include "querycatalog.h"

#include <QRegularExpression>
#include <QTest>

using namespace vorlane;

namespace {

using namespace querytest;

QStringList described(const SearchIndex& index, const std::vector<IndexHit>& hits) {
    QStringList out;
    for (const IndexHit& h : hits) {
        const SearchHit s = index.hit(h);
        out << (s.kind() == SearchHit::Kind::Disc     ? QStringLiteral("disc %1").arg(s.discId)
                : s.kind() == SearchHit::Kind::Folder ? QStringLiteral("folder %1").arg(s.folderId)
                                                      : QStringLiteral("file %1").arg(s.fileId));
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Predicate)
Q_DECLARE_METATYPE(vorlane::QueryErrorCode)
Q_DECLARE_METATYPE(vorlane::HitOrder)

class TestQuery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void eachOperatorAndFilterFindsWhatTheReferenceFinds_data();
    void eachOperatorAndFilterFindsWhatTheReferenceFinds();
    void badQueriesSayWhereTheyFail_data();
    void badQueriesSayWhereTheyFail();
    void hitsSortLikeTheReference_data();
    void hitsSortLikeTheReference();

private:
    std::unique_ptr<Catalog> cat;
    std::shared_ptr<const SearchIndex> index;
};

void TestQuery::initTestCase() {
    // Local time far from UTC, so that a date read in UTC is caught.
    qputenv("TZ", "Pacific/Kiritimati");
    cat = std::make_unique<Catalog>();
    Database reader;
    reader.open(cat->file, Database::Mode::ReadOnly);
    index = SearchIndex::build(reader, searchstore::stamp(reader));
    QVERIFY(index);
}

void TestQuery::eachOperatorAndFilterFindsWhatTheReferenceFinds_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<Predicate>("holds");

    const qint64 K = 1024, M = K * K;
    QTest::newRow("word, folded") << "PHOTO"
                                  << Predicate([](const Row& r) { return word(r, "photo"); });
    QTest::newRow("words: all must match")
        << "photo my" << Predicate([](const Row& r) { return word(r, "photo") && word(r, "my"); });
    QTest::newRow("phrase keeps its blank")
        << "\"my photo\"" << Predicate([](const Row& r) { return word(r, "my photo"); });
    QTest::newRow("phrase with a bar")
        << "\"x|y\"" << Predicate([](const Row& r) { return word(r, "x|y"); });
    QTest::newRow("or") << "report|照片" << Predicate([](const Row& r) {
        return word(r, "report") || word(r, "照片");
    });
    QTest::newRow("or binds tighter than the blank")
        << "report | 照片 img_" << Predicate([](const Row& r) {
               return (word(r, "report") || word(r, "照片")) && word(r, "img_");
           });
    QTest::newRow("not") << "img_ !photo" << Predicate([](const Row& r) {
        return word(r, "img_") && !word(r, "photo");
    });
    QTest::newRow("not alone walks everything")
        << "!a" << Predicate([](const Row& r) { return !word(r, "a"); });
    QTest::newRow("bang inside a word is plain")
        << "w!" << Predicate([](const Row& r) { return word(r, "w!"); });
    QTest::newRow("unknown filter is a word")
        << "todo:" << Predicate([](const Row& r) { return word(r, "todo:"); });
    QTest::newRow("ext") << "ext:jpg,.png" << Predicate([](const Row& r) {
        return ext(r, {"jpg", "png"});
    });
    QTest::newRow("ext is after the last dot")
        << "ext:gz" << Predicate([](const Row& r) { return ext(r, {"gz"}); });
    QTest::newRow("size greater") << "size:>10K" << Predicate([=](const Row& r) {
        return sizeIn(r, 10 * K + 1, LLONG_MAX);
    });
    QTest::newRow("size at most") << "size:<=1K"
                                  << Predicate([=](const Row& r) { return sizeIn(r, 0, K); });
    QTest::newRow("size less") << "size:<1k"
                               << Predicate([=](const Row& r) { return sizeIn(r, 0, K - 1); });
    QTest::newRow("size range, inclusive")
        << "size:2K..1M" << Predicate([=](const Row& r) { return sizeIn(r, 2 * K, M); });
    QTest::newRow("size exact") << "size:10K" << Predicate([=](const Row& r) {
        return sizeIn(r, 10 * K, 10 * K);
    });
    QTest::newRow("size fraction")
        << "size:>=0.5M" << Predicate([=](const Row& r) { return sizeIn(r, M / 2, LLONG_MAX); });
    QTest::newRow("date year") << "date:2024"
                               << Predicate([](const Row& r) { return dateIs(r, "2024"); });
    QTest::newRow("date month") << "date:2024-06"
                                << Predicate([](const Row& r) { return dateIs(r, "2024-06"); });
    QTest::newRow("date day") << "date:2023-3-07"
                              << Predicate([](const Row& r) { return dateIs(r, "2023-03-07"); });
    QTest::newRow("date after a day")
        << "date:>2025-06-01"
        << Predicate([](const Row& r) { return dateCmp(r, "2025-06-01", 1); });
    QTest::newRow("date before a month")
        << "date:<2022-03" << Predicate([](const Row& r) { return dateCmp(r, "2022-03", -1); });
    QTest::newRow("date range of months") << "date:2024-01..2024-03" << Predicate([](const Row& r) {
        return !r.isDisc && r.time && dateOf(r, 7) >= "2024-01" && dateOf(r, 7) <= "2024-03";
    });
    QTest::newRow("disc") << "disc:TWO"
                          << Predicate([](const Row& r) { return has(r.discName, "two"); });
    QTest::newRow("path, from the disc's top")
        << "path:/photo"
        << Predicate([](const Row& r) { return !r.isDisc && has(r.path, "/photo"); });
    QTest::newRow("path quoted") << "path:\"MY folder/\"" << Predicate([](const Row& r) {
        return !r.isDisc && has(r.path, "my folder/");
    });
    QTest::newRow("note") << "note:todo"
                          << Predicate([](const Row& r) { return has(r.note, "todo"); });
    QTest::newRow("type folder") << "type:folder"
                                 << Predicate([](const Row& r) { return !r.isDisc && r.isDir; });
    QTest::newRow("type file") << "type:FILE"
                               << Predicate([](const Row& r) { return !r.isDisc && !r.isDir; });
    QTest::newRow("type archive or member")
        << "type:archive|member"
        << Predicate([](const Row& r) { return !r.isDisc && r.archive != 0; });
    QTest::newRow("type member, not a folder")
        << "type:member !type:folder"
        << Predicate([](const Row& r) { return !r.isDisc && r.archive == 2 && !r.isDir; });
    QTest::newRow("regex in the name") << "regex:^IMG_\\d|\\.png$" << Predicate([](const Row& r) {
        static const QRegularExpression re("^IMG_\\d|\\.png$",
                                           QRegularExpression::CaseInsensitiveOption);
        return re.match(r.name).hasMatch();
    });
    QTest::newRow("case applies after it")
        << "photo case:Photo"
        << Predicate([](const Row& r) { return word(r, "photo") && word(r, "Photo", true); });
    QTest::newRow("case regex") << "case: regex:^Ab"
                                << Predicate([](const Row& r) { return r.name.startsWith("Ab"); });
    QTest::newRow("a word, a size, not an extension")
        << "photo 2024 a size:>1K !ext:txt" << Predicate([=](const Row& r) {
               return word(r, "photo") && word(r, "2024") && word(r, "a") &&
                      sizeIn(r, K + 1, LLONG_MAX) && !ext(r, {"txt"});
           });
    QTest::newRow("not a size keeps discs out")
        << "photo !size:0"
        << Predicate([](const Row& r) { return word(r, "photo") && sizeIn(r, 1, LLONG_MAX); });
    QTest::newRow("either note or regex") << "note:my|regex:^b" << Predicate([](const Row& r) {
        return has(r.note, "my") || r.name.startsWith("b", Qt::CaseInsensitive);
    });

    using F = MediaFacts;
    QTest::newRow("kind") << "kind:image"
                          << Predicate([](const Row& r) { return kindIs(r, MediaKind::Image); });
    QTest::newRow("kinds") << "KIND:Audio|video" << Predicate([](const Row& r) {
        return kindIs(r, MediaKind::Audio) || kindIs(r, MediaKind::Video);
    });
    QTest::newRow("artist, folded")
        << "artist:beatles"
        << Predicate([](const Row& r) { return mediaHas(r, &F::artist, "beatles"); });
    QTest::newRow("artist, folded beyond ASCII")
        << "artist:ólafur"
        << Predicate([](const Row& r) { return mediaHas(r, &F::artist, "ólafur"); });
    QTest::newRow("artist, exact")
        << "case: artist:Beatles"
        << Predicate([](const Row& r) { return mediaHas(r, &F::artist, "Beatles", true); });
    QTest::newRow("not an artist holds without facts")
        << "!artist:beat"
        << Predicate([](const Row& r) { return !r.isDisc && !mediaHas(r, &F::artist, "beat"); });
    QTest::newRow("title quoted") << "title:\"HEY jude\"" << Predicate([](const Row& r) {
        return mediaHas(r, &F::title, "hey jude");
    });
    QTest::newRow("album") << "album:help!" << Predicate([](const Row& r) {
        return mediaHas(r, &F::album, "help!");
    });
    QTest::newRow("camera, make or model")
        << "camera:canon" << Predicate([](const Row& r) { return cameraHas(r, "canon"); });
    QTest::newRow("camera, make and model")
        << "camera:\"corporation nikon\""
        << Predicate([](const Row& r) { return cameraHas(r, "corporation nikon"); });
    QTest::newRow("camera, model")
        << "camera:IPHONE" << Predicate([](const Row& r) { return cameraHas(r, "iphone"); });
    QTest::newRow("taken year, in UTC")
        << "taken:2019" << Predicate([](const Row& r) { return takenOn(r, 4) == "2019"; });
    QTest::newRow("taken month") << "taken:2020-01" << Predicate([](const Row& r) {
        return takenOn(r, 7) == "2020-01";
    });
    QTest::newRow("taken after a day") << "taken:>2019-12-31" << Predicate([](const Row& r) {
        return !takenOn(r, 10).isEmpty() && takenOn(r, 10) > "2019-12-31";
    });
    QTest::newRow("taken range of days")
        << "taken:2019-12-31..2020-01-01" << Predicate([](const Row& r) {
               return takenOn(r, 10) == "2019-12-31" || takenOn(r, 10) == "2020-01-01";
           });
    QTest::newRow("duration longer")
        << "duration:>1h"
        << Predicate([](const Row& r) { return mediaIn(r, &F::durationMs, 3600001, LLONG_MAX); });
    QTest::newRow("duration shorter")
        << "duration:<3m"
        << Predicate([](const Row& r) { return mediaIn(r, &F::durationMs, LLONG_MIN, 179999); });
    QTest::newRow("duration range, inclusive")
        << "duration:1m..180s"
        << Predicate([](const Row& r) { return mediaIn(r, &F::durationMs, 60000, 180000); });
    QTest::newRow("duration exact, mixed units")
        << "duration:1h30m"
        << Predicate([](const Row& r) { return mediaIn(r, &F::durationMs, 5400000, 5400000); });
    QTest::newRow("duration at most, fraction")
        << "duration:<=0.05h"
        << Predicate([](const Row& r) { return mediaIn(r, &F::durationMs, LLONG_MIN, 180000); });
    QTest::newRow("width greater")
        << "width:>3000"
        << Predicate([](const Row& r) { return mediaIn(r, &F::width, 3001, LLONG_MAX); });
    QTest::newRow("width range") << "width:1920..3000" << Predicate([](const Row& r) {
        return mediaIn(r, &F::width, 1920, 3000);
    });
    QTest::newRow("photos from a camera in a year")
        << "kind:image camera:canon taken:2019" << Predicate([](const Row& r) {
               return kindIs(r, MediaKind::Image) && cameraHas(r, "canon") &&
                      takenOn(r, 4) == "2019";
           });
    QTest::newRow("long tracks of an artist")
        << "artist:beatles duration:>3m" << Predicate([](const Row& r) {
               return mediaHas(r, &F::artist, "beatles") &&
                      mediaIn(r, &F::durationMs, 180001, LLONG_MAX);
           });
    QTest::newRow("a word or an artist") << "photo|artist:björk" << Predicate([](const Row& r) {
        return (!r.isDisc && word(r, "photo")) || mediaHas(r, &F::artist, "björk");
    });
}

void TestQuery::eachOperatorAndFilterFindsWhatTheReferenceFinds() {
    QFETCH(QString, query);
    QFETCH(Predicate, holds);
    const QStringList expected = cat->expected(holds);
    // Never vacuous: some rows hold and some do not.
    QVERIFY2(!expected.isEmpty(), "nothing holds");
    QVERIFY2(expected.size() < qsizetype(cat->rows.size()), "everything holds");
    auto parsed = SearchQuery::parse(query);
    if (const QueryError* e = std::get_if<QueryError>(&parsed))
        QFAIL(qPrintable(e->message));
    std::vector<IndexHit> hits;
    const SearchSummary summary = index->query(std::get<SearchQuery>(parsed), hits);
    QCOMPARE(described(*index, hits), expected);
    QCOMPARE(summary.hits, qint64(expected.size()));
}

void TestQuery::badQueriesSayWhereTheyFail_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QueryErrorCode>("code");
    QTest::addColumn<int>("offset");
    using C = QueryErrorCode;
    QTest::newRow("unclosed quote") << "a \"b c" << C::UnclosedQuote << 2;
    QTest::newRow("unclosed quote in a value") << "path:\"x" << C::UnclosedQuote << 5;
    QTest::newRow("empty filter") << "a ext: b" << C::EmptyValue << 6;
    QTest::newRow("empty quotes") << "a \"\"" << C::EmptyValue << 2;
    QTest::newRow("bad size") << "size:>10Q" << C::BadSize << 5;
    QTest::newRow("fraction of a byte") << "size:1.5" << C::BadSize << 5;
    QTest::newRow("bad date") << "x date:2024-13" << C::BadDate << 7;
    QTest::newRow("bad day in a range") << "date:2024-02-30..2024-03" << C::BadDate << 5;
    QTest::newRow("reversed size range") << "size:5M..1M" << C::ReversedRange << 5;
    QTest::newRow("reversed date range") << "date:2024-03..2024-01" << C::ReversedRange << 5;
    QTest::newRow("bad type") << "type:folder,disk" << C::BadType << 12;
    QTest::newRow("regex error at the end") << "x regex:a(b" << C::BadRegex << 11;
    QTest::newRow("regex error inside quotes") << "regex:\"a)b\" y" << C::BadRegex << 8;
    QTest::newRow("bar at the start") << "|a" << C::DanglingOr << 0;
    QTest::newRow("bar at the end") << "a b |" << C::DanglingOr << 4;
    QTest::newRow("two bars") << "a||b" << C::DanglingOr << 1;
    QTest::newRow("lone bang") << "a ! b" << C::LoneNot << 2;
    QTest::newRow("bang before a bar") << "!|a" << C::LoneNot << 0;
    QTest::newRow("case negated") << "a !case:" << C::MisplacedCase << 3;
    QTest::newRow("case beside a bar") << "a|case:" << C::MisplacedCase << 2;
    QTest::newRow("bad media kind") << "kind:image|film" << C::BadKind << 11;
    QTest::newRow("empty artist") << "a artist: b" << C::EmptyValue << 9;
    QTest::newRow("duration without a unit") << "x duration:90" << C::BadDuration << 11;
    QTest::newRow("bad duration unit") << "duration:>3d" << C::BadDuration << 9;
    QTest::newRow("reversed duration range") << "duration:5m..1m" << C::ReversedRange << 9;
    QTest::newRow("width with a unit") << "width:>3k" << C::BadWidth << 6;
    QTest::newRow("bad taken month") << "taken:2019-13" << C::BadDate << 6;
}

void TestQuery::badQueriesSayWhereTheyFail() {
    QFETCH(QString, query);
    QFETCH(QueryErrorCode, code);
    QFETCH(int, offset);
    const auto parsed = SearchQuery::parse(query);
    QVERIFY(std::holds_alternative<QueryError>(parsed));
    const QueryError& e = std::get<QueryError>(parsed);
    QCOMPARE(e.code, code);
    QCOMPARE(e.offset, qsizetype(offset));
    QCOMPARE(e.message, queryErrorText(e, false));
    QVERIFY(!e.message.isEmpty());
    QVERIFY(queryErrorText(e, true) != e.message);
}

void TestQuery::hitsSortLikeTheReference_data() {
    QTest::addColumn<HitOrder>("order");
    QTest::addColumn<bool>("descending");
    for (const auto& [name, order] : {std::pair{"found", HitOrder::Found},
                                      {"name", HitOrder::Name},
                                      {"size", HitOrder::Size},
                                      {"time", HitOrder::Time},
                                      {"path", HitOrder::Path},
                                      {"disc", HitOrder::Disc}}) {
        QTest::addRow("%s", name) << order << false;
        QTest::addRow("%s descending", name) << order << true;
    }
}

void TestQuery::hitsSortLikeTheReference() {
    QFETCH(HitOrder, order);
    QFETCH(bool, descending);
    // Case-insensitive first, then exact; equal hits keep the order they were found in.
    auto text = [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c : QString::compare(a, b);
    };
    auto before = [&](const Row& a, const Row& b) {
        switch (order) {
        case HitOrder::Found:
            return false;
        case HitOrder::Size:
            return a.size < b.size;
        case HitOrder::Time:
            return a.time < b.time;
        case HitOrder::Disc:
            return text(a.discName, b.discName) < 0;
        case HitOrder::Path:
            for (qsizetype i = 0; i < std::min(a.place.size(), b.place.size()); ++i) {
                if (const int c = text(a.place[i], b.place[i]))
                    return c < 0;
            }
            if (a.place.size() != b.place.size())
                return a.place.size() < b.place.size();
            break;
        case HitOrder::Name:
            break;
        }
        return text(a.name, b.name) < 0;
    };
    std::vector<Row> rows;
    for (const Row& r : cat->rows) {
        if (word(r, "a"))
            rows.push_back(r);
    }
    QVERIFY(rows.size() > 50);
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        return descending ? before(b, a) : before(a, b);
    });
    if (order == HitOrder::Found && descending)
        std::reverse(rows.begin(), rows.end());
    QStringList expected;
    for (const Row& r : rows)
        expected << r.describe();

    std::vector<IndexHit> hits;
    index->query(std::get<SearchQuery>(SearchQuery::parse("a")), hits);
    index->sort(hits, order, descending);
    QCOMPARE(described(*index, hits), expected);

    // The hits of SQLite, sorted with their locations from the catalog.
    Database db;
    db.open(cat->file, Database::Mode::ReadOnly);
    SearchOptions o;
    o.keyword = "a";
    std::vector<SearchHit> found;
    SearchCallbacks collect;
    collect.onHit = [&](const SearchHit& h) { found.push_back(h); };
    runSearch(db, o, collect);
    sortHits(found, order, descending, [&](const SearchHit& h) {
        return searchstore::location(db, h.discId, h.fileId ? h.fileId : h.folderId)
            .split(QStringLiteral(" ▸ "), Qt::SkipEmptyParts);
    });
    QStringList viaSql;
    for (const SearchHit& h : found)
        viaSql << (h.kind() == SearchHit::Kind::Disc ? QStringLiteral("disc %1").arg(h.discId)
                   : h.kind() == SearchHit::Kind::Folder
                       ? QStringLiteral("folder %1").arg(h.folderId)
                       : QStringLiteral("file %1").arg(h.fileId));
    QCOMPARE(viaSql, expected);
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
