// The MP3 encoder object of the conversion component: LAME's settings as properties, and the
// presets that fill them.
#pragma once

#include "conversion/convert_interface.h"

#include <string_view>

namespace quillotone {

// One snapshot of every LAME setting the component passes on.
struct LameSettings {
    int32_t sampleRate = 44100;
    int32_t channelMode = 2;       // 1 mono, 2 joint stereo
    int32_t bitrate = 128;         // CBR bitrate; in VBR and ABR the minimum when strictMinBitrate is set
    int16_t quality = 3;           // LAME's own default
    int32_t highpassFrequency = 0; // 0 lets LAME choose
    int32_t highpassWidth = 0;
    int32_t lowpassFrequency = 0; // 0 lets LAME choose
    int32_t lowpassWidth = 0;
    int32_t vbrMethod = -1;   // -1 CBR, 0 default, 1 old, 2 new, 3 MTRH, 4 ABR
    int32_t vbrBitrate = 320; // VBR/ABR maximum
    int16_t vbrQuality = 4;
    int16_t abrBitrate = 128;
    bool writeVbrHeader = true;
    bool strictMinBitrate = false;

    bool operator==(const LameSettings&) const = default;
};

// A named preset: the values it writes into the encoder's properties.
struct LamePreset {
    std::string_view name;
    LameSettings settings;
};

// "Phone" .. "R3Mix" (1..11) and "Fast Standard" .. "Insane" (1..5).
const LamePreset* FindPreset(int32_t index);
const LamePreset* FindAltPreset(int32_t index);

class TLameMp3Encoder final : public IAudioConvertLameMp3Encoder {
public:
    int32_t Mp3SampleRate() const override { return s_.sampleRate; }
    void SetMp3SampleRate(int32_t hz) override { s_.sampleRate = hz; }
    int32_t Mp3ChannelMode() const override { return s_.channelMode; }
    void SetMp3ChannelMode(int32_t mode) override { s_.channelMode = mode; }
    int32_t Mp3Bitrate() const override { return s_.bitrate; }
    void SetMp3Bitrate(int32_t kbps) override { s_.bitrate = kbps; }
    int16_t Mp3EncoderQuality() const override { return s_.quality; }
    void SetMp3EncoderQuality(int16_t q) override { s_.quality = q; }
    int32_t HighpassFrequency() const override { return s_.highpassFrequency; }
    void SetHighpassFrequency(int32_t hz) override { s_.highpassFrequency = hz; }
    int32_t HighpassWidth() const override { return s_.highpassWidth; }
    void SetHighpassWidth(int32_t hz) override { s_.highpassWidth = hz; }
    int32_t LowpassFrequency() const override { return s_.lowpassFrequency; }
    void SetLowpassFrequency(int32_t hz) override { s_.lowpassFrequency = hz; }
    int32_t LowpassWidth() const override { return s_.lowpassWidth; }
    void SetLowpassWidth(int32_t hz) override { s_.lowpassWidth = hz; }
    int32_t VbrMethod() const override { return s_.vbrMethod; }
    void SetVbrMethod(int32_t method) override { s_.vbrMethod = method; }
    int32_t VbrBitrate() const override { return s_.vbrBitrate; }
    void SetVbrBitrate(int32_t kbps) override { s_.vbrBitrate = kbps; }
    int16_t VbrQuality() const override { return s_.vbrQuality; }
    void SetVbrQuality(int16_t q) override { s_.vbrQuality = q; }
    int16_t AbrBitrate() const override { return s_.abrBitrate; }
    void SetAbrBitrate(int16_t kbps) override { s_.abrBitrate = kbps; }
    int16_t WriteVbrHeader() const override { return s_.writeVbrHeader ? -1 : 0; }
    void SetWriteVbrHeader(int16_t on) override { s_.writeVbrHeader = on != 0; }
    int16_t StrictMinBitrate() const override { return s_.strictMinBitrate ? -1 : 0; }
    void SetStrictMinBitrate(int16_t on) override { s_.strictMinBitrate = on != 0; }

    // Throw ComponentError for an index outside the list.
    void ApplyPreset(int32_t index) override;
    void ApplyAltPreset(int32_t index) override;

    const LameSettings& Settings() const { return s_; }

private:
    LameSettings s_;
};

} // namespace quillotone
