// tagdump's "id3v2" section: TID3v2's fields, and the IDs of every frame of the tag in file order
// (so that a hand check sees which frames a write carried over).
#include "section.h"

#include "tags/id3v2/id3v2.h"
#include "tags/id3v2/id3v2_frames.h"
#include "tags/io/text.h"

#include <stdexcept>

namespace tagdump {

namespace {

using tags::TID3v2;
using Field = TID3v2::Field;

struct TNamedField {
    const char* name;
    Field field;
    void (TID3v2::*set)(const tags::TagText&); // null for the fields without a setter
};

constexpr TNamedField NamedFields[] = {
    {"Title", Field::Title, &TID3v2::SetTitle},       {"Artist", Field::Artist, &TID3v2::SetArtist},
    {"Album", Field::Album, &TID3v2::SetAlbum},       {"TrackText", Field::TrackText, nullptr},
    {"Year", Field::Year, &TID3v2::SetYear},          {"Genre", Field::Genre, &TID3v2::SetGenre},
    {"Comment", Field::Comment, &TID3v2::SetComment}, {"Composer", Field::Composer, nullptr},
    {"Encoder", Field::Encoder, &TID3v2::SetEncoder}, {"Copyright", Field::Copyright, &TID3v2::SetCopyright},
    {"Language", Field::Language, nullptr},           {"Link", Field::Link, &TID3v2::SetLink},
    {"AudioSizeText", Field::AudioSizeText, nullptr},
};

bool DumpId3v2(const std::filesystem::path& file, Json& out) {
    tags::TWideFileStream stream(file, tags::ModeReadShared); // throws when the file cannot be read
    TID3v2 tag;
    if (!tag.ReadTags(stream) || !tag.Exists()) return false; // also a file shorter than a header
    out.Set("Exists", tag.Exists()).Set("VersionID", tag.VersionID()).Set("Size", tag.Size());
    out.Set("Track", tag.Track());
    for (const auto& f : NamedFields)
        out.Set(f.name, tag.Text(f.field));
    tags::id3v2::TParsedTag parsed;
    tags::id3v2::ParseTag(stream, parsed);
    Json frames = Json::Array();
    for (const auto& frame : parsed.frames)
        frames.Push(frame.id);
    out.Set("Frames", std::move(frames));
    return true;
}

bool TakesId3v2(const std::string& field) {
    if (tags::SameTextAscii(field, "Track")) return true;
    for (const auto& f : NamedFields)
        if (f.set && tags::SameTextAscii(f.name, field)) return true;
    return false;
}

bool WriteId3v2(const std::filesystem::path& file, const Fields& fields) {
    TID3v2 tag;
    if (!tag.ReadTags(file)) return false;
    for (const auto& [field, value] : fields) {
        if (tags::SameTextAscii(field, "Track")) {
            const int n = tags::ParseInt(value, -1);
            if (n < 0 || n > 65535) throw std::runtime_error("Track must be a number from 0 to 65535");
            tag.SetTrack(static_cast<uint16_t>(n));
            continue;
        }
        for (const auto& f : NamedFields)
            if (f.set && tags::SameTextAscii(f.name, field)) (tag.*f.set)(value);
    }
    return tag.WriteTags(file);
}

const bool registered = Register({"id3v2", 20, DumpId3v2, TakesId3v2, WriteId3v2});

} // namespace

} // namespace tagdump
