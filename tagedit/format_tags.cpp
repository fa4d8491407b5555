#include "tagedit/format_tags.h"

#include "tags/io/text.h"
#include "tags/mpeg/mpeg_audio.h"

#include <algorithm>
#include <string>

namespace tagedit {

using namespace tags;

std::optional<AudioKind> KindFromExtension(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    const std::string_view ext = std::string_view(name).substr(dot);
    for (size_t i = 0; i < KindExtensions.size(); ++i)
        if (SameTextAscii(ext, KindExtensions[i])) return static_cast<AudioKind>(i);
    return std::nullopt;
}

int ClampTrack(long long value) {
    return static_cast<int>(std::clamp<long long>(value, 0, kMaxTrack));
}

int TrackFromText(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    std::string_view digits = !text.empty() && (text[0] == '+' || negative) ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return 0;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    // A whole number too long for 64 bits is still outside the range on its side.
    if (digits.size() > 18) return negative ? 0 : kMaxTrack;
    return ClampTrack(ParseInt64(text, 0));
}

TagText TrackToText(int track) {
    return std::to_string(ClampTrack(track));
}

TagFields FieldsFromColumns(const std::array<TagText, kFieldCount>& columns) {
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        const TagText& column = columns[static_cast<size_t>(m.field)];
        if (m.text)
            fields.*m.text = column;
        else
            fields.Track = TrackFromText(column);
    }
    return fields;
}

std::array<TagText, kFieldCount> ColumnsFromFields(const TagFields& fields) {
    std::array<TagText, kFieldCount> columns;
    for (const FieldMapping& m : FieldMap)
        columns[static_cast<size_t>(m.field)] = m.text ? fields.*m.text : TrackToText(fields.Track);
    return columns;
}

namespace {

using A = Access;
using V2 = TID3v2::Field;

template <const TagText& (TID3v1::*Get)() const> TagText V1(const TID3v1& tag) {
    return (tag.*Get)();
}
TagText V1Genre(const TID3v1& tag) {
    return tag.Genre();
}

} // namespace

const std::array<FieldMapping, kFieldCount> FieldMap = {{
    {Field::Artist, &TagFields::Artist, A::ReadWrite, V1<&TID3v1::Artist>, &TID3v1::SetArtist, A::ReadWrite,
     V2::Artist, &TID3v2::SetArtist, A::ReadWrite, "Artist", A::ReadWrite, &TOggVorbis::Artist, A::ReadWrite,
     &TTagsData::Author},
    {Field::Title, &TagFields::Title, A::ReadWrite, V1<&TID3v1::Title>, &TID3v1::SetTitle, A::ReadWrite,
     V2::Title, &TID3v2::SetTitle, A::ReadWrite, "Title", A::ReadWrite, &TOggVorbis::Title, A::ReadWrite,
     &TTagsData::Title},
    {Field::Track, nullptr, A::ReadWrite, nullptr, nullptr, A::ReadWrite, V2::TrackText, nullptr,
     A::ReadWrite, "Track", A::ReadWrite, nullptr, A::ReadWrite, &TTagsData::TrackNumber},
    {Field::Album, &TagFields::Album, A::ReadWrite, V1<&TID3v1::Album>, &TID3v1::SetAlbum, A::ReadWrite,
     V2::Album, &TID3v2::SetAlbum, A::ReadWrite, "Album", A::ReadWrite, &TOggVorbis::Album, A::ReadWrite,
     &TTagsData::AlbumTitle},
    {Field::Year, &TagFields::Year, A::ReadWrite, V1<&TID3v1::Year>, &TID3v1::SetYear, A::ReadWrite, V2::Year,
     &TID3v2::SetYear, A::ReadWrite, "Year", A::ReadWrite, &TOggVorbis::Date, A::ReadWrite, &TTagsData::Year},
    {Field::Genre, &TagFields::Genre, A::ReadWrite, V1Genre, &TID3v1::SetGenre, A::ReadWrite, V2::Genre,
     &TID3v2::SetGenre, A::ReadWrite, "Genre", A::ReadWrite, &TOggVorbis::Genre, A::ReadWrite,
     &TTagsData::Genre},
    {Field::Comment, &TagFields::Comment, A::ReadWrite, V1<&TID3v1::Comment>, &TID3v1::SetComment,
     A::ReadWrite, V2::Comment, &TID3v2::SetComment, A::ReadWrite, "Comment", A::ReadWrite,
     &TOggVorbis::Comment, A::ReadWrite, &TTagsData::Description},
    {Field::Copyright, &TagFields::Copyright, A::None, nullptr, nullptr, A::ReadWrite, V2::Copyright,
     &TID3v2::SetCopyright, A::ReadWrite, "Copyright", A::ReadOnly, &TOggVorbis::Vendor, A::ReadWrite,
     &TTagsData::Copyright},
    {Field::URL, &TagFields::URL, A::None, nullptr, nullptr, A::ReadWrite, V2::Link, &TID3v2::SetLink,
     A::ReadOnly, "URL", A::None, nullptr, A::ReadWrite, &TTagsData::URL},
    {Field::EncodedBy, &TagFields::EncodedBy, A::None, nullptr, nullptr, A::ReadWrite, V2::Encoder,
     &TID3v2::SetEncoder, A::ReadOnly, "Encodedby", A::None, nullptr, A::ReadWrite, &TTagsData::EncodedBy},
}};

const std::array<ReadPriorityEntry, 4> ReadPriorities = {{
    {"APEv2 > ID3v2 > ID3v1", {TagType::APEv2, TagType::ID3v2, TagType::ID3v1}},
    {"ID3v2 > APEv2 > ID3v1", {TagType::ID3v2, TagType::APEv2, TagType::ID3v1}},
    {"ID3v1 > ID3v2 > APEv2", {TagType::ID3v1, TagType::ID3v2, TagType::APEv2}},
    {"ID3v1 > APEv2 > ID3v2", {TagType::ID3v1, TagType::APEv2, TagType::ID3v2}},
}};

const std::array<WriteFormatEntry, 6> WriteFormats = {{
    {"ID3v1", 1, {TagType::ID3v1, TagType::ID3v1}},
    {"ID3v2", 1, {TagType::ID3v2, TagType::ID3v2}},
    {"APEv2", 1, {TagType::APEv2, TagType::APEv2}},
    {"ID3v1 & ID3v2", 2, {TagType::ID3v1, TagType::ID3v2}},
    {"ID3v1 & APEv2", 2, {TagType::ID3v1, TagType::APEv2}},
    {"ID3v2 & APEv2", 2, {TagType::ID3v2, TagType::APEv2}},
}};

namespace {

// APEv2 items are set in this order, so a tag that lacks them gets them appended in it.
constexpr Field kApeWriteOrder[] = {Field::Title, Field::Artist, Field::Album,   Field::Track,
                                    Field::Year,  Field::Genre,  Field::Comment, Field::Copyright};

const FieldMapping& MappingOf(Field field) {
    return *std::find_if(FieldMap.begin(), FieldMap.end(),
                         [field](const FieldMapping& m) { return m.field == field; });
}

TagFields FromID3v1(const TID3v1& tag) {
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        if (m.id3v1 == Access::None) continue;
        if (m.text)
            fields.*m.text = m.id3v1Get(tag);
        else
            fields.Track = ClampTrack(tag.Track());
    }
    return fields;
}

TagFields FromID3v2(const TID3v2& tag) {
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        if (m.text)
            fields.*m.text = tag.Text(m.id3v2Field);
        else
            fields.Track = ClampTrack(tag.Track());
    }
    return fields;
}

TagFields FromAPEv2(const TAPETag& tag) {
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        const std::string value = tag.ItemValue(std::string(m.apeKey));
        if (m.text)
            fields.*m.text = value;
        else
            fields.Track = TrackFromText(value);
    }
    return fields;
}

void ToID3v1(TID3v1& tag, const TagFields& fields) {
    for (const FieldMapping& m : FieldMap) {
        if (m.id3v1 != Access::ReadWrite) continue;
        if (m.text)
            (tag.*m.id3v1Set)(fields.*m.text);
        else
            tag.SetTrack(static_cast<uint8_t>(ClampTrack(fields.Track)));
    }
}

void ToID3v2(TID3v2& tag, const TagFields& fields) {
    for (const FieldMapping& m : FieldMap) {
        if (m.id3v2 != Access::ReadWrite) continue;
        if (m.text)
            (tag.*m.id3v2Set)(fields.*m.text);
        else
            tag.SetTrack(static_cast<uint16_t>(ClampTrack(fields.Track)));
    }
}

void ToAPEv2(TAPETag& tag, const TagFields& fields) {
    for (Field f : kApeWriteOrder) {
        const FieldMapping& m = MappingOf(f);
        if (m.ape != Access::ReadWrite) continue;
        tag.SetItem(std::string(m.apeKey), m.text ? fields.*m.text : TrackToText(fields.Track));
    }
}

} // namespace

std::optional<TagFields> ReadMp3Tags(const std::filesystem::path& path, int readPriority) {
    if (readPriority < 0 || readPriority >= static_cast<int>(ReadPriorities.size()))
        readPriority = kDefaultReadPriority;
    TMPEGaudio mpeg;
    if (!mpeg.ReadInfo(path) || !mpeg.Valid()) return std::nullopt;
    for (TagType type : ReadPriorities[static_cast<size_t>(readPriority)].order) {
        switch (type) {
        case TagType::ID3v1:
            if (mpeg.ID3v1.Exists()) return FromID3v1(mpeg.ID3v1);
            break;
        case TagType::ID3v2:
            if (mpeg.ID3v2.Exists()) return FromID3v2(mpeg.ID3v2);
            break;
        case TagType::APEv2:
            if (mpeg.APEtag.ReadTags(path) && mpeg.APEtag.Exists()) return FromAPEv2(mpeg.APEtag);
            break;
        }
    }
    return std::nullopt;
}

std::optional<TagFields> ReadOggTags(const std::filesystem::path& path) {
    TOggVorbis ogg;
    if (!ogg.ReadInfo(path) || !ogg.Valid()) return std::nullopt;
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        if (m.ogg == Access::None) continue;
        if (m.text)
            fields.*m.text = ogg.*m.oggText;
        else
            fields.Track = ClampTrack(ogg.Track);
    }
    return fields;
}

std::optional<TagFields> ReadWmaTags(const std::filesystem::path& path) {
    TTagsData data;
    try {
        if (!ReadWmaAttributes(path, data)) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        if (m.text)
            fields.*m.text = data.*m.wmaText;
        else
            fields.Track = TrackFromText(data.*m.wmaText);
    }
    return fields;
}

bool WriteMp3Tags(const std::filesystem::path& path, const TagFields& fields, int writeFormat) {
    if (writeFormat < 0 || writeFormat >= static_cast<int>(WriteFormats.size())) return false;
    const WriteFormatEntry& format = WriteFormats[static_cast<size_t>(writeFormat)];
    TMPEGaudio mpeg;
    if (!mpeg.ReadInfo(path) || !mpeg.Valid()) return false;

    bool apeRead = false;
    for (int i = 0; i < format.count; ++i) {
        switch (format.tags[static_cast<size_t>(i)]) {
        case TagType::ID3v1:
            ToID3v1(mpeg.ID3v1, fields);
            break;
        case TagType::ID3v2:
            ToID3v2(mpeg.ID3v2, fields);
            break;
        case TagType::APEv2:
            // The items the file holds now, so every item we do not own keeps its value and place.
            apeRead = mpeg.APEtag.ReadTags(path);
            if (apeRead) ToAPEv2(mpeg.APEtag, fields);
            break;
        }
    }
    // Each save must succeed before the next is tried.
    for (int i = 0; i < format.count; ++i) {
        bool saved = false;
        switch (format.tags[static_cast<size_t>(i)]) {
        case TagType::ID3v1:
            saved = mpeg.ID3v1.WriteTags(path);
            break;
        case TagType::ID3v2:
            saved = mpeg.ID3v2.WriteTags(path);
            break;
        case TagType::APEv2:
            // Saving an object that could not read the file's items would replace them with nothing.
            saved = apeRead && mpeg.APEtag.WriteTags(path);
            break;
        }
        if (!saved) return false;
    }
    return true;
}

bool WriteOggTags(const std::filesystem::path& path, const TagFields& fields) {
    TOggVorbis ogg;
    if (!ogg.ReadInfo(path) || !ogg.Valid()) return false;
    for (const FieldMapping& m : FieldMap) {
        if (m.ogg != Access::ReadWrite) continue;
        if (m.text)
            ogg.*m.oggText = fields.*m.text;
        else
            ogg.Track = static_cast<uint16_t>(ClampTrack(fields.Track));
    }
    return ogg.WriteComments(path);
}

bool WriteWmaTags(const std::filesystem::path& path, const TagFields& fields) {
    try {
        // An empty attribute is deleted by the write, so the two fields the list does not show are
        // taken over from the file.
        TTagsData current;
        if (!ReadWmaAttributes(path, current)) return false;
        TTagsData data;
        data.Composer = current.Composer;
        data.Lyrics = current.Lyrics;
        for (const FieldMapping& m : FieldMap) {
            if (m.wma != Access::ReadWrite) continue;
            TagText value = m.text ? fields.*m.text : TrackToText(fields.Track);
            if (m.field != Field::Comment) value = CutUtf8(value, kShortStringBytes);
            data.*m.wmaText = std::move(value);
        }
        return WriteWmaAttributes(path, data);
    } catch (const std::exception&) {
        return false;
    }
}

bool TagConvertedFile(const std::filesystem::path& destination, const TagFields& fields, int outputFormat,
                      int writeFormat) {
    TagFields clamped = fields;
    clamped.Track = ClampTrack(fields.Track);
    switch (outputFormat) {
    case static_cast<int>(AudioKind::Mp3):
        return WriteMp3Tags(destination, clamped, writeFormat);
    case static_cast<int>(AudioKind::Ogg):
        return WriteOggTags(destination, clamped);
    case static_cast<int>(AudioKind::Wma):
        return WriteWmaTags(destination, clamped);
    default: // WAV carries no tags
        return false;
    }
}

} // namespace tagedit
