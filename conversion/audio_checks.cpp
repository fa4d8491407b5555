#include "conversion/audio_checks.h"

#include "tags/io/files.h"
#include "tags/mpeg/mpeg_audio.h"

#include <cmath>
#include <cstring>

namespace quillotone {

std::vector<uint8_t> ProbeWindow(tags::TStream& stream) {
    stream.Seek(tags::LeadingTagSize(stream));
    return stream.ReadBytes(kProbeBytes);
}

ContainerKind ContainerBySignature(const uint8_t* data, size_t size) {
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0)
        return ContainerKind::Wav;
    if (size >= 4 && std::memcmp(data, "OggS", 4) == 0) {
        // the first page's segment table, then the first packet
        if (size > 27) {
            size_t packet = 27 + size_t(data[26]);
            if (packet + 7 <= size && std::memcmp(data + packet, "\x01vorbis", 7) == 0)
                return ContainerKind::OggVorbis;
        }
        return ContainerKind::OggOther;
    }
    static constexpr uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (size >= 16 && std::memcmp(data, kAsfHeader, 16) == 0) return ContainerKind::Asf;
    return ContainerKind::Unknown;
}

int64_t MillisecondsOf(double seconds) {
    // 9.2e15 s: the doubles below this bound convert to int64 milliseconds without overflow
    if (!std::isfinite(seconds) || seconds <= 0 || seconds >= 9.2e15) return 0;
    return static_cast<int64_t>(seconds * 1000);
}

Mp3Facts Mp3FactsOf(const tags::TMPEGaudio& mpeg) {
    Mp3Facts facts;
    facts.valid = mpeg.Valid();
    if (!facts.valid) return facts;
    const tags::TFrameData& frame = mpeg.Frame;
    // libavformat counts an APEv2 tag as audio; the frame count or the bytes between the tags do not
    facts.durationMs = MillisecondsOf(mpeg.Duration());
    facts.bitrate = int64_t(mpeg.BitRate()) * 1000;
    facts.vbr = mpeg.VBR.Found;
    facts.dualChannel = frame.Mode == 2;
    facts.jointStereo = frame.Mode == 1;
    facts.version = frame.Version == 3 ? "1" : frame.Version == 2 ? "2" : "2.5";
    facts.layer = 4 - frame.Layer;
    return facts;
}

} // namespace quillotone
