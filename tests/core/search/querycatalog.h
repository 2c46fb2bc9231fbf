// A random catalog for the query tests, read back from its tables into rows a reference can
// test, and the reference's predicates. Some files carry media facts, planted as a scan
// stores them.
#pragma once

#include "common/catalogs.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>
#include <array>
#include <functional>
#include <random>
#include <unordered_map>

namespace querytest {

using namespace vorlane;

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

inline QString foldAscii(QString s) {
    for (QChar& c : s) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    }
    return s;
}

inline bool has(const QString& text, const QString& word, bool exact = false) {
    return !text.isNull() &&
           (exact ? text.contains(word) : foldAscii(text).contains(foldAscii(word)));
}
inline bool word(const Row& r, const QString& w, bool exact = false) {
    return has(r.name, w, exact) || has(r.note, w, exact);
}
inline bool ext(const Row& r, const QStringList& list) {
    const qsizetype dot = r.name.lastIndexOf(u'.');
    if (r.isDisc || dot < 0)
        return false;
    const QString e = foldAscii(r.name.mid(dot + 1));
    return std::any_of(list.begin(), list.end(),
                       [&](const QString& x) { return foldAscii(x) == e; });
}
inline bool sizeIn(const Row& r, qint64 low, qint64 high) {
    return !r.isDisc && r.size >= low && r.size <= high;
}
// The local calendar date of the entry's time, compared as text: "2024", "2024-06", ...
inline QString dateOf(const Row& r, int length) {
    return r.time ? QDateTime::fromSecsSinceEpoch(*r.time).date().toString(Qt::ISODate).left(length)
                  : QString();
}
inline bool dateIs(const Row& r, const QString& period) {
    return !r.isDisc && r.time && dateOf(r, int(period.size())) == period;
}
inline bool dateCmp(const Row& r, const QString& period, int sign) { // -1 before, +1 after it
    if (r.isDisc || !r.time)
        return false;
    const QString d = dateOf(r, int(period.size()));
    return sign < 0 ? d < period : d > period;
}
// Media facts: a case-folded (or exact) substring of a text, a number within bounds, the
// UTC calendar date of the taken time.
inline bool mediaHas(const Row& r, QString MediaFacts::*text, const QString& w,
                     bool exact = false) {
    if (!r.media)
        return false;
    const QString t = (*r.media).*text;
    return exact ? t.contains(w) : t.toCaseFolded().contains(w.toCaseFolded());
}
inline bool cameraHas(const Row& r, const QString& w) {
    return mediaHas(r, &MediaFacts::make, w) || mediaHas(r, &MediaFacts::model, w) ||
           (r.media && (r.media->make + QLatin1Char(' ') + r.media->model)
                           .toCaseFolded()
                           .contains(w.toCaseFolded()));
}
template <class T>
inline bool mediaIn(const Row& r, std::optional<T> MediaFacts::*n, qint64 low, qint64 high) {
    return r.media && ((*r.media).*n) && *((*r.media).*n) >= low && *((*r.media).*n) <= high;
}
inline bool kindIs(const Row& r, MediaKind k) {
    return r.media && r.media->kind == k;
}
inline QString takenOn(const Row& r, int length) {
    if (!r.media || !r.media->taken)
        return QString();
    return QDateTime::fromSecsSinceEpoch(*r.media->taken, QTimeZone::utc())
        .date()
        .toString(Qt::ISODate)
        .left(length);
}

inline const QStringList Pieces = {"IMG_", "photo", "Photo", "my", " ",   "2024", "report", "照片",
                                   "a",    "b",     "_",     "7",  "x|y", "!",    "todo",   "Ab"};
inline const QStringList Extensions = {"", "", ".jpg", ".PNG", ".txt", ".tar.gz", ".JpG"};
inline const qint64 Sizes[] = {0,     1,       1023,    1024,    2048, 10240,
                               10241, 1 << 20, 5 << 20, 3000000, 777};

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

} // namespace querytest
