// Audio tags and stream properties through TagLib.
#include "core/media/mediareader.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tdebuglistener.h>

#include <sys/stat.h>

namespace vorlane::media::detail {

namespace {

// TagLib prints what it dislikes in a file to standard error; a scan keeps quiet.
class QuietListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

void quiet() {
    static QuietListener listener;
    static const bool done = [] {
        TagLib::setDebugListener(&listener);
        return true;
    }();
    (void)done;
}

QString text(const TagLib::String& s) {
    return QString::fromStdString(s.to8Bit(true)).trimmed();
}

} // namespace

MediaFacts audioFacts(const QByteArray& path, bool& cutShort) {
    cutShort = false;
    quiet();
    MediaFacts f;
    TagLib::FileRef file(path.constData(), true, TagLib::AudioProperties::Fast);
    if (file.isNull())
        return f;
    if (const TagLib::Tag* tag = file.tag()) {
        f.title = text(tag->title());
        f.artist = text(tag->artist());
        f.album = text(tag->album());
        f.genre = text(tag->genre());
        if (tag->track() > 0)
            f.track = int(tag->track());
        if (tag->year() > 0)
            f.year = int(tag->year());
    }
    if (const TagLib::AudioProperties* a = file.audioProperties()) {
        if (a->lengthInMilliseconds() > 0)
            f.durationMs = a->lengthInMilliseconds();
        if (a->bitrate() > 0)
            f.bitrate = a->bitrate() * 1000;
        if (a->sampleRate() > 0)
            f.sampleRate = a->sampleRate();
    }
    // A stream that claims far more than the file holds was cut short (a broken download):
    // its headers and tags do not describe what is there.
    struct stat st {};
    if (f.durationMs && f.bitrate && ::stat(path.constData(), &st) == 0 &&
        double(st.st_size) < double(*f.durationMs) * *f.bitrate / 8000.0 / 2) {
        cutShort = true;
        return {};
    }
    if (!f.isEmpty())
        f.kind = MediaKind::Audio;
    return f;
}

} // namespace vorlane::media::detail
