// Everything one conversion needs to know about its output, copied when it starts so that later
// changes to the component's settings never reach a conversion under way.
#pragma once

#include "conversion/lame_encoder_settings.h"

#include <array>
#include <optional>

namespace quillotone {

// The output formats, numbered as the output format drop-down `cmboutFormat` numbers its items.
enum class OutFormat { Mp3 = 0, Ogg = 1, Wav = 2, Wma = 3 };
inline constexpr int kOutFormatCount = 4;

// The drop-down's items, by OutFormat.
inline constexpr std::array<const char*, kOutFormatCount> OutFormatNames{
    "Mp3 (Mpeg Layer-3)", "Ogg (Ogg Vorbis 1.1)", "Wav (Standard)", "Wma (Windows Media Audio 9)"};

// The format of a drop-down item index; none for no selection (-1) or an index outside the list.
inline std::optional<OutFormat> OutFormatAt(int index) {
    if (index < 0 || index >= kOutFormatCount) return std::nullopt;
    return static_cast<OutFormat>(index);
}

struct OggParams {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t bitrate = 128;  // nominal, kbit/s
    int32_t minBitrate = 0; // with maxBitrate: managed bitrate when either is set
    int32_t maxBitrate = 0;
    int16_t quality = -1; // 0..1000 selects quality mode; -1 not used
};

struct WavParams {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t bitsPerSample = 16; // 8 (unsigned) or 16 (signed)
};

struct WmaProfileInfo {
    int32_t bitrateKbps;
    int32_t sampleRate;
    int32_t channels;
};

struct OutputFormat {
    OutFormat kind = OutFormat::Mp3;
    LameSettings mp3;
    OggParams ogg;
    WavParams wav;
    WmaProfileInfo wma{128, 44100, 2};
};

} // namespace quillotone
