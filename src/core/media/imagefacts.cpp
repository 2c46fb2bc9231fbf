// Pictures' facts through exiv2, which reads the headers only.
#include "core/media/mediareader.h"

#include <QDateTime>
#include <QFile>
#include <QImageReader>
#include <QTimeZone>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 hands out auto_ptr
#include <exiv2/exiv2.hpp>

namespace vorlane::media::detail {

namespace {

void quiet() {
    static const bool done = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Set up once here: done lazily by the first picture with XMP, it would race.
        Exiv2::XmpParser::initialize();
        return true;
    }();
    (void)done;
}

const Exiv2::Exifdatum* find(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0)
        return nullptr;
    return &*it;
}

QString text(const Exiv2::ExifData& exif, const char* key) {
    const Exiv2::Exifdatum* d = find(exif, key);
    if (!d)
        return {};
    // Cameras pad their names with spaces and NULs.
    QString s = QString::fromUtf8(d->toString().c_str());
    while (!s.isEmpty() && (s.back().isSpace() || s.back() == QChar(0)))
        s.chop(1);
    return s.trimmed();
}

// "YYYY:MM:DD HH:MM:SS" as the camera's wall time, counted as if it were UTC.
std::optional<qint64> wallTime(const QString& s) {
    const QDateTime utc(QDate::fromString(s.left(10), QStringLiteral("yyyy:MM:dd")),
                        QTime::fromString(s.mid(11, 8), QStringLiteral("HH:mm:ss")),
                        QTimeZone::utc());
    if (!utc.isValid())
        return std::nullopt;
    return utc.toSecsSinceEpoch();
}

// Degrees, minutes and seconds as three rationals; negative towards `negativeRef`.
std::optional<double> coordinate(const Exiv2::ExifData& exif, const char* key, const char* refKey,
                                 char negativeRef) {
    const Exiv2::Exifdatum* d = find(exif, key);
    if (!d || d->count() < 3)
        return std::nullopt;
    double value = 0;
    double unit = 1;
    for (long i = 0; i < 3; ++i) {
        const Exiv2::Rational r = d->toRational(i);
        if (r.second == 0)
            return std::nullopt;
        value += double(r.first) / double(r.second) / unit;
        unit *= 60;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    const QString ref = text(exif, refKey);
    if (!ref.isEmpty() && ref.front().toUpper() == QLatin1Char(negativeRef))
        value = -value;
    return value;
}

} // namespace

MediaFacts imageFacts(const QByteArray& path) {
    quiet();
    MediaFacts f;
    f.kind = MediaKind::Image;
    try {
        auto image =
            Exiv2::ImageFactory::open(std::string(path.constData(), size_t(path.size())), false);
        if (image.get()) {
            image->readMetadata();
            if (image->pixelWidth() > 0 && image->pixelHeight() > 0) {
                f.width = image->pixelWidth();
                f.height = image->pixelHeight();
            }
            const Exiv2::ExifData& exif = image->exifData();
            if (!exif.empty()) {
                QString when = text(exif, "Exif.Photo.DateTimeOriginal");
                if (when.isEmpty())
                    when = text(exif, "Exif.Photo.DateTimeDigitized");
                if (!when.isEmpty())
                    f.taken = wallTime(when);
                f.make = text(exif, "Exif.Image.Make");
                f.model = text(exif, "Exif.Image.Model");
                if (const Exiv2::Exifdatum* o = find(exif, "Exif.Image.Orientation")) {
                    const long v = o->toLong();
                    if (v >= 1 && v <= 8)
                        f.orientation = int(v);
                }
                f.lat = coordinate(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef",
                                   'S');
                f.lon = coordinate(exif, "Exif.GPSInfo.GPSLongitude",
                                   "Exif.GPSInfo.GPSLongitudeRef", 'W');
                if (!f.lat || !f.lon)
                    f.lat = f.lon = std::nullopt;
            }
        }
    } catch (...) {
        // Broken metadata: what Qt can still tell of the picture follows.
    }
    if (!f.width) {
        quietImageReaders();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            QFile file;
            if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                const QSize size = QImageReader(&file).size();
                if (size.isValid() && !size.isEmpty()) {
                    f.width = size.width();
                    f.height = size.height();
                }
            } else {
                ::close(fd);
            }
        }
    }
    // Only what was really read makes facts: a file that is not a picture stays plain.
    if (!f.width && !f.taken && f.make.isEmpty() && f.model.isEmpty())
        return {};
    return f;
}

} // namespace vorlane::media::detail

#pragma GCC diagnostic pop
