// TMPEGaudio on arbitrary bytes: the search never crashes and what it finds lies within the stream.
#include "tags/mpeg/mpeg_audio.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    tags::TMPEGaudio mpeg;
    if (!mpeg.ReadInfo(input)) std::abort(); // a memory stream can always be read
    const auto n = static_cast<int64_t>(size);
    if (mpeg.Frame.Found) {
        if (mpeg.AudioStart < 0 || mpeg.AudioStart + 4 > n || mpeg.AudioEnd > n || mpeg.Frame.Size == 0)
            std::abort();
        if (!tags::IsFrameHeader(data + mpeg.AudioStart)) std::abort();
    } else if (mpeg.Valid() || mpeg.ID3v2.Exists() || mpeg.ID3v1.Exists()) {
        std::abort();
    }
    double d = mpeg.Duration();
    if (std::isnan(d) || d < 0) std::abort();
    (void)mpeg.BitRate();
    return 0;
}
