// tagdump's "ogg" section: TOggVorbis's stream properties, the eight values, the vendor string and the
// other comments. --write ogg takes Title, Artist, Album, Date, Genre, Comment, Copyright and Track.
#include "section.h"

#include "tags/io/text.h"
#include "tags/vorbis/ogg_vorbis.h"

#include <cstdio>

namespace tagdump {

namespace {

struct TField {
    const char* name;
    tags::TagText tags::TOggVorbis::*field;
};
constexpr TField kFields[] = {
    {"Title", &tags::TOggVorbis::Title},         {"Artist", &tags::TOggVorbis::Artist},
    {"Album", &tags::TOggVorbis::Album},         {"Date", &tags::TOggVorbis::Date},
    {"Genre", &tags::TOggVorbis::Genre},         {"Comment", &tags::TOggVorbis::Comment},
    {"Copyright", &tags::TOggVorbis::Copyright},
};

bool DumpOgg(const std::filesystem::path& file, Json& out) {
    tags::TOggVorbis ogg;
    if (!ogg.ReadInfo(file)) return false;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f", ogg.Duration());
    out.Set("FileSize", ogg.FileSize)
        .Set("ID3v2Size", ogg.ID3v2Size)
        .Set("ChannelMode", ogg.ChannelMode)
        .Set("SampleRate", ogg.SampleRate)
        .Set("BitRateNominal", ogg.BitRateNominal)
        .Set("Samples", ogg.Samples)
        .Set("Duration", duration)
        .Set("BitRate", ogg.BitRate())
        .Set("Valid", ogg.Valid());
    for (const auto& f : kFields)
        out.Set(f.name, ogg.*f.field);
    out.Set("Track", ogg.Track).Set("Vendor", ogg.Vendor);
    Json others = Json::Array();
    for (const auto& c : ogg.OtherComments) {
        // a picture or another long value: its key and length are enough to recognise it
        if (c.size() <= 256 && tags::IsValidUtf8(c))
            others.Push(c);
        else
            others.Push(Json::Object()
                            .Set("Key", c.substr(0, c.find('=')))
                            .Set("Length", static_cast<int64_t>(c.size())));
    }
    out.Set("OtherComments", std::move(others));
    return true;
}

bool TakesOgg(const std::string& field) {
    for (const auto& f : kFields)
        if (field == f.name) return true;
    return field == "Track";
}

bool WriteOgg(const std::filesystem::path& file, const Fields& fields) {
    tags::TOggVorbis ogg;
    if (!ogg.ReadInfo(file)) return false;
    for (const auto& [name, value] : fields) {
        for (const auto& f : kFields)
            if (name == f.name) ogg.*f.field = value;
        if (name == "Track") {
            int track = tags::ParseInt(value, 0);
            ogg.Track = static_cast<uint16_t>(track < 0 ? 0 : track > 65535 ? 65535 : track);
        }
    }
    return ogg.WriteComments(file);
}

const bool registered = Register({"ogg", 50, DumpOgg, TakesOgg, WriteOgg});

} // namespace

} // namespace tagdump
