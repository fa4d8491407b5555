// tagdump's "wma" section: the TTagsData record of ReadWmaAttributes. --write wma takes the twelve
// text fields by their record names.
#include "section.h"

#include "tags/asf/wma_attributes.h"

namespace tagdump {

namespace {

struct TField {
    const char* name;
    tags::TagText tags::TTagsData::*field;
    bool written;
};
constexpr TField kFields[] = {
    {"EncodedBy", &tags::TTagsData::EncodedBy, true},
    {"SdkVersion", &tags::TTagsData::SdkVersion, false},
    {"Genre", &tags::TTagsData::Genre, true},
    {"Author", &tags::TTagsData::Author, true},
    {"Title", &tags::TTagsData::Title, true},
    {"AlbumTitle", &tags::TTagsData::AlbumTitle, true},
    {"Composer", &tags::TTagsData::Composer, true},
    {"URL", &tags::TTagsData::URL, true},
    {"TrackNumber", &tags::TTagsData::TrackNumber, true},
    {"Year", &tags::TTagsData::Year, true},
    {"Copyright", &tags::TTagsData::Copyright, true},
    {"Description", &tags::TTagsData::Description, true},
    {"Lyrics", &tags::TTagsData::Lyrics, true},
};

bool DumpWma(const std::filesystem::path& file, Json& out) {
    tags::TTagsData data;
    if (!tags::ReadWmaAttributes(file, data)) return false;
    for (const auto& f : kFields)
        out.Set(f.name, data.*f.field);
    out.Set("Bitrate", data.Bitrate)
        .Set("FileSize", data.FileSize)
        .Set("Duration", data.Duration)
        .Set("IsVBR", data.IsVBR);
    return true;
}

bool TakesWma(const std::string& field) {
    for (const auto& f : kFields)
        if (f.written && field == f.name) return true;
    return false;
}

bool WriteWma(const std::filesystem::path& file, const Fields& fields) {
    tags::TTagsData data;
    if (!tags::ReadWmaAttributes(file, data)) return false;
    for (const auto& [name, value] : fields)
        for (const auto& f : kFields)
            if (f.written && name == f.name) data.*f.field = value;
    return tags::WriteWmaAttributes(file, data);
}

const bool registered = Register({"wma", 60, DumpWma, TakesWma, WriteWma});

} // namespace

} // namespace tagdump
