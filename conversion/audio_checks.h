// The information component's own checks on a file's bytes, apart from libavformat and Qt so that
// they can be fuzzed: the container signatures, the window they are read from, and what our MPEG
// reader adds to an MP3's properties.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <vector>

namespace tags {
class TMPEGaudio;
}

namespace quillotone {

enum class ContainerKind { Unknown, Wav, OggVorbis, OggOther, Asf };

// Seven frames at 320 kbit/s: enough for libavformat's MP3 probe.
inline constexpr size_t kProbeBytes = 8 * 1024;

// Up to kProbeBytes from behind a leading ID3v2 tag (a large cover must not hide the audio).
std::vector<uint8_t> ProbeWindow(tags::TStream& stream);

// The three signatures: RIFF/WAVE, an Ogg page whose first packet is a Vorbis identification
// header (other Ogg codecs are not ours), the ASF header object. Anything else is Unknown.
ContainerKind ContainerBySignature(const uint8_t* data, size_t size);

// Milliseconds of a duration in seconds; 0 for one that is negative, not finite or beyond int64.
int64_t MillisecondsOf(double seconds);

// What our reader of the frame header and the VBR header knows better than libavformat.
struct Mp3Facts {
    bool valid = false;     // a frame was found
    int64_t durationMs = 0; // from the frame count or the bytes between the tags
    int64_t bitrate = 0;    // bit/s, 0 when unknown
    bool vbr = false;
    bool dualChannel = false;
    bool jointStereo = false;
    const char* version = "1"; // "1", "2" or "2.5"
    int layer = 3;
};
Mp3Facts Mp3FactsOf(const tags::TMPEGaudio& mpeg);

} // namespace quillotone
