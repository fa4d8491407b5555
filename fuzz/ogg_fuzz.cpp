// TOggVorbis on arbitrary bytes: reading never crashes, and a comment write, applied in memory, gives a
// stream whose rebuilt pages verify and whose comments read back as written.
#include "tags/vorbis/ogg_vorbis.h"

#include <cstdlib>
#include <cstring>

namespace {

// Every page from pos on verifies and no bytes are left over, as far as pages follow each other.
void checkPages(const std::vector<uint8_t>& b, size_t pos, size_t end) {
    while (pos < end) {
        if (end - pos < 27 || std::memcmp(&b[pos], "OggS", 4) != 0) std::abort();
        size_t segs = b[pos + 26], size = 27 + segs;
        if (end - pos < size) std::abort();
        for (size_t i = 0; i < segs; ++i)
            size += b[pos + 27 + i];
        if (end - pos < size) std::abort();
        std::vector<uint8_t> page(b.begin() + pos, b.begin() + pos + size);
        uint32_t stored = page[22] | (page[23] << 8) | (page[24] << 16) | (uint32_t(page[25]) << 24);
        std::memset(&page[22], 0, 4);
        if (tags::OggChecksum(page.data(), page.size()) != stored) std::abort();
        pos += size;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    tags::TOggVorbis ogg;
    if (!ogg.ReadInfo(input)) return 0;
    if (ogg.ID3v2Size < 0 || ogg.ID3v2Size > static_cast<int64_t>(size)) std::abort();
    (void)ogg.Valid();

    ogg.Title = "Fuzz title \xf0\x9f\x8e\xb5";
    ogg.Comment = std::string(size % 3 == 0 ? 70'000 : 10, 'c'); // sometimes too large for one page
    ogg.Track = 300;
    tags::TOggWritePlan plan;
    tags::TMemoryStream file(data, size);
    if (!ogg.PlanWrite(file, plan)) return 0;
    if (plan.keepFrom < 0 || plan.keepFrom > static_cast<int64_t>(size)) std::abort();
    std::vector<uint8_t> out = plan.head;
    out.insert(out.end(), data + plan.keepFrom, data + size);
    tags::TMemoryStream written(out);
    if (plan.renumberBy != 0)
        tags::RenumberOggPages(written, static_cast<int64_t>(plan.head.size()), plan.serial, plan.renumberBy);
    // the pages we built (after the ID3v2 tag and the first page, both copied as they were) all verify
    const auto& out2 = written.Data();
    size_t first = static_cast<size_t>(ogg.ID3v2Size);
    if (out2.size() < first + 27) std::abort();
    size_t firstEnd = first + 27 + out2[first + 26];
    for (size_t i = 0; i < out2[first + 26]; ++i)
        firstEnd += out2[first + 27 + i];
    checkPages(out2, firstEnd, plan.head.size());

    tags::TOggVorbis back;
    if (!back.ReadInfo(written) || back.Title != ogg.Title || back.Comment != ogg.Comment ||
        back.Track != 300)
        std::abort();
    return 0;
}
