// Everything one conversion needs to know about its output, copied when it starts so that later
// changes to the component's settings never reach a conversion under way.
#pragma once

#include "conversion/lame_encoder_settings.h"

namespace quillotone {

enum class OutputKind { Mp3, Ogg, Wav, Wma };

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
    OutputKind kind = OutputKind::Mp3;
    LameSettings mp3;
    OggParams ogg;
    WavParams wav;
    WmaProfileInfo wma{128, 44100, 2};
};

} // namespace quillotone
