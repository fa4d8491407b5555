// TID3v1 with Lyrics3 on arbitrary bytes: reading never crashes, and what a write stores reads back.
#include "tags/id3v1/id3v1.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    tags::TID3v1 tag;
    tag.ReadFrom(input);
    if (tag.TrailerSize() > static_cast<int64_t>(size)) std::abort();

    tags::TMemoryStream copy(data, size);
    tags::TID3v1 writer = tag;
    writer.WriteTo(copy);
    tags::TID3v1 back;
    back.ReadFrom(copy);
    if (!back.Exists() || back.GenreID() != tag.GenreID() || back.Track() != tag.Track()) std::abort();
    if (!tag.Lyrics().empty() && tag.Lyrics().size() <= 99999 && back.Lyrics() != tag.Lyrics()) std::abort();
    return 0;
}
