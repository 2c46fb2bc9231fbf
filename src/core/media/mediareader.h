// Reading what a media file holds (picture size, date taken, tags, duration…) and making its
// thumbnail, by the file's path. Safe to call from several threads at once. Never throws:
// a file that cannot be read or parsed gives empty facts and no thumbnail.
#pragma once

#include "core/store/mediastore.h"

#include <QByteArray>
#include <QImage>
#include <string_view>

namespace vorlane::media {

// The long side of a stored thumbnail, at most.
constexpr int kThumbnailSide = 256;

// What a file is by its name's extension (a-z folded); None for anything else.
MediaKind kindOfName(std::string_view name);

// The facts of the file at `path` (the file system's bytes), read as `kind`.
MediaFacts readFacts(const QByteArray& path, MediaKind kind);
// The same, the kind taken from the path's extension.
MediaFacts readFacts(const QByteArray& path);

// A JPEG thumbnail of a picture or video, turned upright; empty when none can be made.
QByteArray makeThumbnail(const QByteArray& path, MediaKind kind);

namespace detail {
// The readers behind readFacts() and makeThumbnail(), one per library.
MediaFacts imageFacts(const QByteArray& path);
// `cutShort` is set for a file that holds far less than its headers claim.
MediaFacts audioFacts(const QByteArray& path, bool& cutShort);
// libavformat: a video's streams, or an audio file's where the tags reader found nothing.
MediaFacts streamFacts(const QByteArray& path, MediaKind kind);
// A video frame from about a tenth of the way in, scaled to fit `side`.
QImage videoFrame(const QByteArray& path, int side);
// Keeps Qt's picture readers from warning about every damaged file.
void quietImageReaders();
} // namespace detail

} // namespace vorlane::media
