#include "gui/browser/mediatext.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace vorlane::mediatext {

QString dimensions(const MediaFacts& f) {
    if (!f.width || !f.height)
        return {};
    return QStringLiteral("%1×%2").arg(*f.width).arg(*f.height);
}

QString duration(const std::optional<qint64>& ms) {
    if (!ms || *ms < 0)
        return {};
    const qint64 seconds = (*ms + 500) / 1000;
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString taken(const std::optional<qint64>& seconds) {
    if (!seconds)
        return {};
    // Stored as the camera's own clock counted as if it were UTC: shown as it read.
    return QDateTime::fromSecsSinceEpoch(*seconds, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString camera(const QString& make, const QString& model) {
    const QString mk = make.trimmed(), md = model.trimmed();
    if (md.isEmpty())
        return mk;
    if (mk.isEmpty() || md.startsWith(mk, Qt::CaseInsensitive))
        return md;
    // Makers write themselves out in full and shortly ("NIKON CORPORATION", "NIKON D750").
    const QString firstWord = mk.section(QLatin1Char(' '), 0, 0);
    if (md.startsWith(firstWord + QLatin1Char(' '), Qt::CaseInsensitive))
        return md;
    return mk + QLatin1Char(' ') + md;
}

QString kind(MediaKind k) {
    switch (k) {
    case MediaKind::None:
        break;
    case MediaKind::Image:
        return QStringLiteral("图片");
    case MediaKind::Audio:
        return QStringLiteral("音频");
    case MediaKind::Video:
        return QStringLiteral("视频");
    }
    return {};
}

namespace {

QString orientationText(int o) {
    static const char* const names[] = {"正常", "水平翻转",       "旋转 180°", "垂直翻转",
                                        "转置", "顺时针旋转 90°", "反转置",    "逆时针旋转 90°"};
    if (o >= 1 && o <= 8)
        return QStringLiteral("%1（%2）").arg(QString::fromUtf8(names[o - 1])).arg(o);
    return QString::number(o);
}

QString position(double lat, double lon) {
    const QLocale c = QLocale::c();
    return QStringLiteral("%1°%2 %3°%4")
        .arg(c.toString(qAbs(lat), 'f', 6), lat < 0 ? QStringLiteral("S") : QStringLiteral("N"),
             c.toString(qAbs(lon), 'f', 6), lon < 0 ? QStringLiteral("W") : QStringLiteral("E"));
}

} // namespace

QList<QPair<QString, QString>> lines(const MediaFacts& f) {
    QList<QPair<QString, QString>> out;
    auto add = [&](const char* heading, const QString& text) {
        if (!text.isEmpty())
            out.append({QString::fromUtf8(heading), text});
    };
    const QLocale locale;
    add("媒体类型", kind(f.kind));
    add("尺寸", dimensions(f));
    add("拍摄时间", taken(f.taken));
    add("相机", camera(f.make, f.model));
    if (f.orientation)
        add("方向", orientationText(*f.orientation));
    if (f.lat && f.lon)
        add("拍摄地点", position(*f.lat, *f.lon));
    add("标题", f.title);
    add("艺术家", f.artist);
    add("专辑", f.album);
    if (f.track)
        add("音轨", QString::number(*f.track));
    if (f.year)
        add("年份", QString::number(*f.year));
    add("流派", f.genre);
    add("时长", duration(f.durationMs));
    if (f.bitrate)
        add("比特率", QStringLiteral("%1 kbit/s").arg(locale.toString((*f.bitrate + 500) / 1000)));
    if (f.sampleRate)
        add("采样率", QStringLiteral("%1 Hz").arg(locale.toString(*f.sampleRate)));
    if (f.fps)
        add("帧率", QStringLiteral("%1 fps").arg(locale.toString(*f.fps, 'f', 2)));
    add("视频编码", f.videoCodec);
    add("音频编码", f.audioCodec);
    return out;
}

} // namespace vorlane::mediatext
