// The information component's own checks on arbitrary bytes: the probe window behind a leading tag,
// the container signatures, and the MP3 facts of our frame and VBR header reader. They never crash,
// and what they give lies within the input and within range.
#include "conversion/audio_checks.h"
#include "tags/io/files.h"
#include "tags/mpeg/mpeg_audio.h"

#include <cstdlib>
#include <cstring>

using namespace quillotone;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    const int64_t skip = tags::LeadingTagSize(input);
    std::vector<uint8_t> window = ProbeWindow(input);
    if (skip < 0 || skip > static_cast<int64_t>(size) || window.size() > kProbeBytes ||
        window.size() > size - static_cast<size_t>(skip) ||
        (!window.empty() && std::memcmp(window.data(), data + skip, window.size()) != 0))
        std::abort();
    (void)ContainerBySignature(window.data(), window.size());

    tags::TMPEGaudio mpeg;
    tags::TMemoryStream again(data, size);
    if (!mpeg.ReadInfo(again)) std::abort(); // a memory stream can always be read
    Mp3Facts facts = Mp3FactsOf(mpeg);
    if (facts.durationMs < 0 || facts.bitrate < 0 || facts.layer < 1 || facts.layer > 4) std::abort();
    if (!facts.valid && (facts.durationMs != 0 || facts.bitrate != 0)) std::abort();
    // the texts the component takes from the tags when libavformat shows none
    if (mpeg.ID3v2.Exists()) (void)mpeg.ID3v2.Link();
    if (mpeg.ID3v1.Exists()) (void)mpeg.ID3v1.Genre();
    return 0;
}
