// The encoder settings of the four output formats, as the settings store loads and saves them and
// the inspector shows and edits them. Plain data: no Qt, no behaviour.
#pragma once

#include <cstdint>

namespace quillotone {

// The LAME settings of MP3 output. Field order is the stored order.
struct Mp3Settings {
    int32_t Mp3SampleRate = 0;  // Hz
    int32_t Mp3ChannelMode = 0; // 1 mono, 2 stereo
    int32_t Mp3Bitrate = 0;     // kbit/s, constant bitrate
    int32_t Mp3EncoderQuality = 0;
    int32_t HighpassFrequency = 0; // Hz
    int32_t HighpassWidth = 0;
    int32_t LowpassFrequency = 0;
    int32_t LowpassWidth = 0;
    int32_t VbrMethod = 0;  // -1 none (CBR), 0 default, 1 old, 2 new, 3 MTRH, 4 ABR
    int32_t VbrBitrate = 0; // kbit/s
    bool WriteVbrHeader = false;
    bool StrictMinBitrate = false;
    int32_t VbrQuality = 0; // 0 best .. 9
    int32_t AbrBitrate = 0; // kbit/s
    int32_t Preset = 0;     // 0 none
    int32_t AltPreset = 0;  // 0 none
};

struct OggSettings {
    int32_t OggSampleRate = 0; // Hz
    int32_t OggChannels = 0;   // 1 mono, 2 stereo
    int32_t OggBitrate = 0;    // kbit/s
    int32_t OggQuality = 0;    // -1 when quality mode is off, else 0..1000
};

// Everything the encoders are set from. The values of a first start are the settings store's.
struct EncoderSettings {
    Mp3Settings mp3;
    OggSettings ogg;
    // Kept and written back; nothing else reads them.
    bool EnableHighPass = false;
    bool EnableLowPass = false;
    bool OggVbr = false;
    int32_t OggMinBitrate = 0; // kbit/s
    int32_t OggMaxBitrate = 0;
    int32_t WavBitsPerSample = 0; // 8 or 16
    int32_t WavChannels = 0;      // 1 mono, 2 stereo
    int32_t WavSampleRate = 0;    // Hz
    int32_t WmaQuality = 0;       // WMA profile number, 1-based
};

} // namespace quillotone
