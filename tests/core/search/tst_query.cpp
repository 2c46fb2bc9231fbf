// The query language against a reference written here, one row per operator and filter,
// over a random catalog read straight from its tables; the errors of queries that cannot be
// parsed and where they are placed; and the orders of hits, from the index and from SQLite.
// Some files carry media facts, planted as a scan stores them.
#include "common/catalogs.h"
#include "core/search/query.h"
#include "core/search/searchindex.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "core/store/searchstore.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <array>
#include <functional>
#include <random>

using namespace vorlane;

namespace {

// A disc, folder or file as the catalog holds it.
struct Row {
    bool isDisc = false;
    qint64 id = 0;
    qint64 discId = 0;
    QString name, note; // a null note when there is none
    qint64 size = 0;
    std::optional<qint64> time;
    bool isDir = false;
    int archive = 0;
    QString path;      // "/folder/name" on its disc
    QString discName;  // the disc's name
    QStringList place; // categories, disc, folders above, outermost first
    std::optional<MediaFacts> media;
    QString describe() const {
        return isDisc ? QStringLiteral("disc %1").arg(id)
                      : QStringLiteral("%1 %2").arg(isDir ? "folder" : "file").arg(id);
    }
};

using Predicate = std::function<bool(const Row&)>;

QString foldAscii(QString s) {
    for (QChar& c : s) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    }
    return s;
}

bool has(const QString& text, const QString& word, bool exact = false) {
    return !text.isNull() &&
           (exact ? text.contains(word) : foldAscii(text).contains(foldAscii(word)));
}
bool word(const Row& r, const QString& w, bool exact = false) {
    return has(r.name, w, exact) || has(r.note, w, exact);
}
bool ext(const Row& r, const QStringList& list) {
    const qsizetype dot = r.name.lastIndexOf(u'.');
    if (r.isDisc || dot < 0)
        return false;
    const QString e = foldAscii(r.name.mid(dot + 1));
    return std::any_of(list.begin(), list.end(),
                       [&](const QString& x) { return foldAscii(x) == e; });
}
bool sizeIn(const Row& r, qint64 low, qint64 high) {
    return !r.isDisc && r.size >= low && r.size <= high;
}
// The local calendar date of the entry's time, compared as text: "2024", "2024-06", ...
QString dateOf(const Row& r, int length) {
    return r.time ? QDateTime::fromSecsSinceEpoch(*r.time).date().toString(Qt::ISODate).left(length)
                  : QString();
}
bool dateIs(const Row& r, const QString& period) {
    return !r.isDisc && r.time && dateOf(r, int(period.size())) == period;
}
bool dateCmp(const Row& r, const QString& period, int sign) { // -1 before, +1 after it
    if (r.isDisc || !r.time)
        return false;
    const QString d = dateOf(r, int(period.size()));
    return sign < 0 ? d < period : d > period;
}
// Media facts: a case-folded (or exact) substring of a text, a number within bounds, the
// UTC calendar date of the taken time.
bool mediaHas(const Row& r, QString MediaFacts::*text, const QString& w, bool exact = false) {
    if (!r.media)
        return false;
    const QString t = (*r.media).*text;
    return exact ? t.contains(w) : t.toCaseFolded().contains(w.toCaseFolded());
}
bool cameraHas(const Row& r, const QString& w) {
    return mediaHas(r, &MediaFacts::make, w) || mediaHas(r, &MediaFacts::model, w) ||
           (r.media && (r.media->make + QLatin1Char(' ') + r.media->model)
                           .toCaseFolded()
                           .contains(w.toCaseFolded()));
}
template <class T>
bool mediaIn(const Row& r, std::optional<T> MediaFacts::*n, qint64 low, qint64 high) {
    return r.media && ((*r.media).*n) && *((*r.media).*n) >= low && *((*r.media).*n) <= high;
}
bool kindIs(const Row& r, MediaKind k) {
    return r.media && r.media->kind == k;
}
QString takenOn(const Row& r, int length) {
    if (!r.media || !r.media->taken)
        return QString();
    return QDateTime::fromSecsSinceEpoch(*r.media->taken, QTimeZone::utc())
        .date()
        .toString(Qt::ISODate)
        .left(length);
}

const QStringList Pieces = {"IMG_", "photo", "Photo", "my", " ",   "2024", "report", "照片",
                            "a",    "b",     "_",     "7",  "x|y", "!",    "todo",   "Ab"};
const QStringList Extensions = {"", "", ".jpg", ".PNG", ".txt", ".tar.gz", ".JpG"};
const qint64 Sizes[] = {0, 1, 1023, 1024, 2048, 10240, 10241, 1 << 20, 5 << 20, 3000000, 777};

struct Catalog {
    QTemporaryDir dir;
    QString file;
    std::vector<Row> rows; // discs in tree order, then every entry in id order

    QString randomName(std::mt19937& rng, bool withExt) {
        QString s;
        for (int i = int(rng() % 3) + 1; i > 0; --i)
            s += Pieces[int(rng() % Pieces.size())];
        if (withExt)
            s += Extensions[int(rng() % Extensions.size())];
        return s;
    }

    Catalog() {
        file = dir.filePath(QStringLiteral("q.vlr"));
        testcat::create(file);
        Database db;
        db.open(file);
        std::mt19937 rng(2025);
        const qint64 outer = testcat::addCategory(db, QStringLiteral("Outer"));
        const qint64 inner = testcat::addCategory(db, QStringLiteral("inner"), outer);
        const QStringList discNames = {"Disc One", "disc two", "照片 2024", "Photo archive"};
        const QStringList discNotes = {"todo: burn again", QString(), "my photo notes", "x"};
        db.begin();
        const QDate firstDay(2022, 1, 1);
        for (int d = 0; d < discNames.size(); ++d) {
            const qint64 cat = d % 2 ? inner : outer;
            const qint64 disc = testcat::addDisc(db, cat, discNames[d], 4 - d, {}, discNotes[d]);
            Row dr;
            dr.isDisc = true;
            dr.id = disc;
            dr.name = dr.discName = discNames[d];
            dr.note = discNotes[d];
            dr.place = cat == inner ? QStringList{"Outer", "inner"} : QStringList{"Outer"};
            rows.insert(rows.begin(), dr); // the disc order is the reverse of their making
            std::vector<std::pair<qint64, QString>> folders{{0, QString()}};
            std::vector<std::pair<qint64, QString>> archives;
            for (int i = 0; i < 120; ++i) {
                const int kind = int(rng() % 10); // 0-2 folder, 3 archive, 4 member, else file
                const bool isDir = kind < 3 || (kind == 4 && rng() % 3 == 0);
                auto parent = folders[rng() % folders.size()];
                int archive = 0;
                if (kind == 4 && !archives.empty()) {
                    parent = archives[rng() % archives.size()];
                    archive = 2;
                } else if (kind == 3) {
                    archive = 1;
                }
                const QString name = randomName(rng, !isDir || rng() % 4 == 0);
                const QString note = rng() % 6 == 0 ? randomName(rng, false) : QString();
                const qint64 size = rng() % 5 == 0 ? qint64(rng() % 100000000) : Sizes[rng() % 11];
                const qint64 id =
                    testcat::addEntry(db, disc, parent.first, name, isDir, size, {}, note);
                std::optional<qint64> time;
                if (i % 40 < 2) {
                    // Both sides of a midnight, for the day's bounds.
                    time =
                        QDateTime(QDate(2023, 3, 8), QTime(0, 0)).toSecsSinceEpoch() - 1 + i % 40;
                } else if (rng() % 10 != 0) {
                    // Whole days, their first and last second, and times within them.
                    const QDate day = firstDay.addDays(qint64(rng() % (4 * 365)));
                    const int second = std::array{0, 86399, 43210}[rng() % 3];
                    time = QDateTime(day, QTime(0, 0)).addSecs(second).toSecsSinceEpoch();
                }
                db.exec(QStringLiteral("update qCDFiles set FTime=?, Archive=? where AutoId=?"),
                        {time ? QVariant(*time) : QVariant(),
                         archive ? QVariant(archive) : QVariant(), id});
                const QString path = parent.second + u'/' + name;
                if (isDir)
                    folders.emplace_back(id, path);
                if (archive == 1 || (archive == 2 && isDir))
                    archives.emplace_back(id, path);
            }
        }
        // A few names the random ones are unlikely to make.
        const qint64 first = rows.back().id;
        const qint64 folder = testcat::addEntry(db, first, 0, QStringLiteral("my folder"), true);
        for (const QString& name : {QStringLiteral("my photo.jpg"),
                                    QStringLiteral("x|y report.PNG"), QStringLiteral("wow!.txt")})
            testcat::addEntry(db, first, folder, name, false, 2048);
        db.commit();

        // Facts on some files, from small pools so that every filter finds some; taken times
        // on both sides of a year's end in UTC, which local time (far east of UTC) moves.
        std::unordered_map<qint64, MediaFacts> facts;
        {
            const QStringList artists = {
                "The Beatles", "BEATLES tribute", "Björk", "ÓLAFUR Arnalds", "", "beat"};
            const QStringList titles = {"Yesterday", "Hey Jude", "Jóga", ""};
            const QStringList albums = {"Help!", "Homogenic", ""};
            const std::pair<QString, QString> cameras[] = {{"Canon", "Canon EOS 5D"},
                                                           {"NIKON CORPORATION", "NIKON D750"},
                                                           {"", "iPhone 12"},
                                                           {"Canon", ""},
                                                           {"", ""}};
            const int widths[] = {640, 1920, 3000, 3001, 4000, 0};
            const qint64 durations[] = {59999, 60000, 180000, 180001, 3600000, 5400000, -1};
            const qint64 utcYearEnd =
                QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
            const qint64 takens[] = {utcYearEnd - 1800, utcYearEnd - 1,           utcYearEnd,
                                     utcYearEnd + 1800, utcYearEnd - 200 * 86400, -1};
            mediastore::MediaWriter writer(db);
            db.begin();
            Query files(db, QStringLiteral("select AutoId from qCDFiles where IsDir=0"));
            while (files.next()) {
                if (rng() % 2)
                    continue;
                MediaFacts f;
                f.kind = MediaKind(int(rng() % 3) + 1);
                if (f.kind != MediaKind::Audio) {
                    if (const int w = widths[rng() % 6])
                        f.width = w;
                }
                if (f.kind == MediaKind::Image) {
                    if (const qint64 t = takens[rng() % 6]; t >= 0)
                        f.taken = t;
                    std::tie(f.make, f.model) = cameras[rng() % 5];
                } else {
                    if (const qint64 d = durations[rng() % 7]; d >= 0)
                        f.durationMs = d;
                    f.title = titles[int(rng() % titles.size())];
                    f.artist = artists[int(rng() % artists.size())];
                    f.album = albums[int(rng() % albums.size())];
                }
                writer.storeFacts(files.integer(0), f);
                facts.emplace(files.integer(0), f);
            }
            db.commit();
        }

        // Everything the reference needs, read back from the tables.
        QHash<qint64, Row> byId;
        Query q(db, QStringLiteral("select AutoId, CdID, FatherId, IsDir, TreeName, TreeExp, "
                                   "FSize, FTime, Archive from qCDFiles order by AutoId"));
        std::vector<qint64> order, fathers;
        while (q.next()) {
            Row r;
            r.id = q.integer(0);
            r.discId = q.integer(1);
            r.isDir = q.integer(3) == 1;
            r.name = q.text(4);
            r.note = q.isNull(5) || q.text(5).isEmpty() ? QString() : q.text(5);
            r.size = q.integer(6);
            if (!q.isNull(7))
                r.time = q.integer(7);
            r.archive = q.isNull(8) ? 0 : int(q.integer(8));
            if (const auto f = facts.find(r.id); f != facts.end())
                r.media = f->second;
            byId.insert(r.id, r);
            order.push_back(r.id);
            fathers.push_back(q.integer(2));
        }
        for (size_t i = 0; i < order.size(); ++i) {
            Row& r = byId[order[i]];
            const Row& disc = *std::find_if(rows.begin(), rows.end(), [&](const Row& d) {
                return d.isDisc && d.id == r.discId;
            });
            r.discName = disc.name;
            QStringList folders;
            for (qint64 f = fathers[i]; f != 0;) {
                folders.prepend(byId[f].name);
                f = fathers[size_t(std::find(order.begin(), order.end(), f) - order.begin())];
            }
            r.path = u'/' + (folders + QStringList{r.name}).join(u'/');
            r.place = disc.place + QStringList{disc.name} + folders;
        }
        for (const bool dirs : {true, false}) {
            for (const qint64 id : order) {
                if (byId[id].isDir == dirs)
                    rows.push_back(byId[id]);
            }
        }
    }

    QStringList expected(const Predicate& holds) const {
        QStringList out;
        for (const Row& r : rows) {
            if (holds(r))
                out << r.describe();
        }
        return out;
    }
};

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
