// Ogg Vorbis through libvorbisenc and libogg, called directly.
#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"
#include "conversion/encoders.h"
#include "conversion/output_file.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace quillotone {

namespace {

class OggEncoder final : public AudioEncoder {
public:
    OggEncoder(const OggParams& p, OutputFile& out) : out_(out) {
        int channels = p.channels == 1 ? 1 : 2;
        layout_ = {p.sampleRate, channels, AV_SAMPLE_FMT_FLTP};
        vorbis_info_init(&vi_);
        int err;
        if (p.minBitrate > 0 || p.maxBitrate > 0) {
            // managed bitrate between the two bounds, the nominal rate kept inside them
            long lo = p.minBitrate > 0 ? p.minBitrate : -1, hi = p.maxBitrate > 0 ? p.maxBitrate : -1;
            if (lo > 0 && hi > 0 && lo > hi) std::swap(lo, hi);
            long nominal = p.bitrate;
            if (lo > 0) nominal = std::max(nominal, lo);
            if (hi > 0) nominal = std::min(nominal, hi);
            err = vorbis_encode_init(&vi_, channels, p.sampleRate, hi > 0 ? hi * 1000 : -1, nominal * 1000,
                                     lo > 0 ? lo * 1000 : -1);
        } else if (p.quality >= 0) {
            err = vorbis_encode_init_vbr(&vi_, channels, p.sampleRate,
                                         std::min<int>(p.quality, 1000) / 1000.0f);
        } else {
            err = vorbis_encode_init(&vi_, channels, p.sampleRate, -1, long(p.bitrate) * 1000, -1);
        }
        if (err != 0) {
            vorbis_info_clear(&vi_);
            throw ConvertFailure(ConvertError::InvalidParameters,
                                 "libvorbis refuses these Ogg Vorbis settings");
        }
        vorbis_comment_init(&vc_);
        vorbis_analysis_init(&vd_, &vi_);
        vorbis_block_init(&vd_, &vb_);
        std::random_device rd;
        ogg_stream_init(&os_, static_cast<int>(rd()));

        ogg_packet header, comments, codebooks;
        vorbis_analysis_headerout(&vd_, &vc_, &header, &comments, &codebooks);
        ogg_stream_packetin(&os_, &header);
        ogg_stream_packetin(&os_, &comments);
        ogg_stream_packetin(&os_, &codebooks);
        // the audio must start on a page of its own
        while (ogg_stream_flush(&os_, &og_))
            writePage();
    }

    ~OggEncoder() override {
        ogg_stream_clear(&os_);
        vorbis_block_clear(&vb_);
        vorbis_dsp_clear(&vd_);
        vorbis_comment_clear(&vc_);
        vorbis_info_clear(&vi_);
    }

    PcmLayout Input() const override { return layout_; }

    void Encode(const uint8_t* const* planes, int samples) override {
        float** buffer = vorbis_analysis_buffer(&vd_, samples);
        for (int c = 0; c < layout_.channels; ++c)
            std::memcpy(buffer[c], planes[c], sizeof(float) * static_cast<size_t>(samples));
        vorbis_analysis_wrote(&vd_, samples);
        drain();
    }

    void Finish() override {
        vorbis_analysis_wrote(&vd_, 0);
        drain();
        while (ogg_stream_flush(&os_, &og_))
            writePage();
    }

private:
    void drain() {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&vd_, &vb_) == 1) {
            vorbis_analysis(&vb_, nullptr);
            vorbis_bitrate_addblock(&vb_);
            while (vorbis_bitrate_flushpacket(&vd_, &packet)) {
                ogg_stream_packetin(&os_, &packet);
                while (ogg_stream_pageout(&os_, &og_))
                    writePage();
            }
        }
    }
    void writePage() {
        out_.Write(og_.header, static_cast<size_t>(og_.header_len));
        out_.Write(og_.body, static_cast<size_t>(og_.body_len));
    }

    OutputFile& out_;
    PcmLayout layout_;
    vorbis_info vi_{};
    vorbis_comment vc_{};
    vorbis_dsp_state vd_{};
    vorbis_block vb_{};
    ogg_stream_state os_{};
    ogg_page og_{};
};

} // namespace

std::unique_ptr<AudioEncoder> MakeOggEncoder(const OggParams& params, OutputFile& out) {
    return std::make_unique<OggEncoder>(params, out);
}

} // namespace quillotone
