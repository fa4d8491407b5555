// WMA (wmav2 in ASF) through libavcodec and libavformat, written through our OutputFile.
#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"
#include "conversion/encoders.h"
#include "conversion/output_file.h"

#include <cstring>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

namespace quillotone {

namespace {

class WmaEncoder final : public AudioEncoder {
public:
    WmaEncoder(const WmaProfileInfo& p, OutputFile& out) : out_(out) {
        try {
            init(p);
        } catch (...) {
            release();
            throw;
        }
    }

    ~WmaEncoder() override { release(); }

    PcmLayout Input() const override { return layout_; }

    void Encode(const uint8_t* const* planes, int samples) override {
        if (av_audio_fifo_write(fifo_, reinterpret_cast<void**>(const_cast<uint8_t**>(planes)), samples) <
            samples)
            throw std::bad_alloc();
        while (av_audio_fifo_size(fifo_) >= ctx_->frame_size)
            encodeFrame(ctx_->frame_size);
    }

    void Finish() override {
        if (int rest = av_audio_fifo_size(fifo_); rest > 0) encodeFrame(rest);
        check(avcodec_send_frame(ctx_, nullptr));
        drain();
        check(av_write_trailer(fmt_));
        avio_flush(fmt_->pb);
        check(fmt_->pb->error);
    }

private:
    static constexpr int kIoBuffer = 64 * 1024;

    void init(const WmaProfileInfo& p) {
        layout_ = {p.sampleRate, p.channels, AV_SAMPLE_FMT_FLTP};
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!codec) throw ConvertFailure(ConvertError::Unexpected, "This FFmpeg has no WMA encoder");
        if (avformat_alloc_output_context2(&fmt_, nullptr, "asf", nullptr) < 0 || !fmt_)
            throw ConvertFailure(ConvertError::Unexpected, "This FFmpeg has no ASF writer");
        ctx_ = avcodec_alloc_context3(codec);
        if (!ctx_) throw std::bad_alloc();
        ctx_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        ctx_->sample_rate = p.sampleRate;
        av_channel_layout_default(&ctx_->ch_layout, p.channels);
        ctx_->bit_rate = int64_t(p.bitrateKbps) * 1000;
        ctx_->time_base = AVRational{1, p.sampleRate};
        if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(ctx_, codec, nullptr) < 0)
            throw ConvertFailure(ConvertError::InvalidParameters, "The WMA encoder refuses this profile");
        stream_ = avformat_new_stream(fmt_, nullptr);
        if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, ctx_) < 0) throw std::bad_alloc();
        stream_->time_base = ctx_->time_base;

        ioBuffer_ = static_cast<uint8_t*>(av_malloc(kIoBuffer));
        fmt_->pb = avio_alloc_context(ioBuffer_, kIoBuffer, 1, this, nullptr, &WmaEncoder::writePacket,
                                      &WmaEncoder::seek);
        if (!fmt_->pb) throw std::bad_alloc();
        ioBuffer_ = nullptr; // owned by the context now
        check(avformat_write_header(fmt_, nullptr));

        fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, p.channels, ctx_->frame_size * 2);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!fifo_ || !frame_ || !packet_) throw std::bad_alloc();
    }

    void release() {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        if (fifo_) av_audio_fifo_free(fifo_);
        fifo_ = nullptr;
        if (fmt_ && fmt_->pb) {
            av_freep(&fmt_->pb->buffer);
            avio_context_free(&fmt_->pb);
        }
        av_freep(&ioBuffer_);
        avformat_free_context(fmt_);
        fmt_ = nullptr;
        avcodec_free_context(&ctx_);
    }

    void encodeFrame(int samples) {
        av_frame_unref(frame_);
        frame_->nb_samples = samples;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = ctx_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout);
        check(av_frame_get_buffer(frame_, 0));
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), samples);
        frame_->pts = pts_;
        pts_ += samples;
        check(avcodec_send_frame(ctx_, frame_));
        drain();
    }

    void drain() {
        for (;;) {
            int err = avcodec_receive_packet(ctx_, packet_);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            check(err);
            av_packet_rescale_ts(packet_, ctx_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            check(av_interleaved_write_frame(fmt_, packet_));
        }
    }

    // FFmpeg errors; a failure of our own file comes back as the one it raised.
    void check(int err) {
        if (ioFailure_) throw *ioFailure_;
        if (err == AVERROR(ENOMEM)) throw std::bad_alloc();
        if (err < 0) throw ConvertFailure(ConvertError::Unexpected, "The WMA encoder failed");
    }

    static int writePacket(void* opaque, uint8_t* buf, int size) {
        auto* self = static_cast<WmaEncoder*>(opaque);
        try {
            self->out_.Write(buf, static_cast<size_t>(size));
            return size;
        } catch (const ConvertFailure& e) {
            // exceptions must not cross FFmpeg's C frames
            if (!self->ioFailure_) self->ioFailure_.emplace(e);
            return AVERROR(EIO);
        }
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<WmaEncoder*>(opaque);
        try {
            switch (whence & ~AVSEEK_FORCE) {
            case AVSEEK_SIZE:
                return self->out_.Size();
            case SEEK_SET:
                self->out_.Seek(offset);
                break;
            case SEEK_CUR:
                self->out_.Seek(self->out_.Position() + offset);
                break;
            case SEEK_END:
                self->out_.Seek(self->out_.Size() + offset);
                break;
            default:
                return AVERROR(EINVAL);
            }
            return self->out_.Position();
        } catch (const ConvertFailure& e) {
            if (!self->ioFailure_) self->ioFailure_.emplace(e);
            return AVERROR(EIO);
        }
    }

    OutputFile& out_;
    PcmLayout layout_;
    AVFormatContext* fmt_ = nullptr;
    AVCodecContext* ctx_ = nullptr;
    AVStream* stream_ = nullptr;
    uint8_t* ioBuffer_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t pts_ = 0;
    std::optional<ConvertFailure> ioFailure_;
};

} // namespace

std::unique_ptr<AudioEncoder> MakeWmaEncoder(const WmaProfileInfo& profile, OutputFile& out) {
    return std::make_unique<WmaEncoder>(profile, out);
}

} // namespace quillotone
