// MP3 through libmp3lame, called directly so that every LAME setting is reachable.
#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"
#include "conversion/encoders.h"
#include "conversion/output_file.h"

#include <QLoggingCategory>
#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quillotone {

namespace {

// LAME's remarks ("highpass filter disabled" and the like) go to a debug category that is off unless
// QT_LOGGING_RULES turns it on; its failures reach the user as error codes.
Q_LOGGING_CATEGORY(lameLog, "quillotone.lame", QtInfoMsg)

void lameMessage(const char* format, va_list args) {
    if (!lameLog().isDebugEnabled()) return;
    char text[512];
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n <= 0) return;
    size_t end = std::min(static_cast<size_t>(n), sizeof text - 1);
    while (end > 0 && text[end - 1] == '\n')
        --end;
    qCDebug(lameLog, "%.*s", static_cast<int>(end), text);
}

vbr_mode vbrModeOf(int32_t method) {
    switch (method) {
    case 0:
        return vbr_default;
    case 1:
        return vbr_rh; // "old" VBR
    case 2:
        return vbr_mt; // "new" VBR, which LAME now runs as MTRH
    case 3:
        return vbr_mtrh;
    case 4:
        return vbr_abr;
    default:
        return vbr_off;
    }
}

class Mp3Encoder final : public AudioEncoder {
public:
    Mp3Encoder(const LameSettings& s, OutputFile& out) : out_(out), settings_(s) {
        gfp_ = lame_init();
        if (!gfp_) throw std::bad_alloc();
        lame_set_errorf(gfp_, lameMessage);
        lame_set_debugf(gfp_, lameMessage);
        lame_set_msgf(gfp_, lameMessage);
        int channels = s.channelMode == 1 ? 1 : 2;
        layout_ = {s.sampleRate, channels, AV_SAMPLE_FMT_S16};
        lame_set_in_samplerate(gfp_, s.sampleRate);
        lame_set_out_samplerate(gfp_, s.sampleRate);
        lame_set_num_channels(gfp_, channels);
        lame_set_mode(gfp_, channels == 1 ? MONO : JOINT_STEREO);
        lame_set_quality(gfp_, std::clamp<int>(s.quality, 0, 9));
        lame_set_write_id3tag_automatic(gfp_, 0); // tags are the tag layer's business
        lame_set_findReplayGain(gfp_, 0);
        lame_set_bWriteVbrTag(gfp_, s.writeVbrHeader ? 1 : 0);
        int nyquist = s.sampleRate / 2;
        if (s.highpassFrequency > 0 && s.highpassFrequency < nyquist) {
            lame_set_highpassfreq(gfp_, s.highpassFrequency);
            if (s.highpassWidth > 0) lame_set_highpasswidth(gfp_, s.highpassWidth);
        }
        if (s.lowpassFrequency > 0 && s.lowpassFrequency < nyquist) {
            lame_set_lowpassfreq(gfp_, s.lowpassFrequency);
            if (s.lowpassWidth > 0) lame_set_lowpasswidth(gfp_, s.lowpassWidth);
        }
        vbr_mode mode = vbrModeOf(s.vbrMethod);
        lame_set_VBR(gfp_, mode);
        if (mode == vbr_off) {
            lame_set_brate(gfp_, s.bitrate);
        } else {
            lame_set_VBR_q(gfp_, std::clamp<int>(s.vbrQuality, 0, 9));
            if (mode == vbr_abr) lame_set_VBR_mean_bitrate_kbps(gfp_, s.abrBitrate);
            if (s.vbrBitrate > 0 && (mode != vbr_abr || s.vbrBitrate >= s.abrBitrate))
                lame_set_VBR_max_bitrate_kbps(gfp_, s.vbrBitrate);
            if (s.strictMinBitrate) {
                lame_set_VBR_min_bitrate_kbps(gfp_, s.bitrate);
                lame_set_VBR_hard_min(gfp_, 1);
            }
        }
        if (lame_init_params(gfp_) < 0) {
            lame_close(gfp_);
            throw ConvertFailure(ConvertError::InvalidParameters, "LAME refuses these MP3 settings");
        }
    }

    ~Mp3Encoder() override { lame_close(gfp_); }

    PcmLayout Input() const override { return layout_; }

    void Encode(const uint8_t* const* planes, int samples) override {
        reserve(samples);
        const auto* pcm = reinterpret_cast<const short*>(planes[0]);
        int n = layout_.channels == 2
                    ? lame_encode_buffer_interleaved(gfp_, const_cast<short*>(pcm), samples, buffer_.data(),
                                                     static_cast<int>(buffer_.size()))
                    : lame_encode_buffer(gfp_, pcm, pcm, samples, buffer_.data(),
                                         static_cast<int>(buffer_.size()));
        writeOut(n);
    }

    void Finish() override {
        reserve(0);
        writeOut(lame_encode_flush(gfp_, buffer_.data(), static_cast<int>(buffer_.size())));
        if (settings_.writeVbrHeader) {
            // The Xing/LAME info frame replaces the placeholder LAME put at the start.
            std::vector<unsigned char> tag(8192);
            size_t n = lame_get_lametag_frame(gfp_, tag.data(), tag.size());
            if (n > 0 && n <= tag.size()) out_.WriteAt(0, tag.data(), n);
        }
    }

private:
    void reserve(int samples) {
        size_t needed = static_cast<size_t>(samples) * 5 / 4 + 7200;
        if (buffer_.size() < needed) buffer_.resize(needed);
    }
    void writeOut(int n) {
        if (n < 0)
            throw ConvertFailure(n == -2 ? ConvertError::Memory : ConvertError::Unexpected,
                                 "LAME failed to encode");
        out_.Write(buffer_.data(), static_cast<size_t>(n));
    }

    OutputFile& out_;
    LameSettings settings_;
    lame_t gfp_ = nullptr;
    PcmLayout layout_;
    std::vector<unsigned char> buffer_;
};

} // namespace

std::unique_ptr<AudioEncoder> MakeMp3Encoder(const LameSettings& settings, OutputFile& out) {
    return std::make_unique<Mp3Encoder>(settings, out);
}

} // namespace quillotone
