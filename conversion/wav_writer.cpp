// Our own RIFF writer: 8-bit unsigned or 16-bit signed PCM, sizes patched when the data is complete.
#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"
#include "conversion/encoders.h"
#include "conversion/output_file.h"

#include <array>
#include <limits>

namespace quillotone {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

class WavWriter final : public AudioEncoder {
public:
    WavWriter(const WavParams& p, OutputFile& out) : out_(out) {
        if (p.bitsPerSample != 8 && p.bitsPerSample != 16)
            throw ConvertFailure(ConvertError::InvalidParameters, "WAV output is 8 or 16 bits per sample");
        if (p.sampleRate < 1000 || p.sampleRate > 384000)
            throw ConvertFailure(ConvertError::InvalidParameters, "Unusable WAV sample rate");
        int channels = p.channels == 1 ? 1 : 2;
        layout_ = {p.sampleRate, channels, p.bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16};
        frameBytes_ = static_cast<uint32_t>(channels * p.bitsPerSample / 8);
        std::array<uint8_t, 44> h{};
        std::copy_n("RIFF", 4, h.begin());
        std::copy_n("WAVEfmt ", 8, h.begin() + 8);
        put32(&h[16], 16);
        put16(&h[20], 1); // PCM
        put16(&h[22], static_cast<uint32_t>(channels));
        put32(&h[24], static_cast<uint32_t>(p.sampleRate));
        put32(&h[28], static_cast<uint32_t>(p.sampleRate) * frameBytes_);
        put16(&h[32], frameBytes_);
        put16(&h[34], static_cast<uint32_t>(p.bitsPerSample));
        std::copy_n("data", 4, h.begin() + 36);
        // sizes stay 0 until Finish: a reader of an unfinished file sees no data
        out_.Write(h.data(), h.size());
    }

    PcmLayout Input() const override { return layout_; }

    void Encode(const uint8_t* const* planes, int samples) override {
        uint64_t bytes = uint64_t(samples) * frameBytes_;
        out_.Write(planes[0], static_cast<size_t>(bytes));
        dataBytes_ += bytes;
    }

    void Finish() override {
        if (dataBytes_ % 2) {
            const uint8_t pad = 0;
            out_.Write(&pad, 1); // RIFF chunks have even sizes
        }
        // A RIFF file cannot say more than 4 GiB; longer data keeps the largest size it can hold.
        uint64_t limit = std::numeric_limits<uint32_t>::max() - 36 - 1;
        uint32_t data = static_cast<uint32_t>(std::min(dataBytes_, limit));
        uint8_t size[4];
        put32(size, data + 36 + (data % 2));
        out_.WriteAt(4, size, 4);
        put32(size, data);
        out_.WriteAt(40, size, 4);
    }

private:
    OutputFile& out_;
    PcmLayout layout_;
    uint32_t frameBytes_ = 4;
    uint64_t dataBytes_ = 0;
};

} // namespace

std::unique_ptr<AudioEncoder> MakeWavEncoder(const WavParams& params, OutputFile& out) {
    return std::make_unique<WavWriter>(params, out);
}

} // namespace quillotone
