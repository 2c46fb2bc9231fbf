// Videos (and audio the tags reader does not know) through libavformat; a video's thumbnail
// frame through libavcodec and libswscale.
#include "core/media/mediareader.h"

#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace vorlane::media::detail {

namespace {

void quiet() {
    static const bool done = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)done;
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ScaleFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

// Opens the file and looks at the start of its streams only: a scan reads many files.
Input openInput(const QByteArray& path) {
    quiet();
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", "1000000", 0);
    av_dict_set(&options, "analyzeduration", "1000000", 0);
    const int opened = avformat_open_input(&raw, path.constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return {};
    Input input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return {};
    return input;
}

// The first stream of the type; a video's is never an embedded cover picture.
int streamOf(const AVFormatContext* c, AVMediaType type) {
    for (unsigned i = 0; i < c->nb_streams; ++i) {
        const AVStream* s = c->streams[i];
        if (s->codecpar->codec_type == type && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    }
    return -1;
}

} // namespace

MediaFacts streamFacts(const QByteArray& path, MediaKind kind) {
    MediaFacts f;
    const Input input = openInput(path);
    if (!input)
        return f;
    const AVFormatContext* c = input.get();
    const int video = kind == MediaKind::Video ? streamOf(c, AVMEDIA_TYPE_VIDEO) : -1;
    const int audio = streamOf(c, AVMEDIA_TYPE_AUDIO);
    if (video < 0 && audio < 0)
        return f;
    f.kind = video >= 0 ? MediaKind::Video : MediaKind::Audio;
    if (c->duration > 0 && c->duration != AV_NOPTS_VALUE)
        f.durationMs = c->duration / (AV_TIME_BASE / 1000);
    if (video >= 0) {
        const AVStream* s = c->streams[video];
        if (s->codecpar->width > 0 && s->codecpar->height > 0) {
            f.width = s->codecpar->width;
            f.height = s->codecpar->height;
        }
        AVRational rate = s->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = s->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            const double fps = av_q2d(rate);
            if (std::isfinite(fps) && fps > 0 && fps < 10000)
                f.fps = std::round(fps * 1000) / 1000;
        }
        f.videoCodec = QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id));
    }
    if (audio >= 0) {
        const AVStream* s = c->streams[audio];
        f.audioCodec = QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id));
        if (s->codecpar->sample_rate > 0)
            f.sampleRate = s->codecpar->sample_rate;
    }
    if (c->bit_rate > 0 && c->bit_rate < INT32_MAX)
        f.bitrate = int(c->bit_rate);
    return f;
}

QImage videoFrame(const QByteArray& path, int side) {
    const Input input = openInput(path);
    if (!input)
        return {};
    AVFormatContext* c = input.get();
    const int index = streamOf(c, AVMEDIA_TYPE_VIDEO);
    if (index < 0)
        return {};
    const AVStream* stream = c->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return {};
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return {};
    decoder->thread_count = 1; // the scan already reads several files at once
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return {};
    if (c->duration > 0 && c->duration != AV_NOPTS_VALUE)
        av_seek_frame(c, -1,
                      c->start_time == AV_NOPTS_VALUE ? c->duration / 10
                                                      : c->start_time + c->duration / 10,
                      AVSEEK_FLAG_BACKWARD);

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame)
        return {};
    bool got = false;
    // Bounded: a file that never yields a picture is given up on.
    for (int packets = 0; !got && packets < 2000; ++packets) {
        const int read = av_read_frame(c, packet.get());
        if (read < 0) {
            avcodec_send_packet(decoder.get(), nullptr); // drain what the decoder holds
            got = avcodec_receive_frame(decoder.get(), frame.get()) == 0;
            break;
        }
        if (packet->stream_index == index && avcodec_send_packet(decoder.get(), packet.get()) >= 0)
            got = avcodec_receive_frame(decoder.get(), frame.get()) == 0;
        av_packet_unref(packet.get());
    }
    if (!got || frame->width <= 0 || frame->height <= 0)
        return {};

    double shownWidth = frame->width;
    const AVRational sar = frame->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0)
        shownWidth = frame->width * av_q2d(sar);
    const QSize target = QSize(int(std::lround(shownWidth)), frame->height)
                             .scaled(std::min(side, std::max(1, int(std::lround(shownWidth)))),
                                     std::min(side, frame->height), Qt::KeepAspectRatio)
                             .expandedTo(QSize(1, 1));
    std::unique_ptr<SwsContext, ScaleFreer> scaler(
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), target.width(),
                       target.height(), AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return {};
    QImage image(target, QImage::Format_RGB888);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) <=
        0)
        return {};
    return image;
}

} // namespace vorlane::media::detail
