#include "conversion/audio_decoder.h"

#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"
#include "conversion/ffmpeg_input.h"
#include "conversion/source_file.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace quillotone {

namespace {

[[noreturn]] void fail(int code, const std::string& what) {
    throw ConvertFailure(code, what);
}

void checkMemory(int err) {
    if (err == AVERROR(ENOMEM)) throw std::bad_alloc();
}

// The layout a frame really has: streams without channel order get the default for their count.
AVChannelLayout layoutOf(const AVChannelLayout& layout) {
    AVChannelLayout result{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.nb_channels <= 0)
        av_channel_layout_default(&result, layout.nb_channels > 0 ? layout.nb_channels : 2);
    else
        av_channel_layout_copy(&result, &layout);
    return result;
}

} // namespace

struct AudioDecoder::Impl {
    std::unique_ptr<SourceFile> source;
    std::unique_ptr<FormatInput> input;
    AVFormatContext* format = nullptr; // input's
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwrContext* swr = nullptr;
    int streamIndex = -1;
    int64_t fileSize = 0;

    // what swr is set up for
    int inRate = 0;
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    AVChannelLayout inLayout{};
    bool passthrough = false;

    std::vector<uint8_t> outBuffer;
    std::vector<uint8_t*> outPlanes;

    ~Impl() {
        swr_free(&swr);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    void configure(const AVFrame* f, const PcmLayout& out) {
        AVChannelLayout layout = layoutOf(f->ch_layout);
        bool same = swr || passthrough ? (f->sample_rate == inRate && f->format == inFormat &&
                                          av_channel_layout_compare(&layout, &inLayout) == 0)
                                       : false;
        if (same) {
            av_channel_layout_uninit(&layout);
            return;
        }
        swr_free(&swr);
        av_channel_layout_uninit(&inLayout);
        inLayout = layout;
        inRate = f->sample_rate;
        inFormat = static_cast<AVSampleFormat>(f->format);
        passthrough = inRate == out.rate && inFormat == out.format && inLayout.nb_channels == out.channels;
        if (passthrough) return;
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, out.channels);
        int err = swr_alloc_set_opts2(&swr, &outLayout, out.format, out.rate, &inLayout, inFormat, inRate, 0,
                                      nullptr);
        av_channel_layout_uninit(&outLayout);
        if (err < 0 || (err = swr_init(swr)) < 0) {
            checkMemory(err);
            fail(ConvertError::UnsupportedFormat, "Cannot convert the source's sample format");
        }
    }

    // Converts `count` input samples (null input flushes) and hands the result on.
    void convert(const uint8_t** in, int count, const PcmLayout& out, const Sink& sink) {
        int capacity = swr_get_out_samples(swr, count);
        if (capacity <= 0) return;
        int planes = av_sample_fmt_is_planar(out.format) ? out.channels : 1;
        int lineSize = 0;
        int needed = av_samples_get_buffer_size(&lineSize, out.channels, capacity, out.format, 1);
        if (needed < 0) fail(ConvertError::Unexpected, "Cannot size the sample buffer");
        if (outBuffer.size() < static_cast<size_t>(needed)) outBuffer.resize(static_cast<size_t>(needed));
        outPlanes.resize(static_cast<size_t>(planes));
        for (int p = 0; p < planes; ++p)
            outPlanes[static_cast<size_t>(p)] = outBuffer.data() + static_cast<size_t>(p) * lineSize;
        int got = swr_convert(swr, outPlanes.data(), capacity, in, count);
        if (got < 0) fail(ConvertError::Unexpected, "Resampling failed");
        if (got > 0) sink(outPlanes.data(), got);
    }
};

namespace {

std::unique_ptr<SourceFile> openSource(const std::string& path) {
    try {
        return std::make_unique<SourceFile>(path);
    } catch (const SourceFile::OpenError& e) {
        fail(ConvertError::WrongFormat, e.what());
    }
}

} // namespace

AudioDecoder::AudioDecoder(const std::string& path) : AudioDecoder(openSource(path)) {}

AudioDecoder::AudioDecoder(std::unique_ptr<SourceFile> source) : d(std::make_unique<Impl>()) {
    d->source = std::move(source);
    const std::string path = d->source->Path();
    // A source that fails to read while it is opened cannot be read at all.
    auto readFailure = [&](const std::string& otherwise) {
        return d->source->Failed() ? d->source->Failure() : otherwise;
    };
    d->input = std::make_unique<FormatInput>(*d->source);
    if (!d->input->IsOpen()) fail(ConvertError::WrongFormat, readFailure("Cannot open \"" + path + "\""));
    d->format = d->input->Context();
    int err = avformat_find_stream_info(d->format, nullptr);
    if (err < 0 || d->source->Failed()) {
        checkMemory(err);
        fail(ConvertError::WrongFormat, readFailure("Cannot read \"" + path + "\""));
    }
    const AVCodec* decoder = nullptr;
    d->streamIndex = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (d->streamIndex < 0 || !decoder)
        fail(ConvertError::UnsupportedFormat, "\"" + path + "\" holds no audio that can be decoded");
    AVStream* stream = d->format->streams[d->streamIndex];
    d->codec = avcodec_alloc_context3(decoder);
    if (!d->codec) throw std::bad_alloc();
    if (avcodec_parameters_to_context(d->codec, stream->codecpar) < 0 ||
        avcodec_open2(d->codec, decoder, nullptr) < 0)
        fail(ConvertError::UnsupportedFormat, "Cannot decode the audio of \"" + path + "\"");
    if (d->codec->sample_rate <= 0 || d->codec->ch_layout.nb_channels <= 0)
        fail(ConvertError::WrongFormat, "\"" + path + "\" has no valid audio stream");
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->packet || !d->frame) throw std::bad_alloc();
    d->fileSize = d->source->Size();
}

AudioDecoder::~AudioDecoder() = default;

int AudioDecoder::sourceRate() const {
    return d->codec->sample_rate;
}
int AudioDecoder::sourceChannels() const {
    return d->codec->ch_layout.nb_channels;
}

bool AudioDecoder::Run(const PcmLayout& out, const Sink& sink, const Progress& progress) {
    int64_t decodedSamples = 0;
    auto receiveAll = [&]() {
        for (;;) {
            int err = avcodec_receive_frame(d->codec, d->frame);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err < 0) {
                checkMemory(err);
                return; // a damaged frame: keep what decodes
            }
            if (d->frame->nb_samples > 0 && d->frame->sample_rate > 0) {
                d->configure(d->frame, out);
                decodedSamples += d->frame->nb_samples;
                if (d->passthrough)
                    sink(d->frame->extended_data, d->frame->nb_samples);
                else
                    d->convert(const_cast<const uint8_t**>(d->frame->extended_data), d->frame->nb_samples,
                               out, sink);
            }
            av_frame_unref(d->frame);
        }
    };

    int lastPermille = -1;
    for (;;) {
        int err = av_read_frame(d->format, d->packet);
        // A source that fails or shrinks is no end of file: the output would be cut short unseen.
        if (d->source->Failed()) fail(ConvertError::Stream, d->source->Failure());
        if (err < 0) {
            checkMemory(err);
            break; // end of file, or a damaged tail: what was decoded stands
        }
        if (d->packet->stream_index == d->streamIndex) {
            err = avcodec_send_packet(d->codec, d->packet);
            checkMemory(err);
            // AVERROR_INVALIDDATA and the like: skip the damaged packet
            if (err >= 0 || err == AVERROR(EAGAIN)) receiveAll();
        }
        av_packet_unref(d->packet);
        if (d->fileSize > 0) {
            int permille = static_cast<int>(std::clamp<int64_t>(d->input->Position(), 0, d->fileSize) * 1000 /
                                            d->fileSize);
            if (permille != lastPermille) {
                lastPermille = permille;
                if (!progress(std::min(permille, 1000) / 1000.0)) return false;
            }
        } else if (!progress(0)) {
            return false;
        }
    }
    avcodec_send_packet(d->codec, nullptr);
    receiveAll();
    if (decodedSamples == 0) fail(ConvertError::WrongFormat, "No audio could be decoded");
    if (d->swr) d->convert(nullptr, 0, out, sink);
    return progress(1.0);
}

} // namespace quillotone
