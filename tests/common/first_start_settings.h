// The encoder settings of a first start, as the settings store gives them, for tests that need
// realistic settings without a store.
#pragma once

#include "conversion/encoder_settings.h"

namespace testutil {

inline quillotone::EncoderSettings firstStart() {
    quillotone::EncoderSettings s;
    s.mp3 = {44100, 2, 256, 7, 30, 5, 15160, 760, -1, 192, false, false, 7, 128, 0, 0};
    s.ogg = {44100, 2, 256, -1};
    s.OggMinBitrate = 128;
    s.OggMaxBitrate = 128;
    s.WavBitsPerSample = 16;
    s.WavChannels = 2;
    s.WavSampleRate = 44100;
    s.WmaQuality = 1;
    return s;
}

} // namespace testutil
