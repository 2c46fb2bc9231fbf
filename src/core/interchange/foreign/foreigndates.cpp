// Dates as other programs write them, in the forms locales commonly use. A date whose
// day and month could be either way round is read only when another date of the same
// file settles the order; what stays unread is counted, never guessed.
#include "core/interchange/foreign/foreignsource.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

namespace vorlane::foreign {

namespace {

enum class Order { Unknown, DayFirst, MonthFirst, Both };

struct Parts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool slashPair = false; // NN/NN/YYYY: day and month order open
    std::optional<int> offsetSeconds;
};

int pm(const QString& marker, int hour) {
    if (marker.compare(QLatin1String("PM"), Qt::CaseInsensitive) == 0 && hour < 12)
        return hour + 12;
    if (marker.compare(QLatin1String("AM"), Qt::CaseInsensitive) == 0 && hour == 12)
        return 0;
    return hour;
}

std::optional<Parts> split(const QString& text) {
    static const QRegularExpression yearFirst(
        QStringLiteral("^(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(?:[T "
                       "]+(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,]\\d+)?)?)?"
                       "\\s*(Z|[+-]\\d{2}:?\\d{2})?$"));
    static const QRegularExpression dotted(QStringLiteral(
        "^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?:,?\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    static const QRegularExpression slashed(
        QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{4})(?:,?\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?"
                       "\\s*([AaPp][Mm])?)?$"));
    Parts p;
    QRegularExpressionMatch m = yearFirst.match(text);
    if (m.hasMatch()) {
        p.year = m.captured(1).toInt();
        p.month = m.captured(2).toInt();
        p.day = m.captured(3).toInt();
        const QString zone = m.captured(7);
        if (zone == QLatin1String("Z")) {
            p.offsetSeconds = 0;
        } else if (!zone.isEmpty()) {
            const QString digits = QString(zone).remove(QLatin1Char(':'));
            const int sign = digits.startsWith(QLatin1Char('-')) ? -1 : 1;
            p.offsetSeconds =
                sign * (digits.mid(1, 2).toInt() * 3600 + digits.mid(3, 2).toInt() * 60);
        }
    } else if ((m = dotted.match(text)).hasMatch()) {
        p.day = m.captured(1).toInt();
        p.month = m.captured(2).toInt();
        p.year = m.captured(3).toInt();
    } else if ((m = slashed.match(text)).hasMatch()) {
        p.day = m.captured(1).toInt(); // first number; the order is settled later
        p.month = m.captured(2).toInt();
        p.year = m.captured(3).toInt();
        p.slashPair = true;
    } else {
        return std::nullopt;
    }
    p.hour = m.captured(4).toInt();
    p.minute = m.captured(5).toInt();
    p.second = m.captured(6).toInt();
    if (p.slashPair)
        p.hour = pm(m.captured(7), p.hour);
    return p;
}

std::optional<qint64> toSeconds(const Parts& p, bool swap) {
    const QDate date(p.year, swap ? p.day : p.month, swap ? p.month : p.day);
    const QTime time(p.hour, p.minute, p.second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    // A written date without a zone is the wall-clock time where the listing was made.
    const QDateTime dt = p.offsetSeconds ? QDateTime(date, time, QTimeZone(*p.offsetSeconds))
                                         : QDateTime(date, time);
    return dt.isValid() ? std::optional<qint64>(dt.toSecsSinceEpoch()) : std::nullopt;
}

template <typename F> void eachNode(Node& n, F&& f) {
    f(n);
    for (Node& c : n.children)
        eachNode(c, f);
}

} // namespace

void resolveDates(Source& source) {
    // First the order of day and month, from the slashed dates that show it.
    Order order = Order::Unknown;
    for (Disc& d : source.discs) {
        eachNode(d.root, [&](Node& n) {
            if (n.timeText.isEmpty())
                return;
            const auto p = split(n.timeText.trimmed());
            if (!p || !p->slashPair)
                return;
            const Order shows = p->day > 12 && p->month <= 12   ? Order::DayFirst
                                : p->month > 12 && p->day <= 12 ? Order::MonthFirst
                                                                : Order::Unknown;
            if (shows == Order::Unknown || order == shows)
                return;
            order = order == Order::Unknown ? shows : Order::Both;
        });
    }
    for (Disc& d : source.discs) {
        eachNode(d.root, [&](Node& n) {
            if (n.timeText.isEmpty())
                return;
            const QString text = n.timeText.trimmed();
            n.timeText.clear();
            const auto p = split(text);
            if (!p) {
                source.drop(QStringLiteral("dates in a form not read"), text);
                return;
            }
            if (p->slashPair && p->day != p->month &&
                (order == Order::Unknown || order == Order::Both)) {
                source.drop(order == Order::Both
                                ? QStringLiteral("dates whose day and month order differs "
                                                 "within the file")
                                : QStringLiteral("dates that could be day/month or month/day"),
                            text);
                return;
            }
            const auto t = toSeconds(*p, p->slashPair && order == Order::MonthFirst);
            if (!t)
                source.drop(QStringLiteral("dates that do not exist"), text);
            n.time = t;
        });
    }
}

} // namespace vorlane::foreign
