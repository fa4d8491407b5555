// Feeds bytes to the ID3v2 reader as a file, then checks that the tag the writer builds from what was
// read reads back the same fields.
#include "tags/id3v2/id3v2.h"
#include "tags/io/text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// UTF-16 text ends at its first zero unit, so a value holding a zero byte only survives up to it
// (and is trimmed once more there).
std::string FirstValue(std::string_view text) {
    return tags::Trim(text.substr(0, text.find('\0')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tags::TID3v2;
    tags::TMemoryStream file(data, size);
    TID3v2 tag;
    if (!tag.ReadTags(file)) return 0;
    TID3v2::TWritePlan plan;
    if (!tag.PlanWrite(file, plan)) return 0;
    if (plan.tag.size() < 10 || plan.keepFrom > file.Size() ||
        (plan.inPlace && plan.keepFrom != int64_t(plan.tag.size())))
        std::abort();
    tags::TMemoryStream written(plan.tag);
    TID3v2 back;
    if (!back.ReadTags(written) || !back.Exists() || back.Size() != plan.tag.size()) std::abort();
    for (int f = 0; f < int(TID3v2::Field::Count); ++f) {
        const auto field = TID3v2::Field(f);
        if (field == TID3v2::Field::TrackText || field == TID3v2::Field::AudioSizeText)
            continue; // the track is written from Track, the audio size not at all
        if (FirstValue(back.Text(field)) != FirstValue(tag.Text(field))) std::abort();
    }
    if (back.Track() != tag.Track()) std::abort();
    return 0;
}
