#include "conversion/lame_encoder_settings.h"

#include "conversion/component_error.h"

#include <array>
#include <string>

namespace quillotone {

namespace {

// Builds a preset's settings; fields left out keep LameSettings' defaults.
constexpr LameSettings cbr(int32_t rate, int32_t mode, int32_t kbps, int32_t lowpass, int32_t highpass,
                           int16_t quality = 5) {
    LameSettings s;
    s.sampleRate = rate;
    s.channelMode = mode;
    s.bitrate = kbps;
    s.quality = quality;
    s.lowpassFrequency = lowpass;
    s.highpassFrequency = highpass;
    s.vbrMethod = -1;
    s.writeVbrHeader = false;
    return s;
}

constexpr LameSettings vbr(int32_t method, int16_t vbrQuality, int32_t minKbps, int32_t maxKbps,
                           int32_t lowpass, int16_t quality, bool strictMin = false) {
    LameSettings s;
    s.sampleRate = 44100;
    s.channelMode = 2;
    s.bitrate = minKbps;
    s.quality = quality;
    s.lowpassFrequency = lowpass;
    s.vbrMethod = method;
    s.vbrBitrate = maxKbps;
    s.vbrQuality = vbrQuality;
    s.writeVbrHeader = true;
    s.strictMinBitrate = strictMin;
    return s;
}

// The classic LAME presets by purpose, from telephone speech to studio quality. Low-pass and
// high-pass in Hz; bitrates and rates are entries of the inspector's lists so they read back.
constexpr std::array<LamePreset, 11> kPresets{{
    {"Phone", cbr(8000, 1, 16, 3200, 260)},
    {"SW", cbr(11025, 1, 24, 4800, 100)},
    {"AM", cbr(16000, 1, 32, 7200, 55)},
    {"FM", cbr(32000, 2, 112, 15000, 0)},
    {"Voice", cbr(32000, 1, 56, 12000, 100)},
    {"Radio", cbr(44100, 2, 112, 15000, 0)},
    {"Type", cbr(44100, 2, 128, 17000, 0)},
    {"HiFi", cbr(44100, 2, 160, 18000, 0, 2)},
    {"CD", cbr(44100, 2, 192, 19000, 0, 2)},
    {"Studio", cbr(44100, 2, 256, 19500, 0, 2)},
    // r3mix: old VBR at level 1 between 96 and 224 kbit/s
    {"R3Mix", vbr(1, 1, 96, 224, 19500, 2)},
}};

// The "--alt-preset" family: VBR levels 2 and 0 in the fast (new) and the classic (old) VBR
// method, and "Insane" at 320 kbit/s CBR.
constexpr std::array<LamePreset, 5> kAltPresets{{
    {"Fast Standard", vbr(2, 2, 32, 320, 0, 3)},
    {"Standard", vbr(1, 2, 32, 320, 0, 3)},
    {"Fast Extreme", vbr(2, 0, 32, 320, 0, 2)},
    {"Extrene", vbr(1, 0, 32, 320, 0, 2)},
    {"Insane", cbr(44100, 2, 320, 20500, 0, 2)},
}};

template <size_t N> const LamePreset* find(const std::array<LamePreset, N>& table, int32_t index) {
    if (index < 1 || index > static_cast<int32_t>(N)) return nullptr;
    return &table[static_cast<size_t>(index - 1)];
}

} // namespace

const LamePreset* FindPreset(int32_t index) {
    return find(kPresets, index);
}
const LamePreset* FindAltPreset(int32_t index) {
    return find(kAltPresets, index);
}

void TLameMp3Encoder::ApplyPreset(int32_t index) {
    const LamePreset* preset = FindPreset(index);
    if (!preset) throw ComponentError("No MP3 preset number " + std::to_string(index));
    s_ = preset->settings;
}

void TLameMp3Encoder::ApplyAltPreset(int32_t index) {
    const LamePreset* preset = FindAltPreset(index);
    if (!preset) throw ComponentError("No MP3 alt-preset number " + std::to_string(index));
    s_ = preset->settings;
}

} // namespace quillotone
