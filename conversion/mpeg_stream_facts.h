// The few facts about an MP3 stream that libavformat gets wrong or does not tell: the duration
// when tags sit at the end, the dual-channel mode, the VBR frame count.
#pragma once

#include <cstdint>
#include <string>

namespace quillotone {

struct MpegStreamFacts {
    bool valid = false;
    std::string version; // "1", "2", "2.5"
    int layer = 0;
    int channelMode = 0; // 1 mono, 2 stereo, 3 dual channel
    bool jointStereo = false;
    bool vbr = false; // a Xing or VBRI header with a frame count
    int64_t durationMs = 0;
    int64_t averageBitrate = 0; // bit/s
};

MpegStreamFacts ReadMpegStreamFacts(const std::string& path, int64_t fileSize);

} // namespace quillotone
