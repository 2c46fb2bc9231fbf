#include "core/media/mediareader.h"

#include "core/import/fsnames.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QPainter>
#include <exception>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <unordered_map>

namespace vorlane::media {

namespace {

const std::unordered_map<std::string, MediaKind>& kinds() {
    static const std::unordered_map<std::string, MediaKind> table = [] {
        std::unordered_map<std::string, MediaKind> t;
        for (const char* e : {"jpg", "jpeg", "jpe", "png", "webp", "gif", "bmp", "tif", "tiff"})
            t.emplace(fsnames::foldAscii(e), MediaKind::Image);
        for (const char* e : {"mp3", "flac", "ogg", "oga", "opus", "m4a", "wav", "aac", "wma",
                              "aif", "aiff", "ape", "wv", "mpc"})
            t.emplace(fsnames::foldAscii(e), MediaKind::Audio);
        for (const char* e : {"mp4", "m4v", "mkv", "webm", "avi", "mov", "mpg", "mpeg", "wmv", "ts",
                              "m2ts", "mts", "vob", "flv", "3gp", "ogv", "asf"})
            t.emplace(fsnames::foldAscii(e), MediaKind::Video);
        return t;
    }();
    return table;
}

// JPEG quality of the stored thumbnails: keeps photographs at about 10-15 KB each.
constexpr int kJpegQuality = 70;

QByteArray encodeJpeg(const QImage& picture) {
    if (picture.isNull())
        return {};
    QImage img = picture;
    if (img.hasAlphaChannel()) {
        // JPEG has no transparency: what shows through is white, as on a page.
        QImage flat(img.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, img);
        painter.end();
        img = flat;
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kJpegQuality);
    if (!writer.write(img))
        return {};
    return out;
}

// A picture decoded at thumbnail size: the JPEG reader scales while it decodes, so a large
// photograph is never held whole. Turned upright by its EXIF orientation.
QImage scaledPicture(const QByteArray& path) {
    detail::quietImageReaders();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kThumbnailSide || size.height() > kThumbnailSide))
        reader.setScaledSize(size.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio));
    QImage img = reader.read();
    if (img.isNull())
        return {};
    // Readers that cannot scale while decoding may hand the whole picture back.
    if (img.width() > kThumbnailSide || img.height() > kThumbnailSide)
        img = img.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
    return img;
}

} // namespace

void detail::quietImageReaders() {
    // A damaged picture is the scan's everyday fare, not something to warn about.
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*.warning=false"));
        return true;
    }();
    (void)quiet;
}

MediaKind kindOfName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return MediaKind::None;
    const std::string ext = fsnames::foldAscii(std::string(name.substr(dot + 1)));
    const auto it = kinds().find(ext);
    return it == kinds().end() ? MediaKind::None : it->second;
}

MediaFacts readFacts(const QByteArray& path, MediaKind kind) {
    try {
        switch (kind) {
        case MediaKind::Image:
            return detail::imageFacts(path);
        case MediaKind::Audio: {
            bool cutShort = false;
            MediaFacts f = detail::audioFacts(path, cutShort);
            if (!cutShort && !f.durationMs && !f.sampleRate) {
                // A container the tags reader does not know: its streams still tell.
                MediaFacts s = detail::streamFacts(path, MediaKind::Audio);
                if (!s.isEmpty()) {
                    s.title = f.title;
                    s.artist = f.artist;
                    s.album = f.album;
                    s.track = f.track;
                    s.year = f.year;
                    s.genre = f.genre;
                    return s;
                }
            }
            return f;
        }
        case MediaKind::Video:
            return detail::streamFacts(path, MediaKind::Video);
        case MediaKind::None:
            break;
        }
    } catch (...) {
        // a library's fault in one file is that file's only
    }
    return {};
}

MediaFacts readFacts(const QByteArray& path) {
    return readFacts(path, kindOfName(std::string_view(path.constData(), size_t(path.size()))));
}

QByteArray makeThumbnail(const QByteArray& path, MediaKind kind) {
    try {
        if (kind == MediaKind::Image)
            return encodeJpeg(scaledPicture(path));
        if (kind == MediaKind::Video)
            return encodeJpeg(detail::videoFrame(path, kThumbnailSide));
    } catch (...) {
    }
    return {};
}

} // namespace vorlane::media
