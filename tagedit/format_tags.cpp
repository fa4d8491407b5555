#include "tagedit/format_tags.h"

#include "tags/io/text.h"
#include "tags/mpeg/mpeg_audio.h"

#include <algorithm>
#include <string>
#include <vector>

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

int TrackFromTagText(std::string_view text) {
    return TrackFromText(Trim(text.substr(0, text.find('/'))));
}

TagText TrackTagText(int track, std::string_view current) {
    if (track <= 0) return {};
    const size_t slash = current.find('/');
    const bool total = slash != std::string_view::npos && slash + 1 < current.size();
    return TrackToText(track) + std::string(total ? current.substr(slash) : std::string_view());
}

const std::array<std::string_view, kFieldCount> FieldNames = {
    "Artist", "Title", "TrackNumber", "Album", "Year", "Genre", "Comment", "Copyright", "URL", "EncodedBy"};

std::optional<Field> FieldFromName(std::string_view name) {
    for (size_t i = 0; i < FieldNames.size(); ++i)
        if (SameTextAscii(name, FieldNames[i])) return static_cast<Field>(i);
    return std::nullopt;
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

void SetFieldText(TagFields& fields, Field field, std::string_view text) {
    for (const FieldMapping& m : FieldMap)
        if (m.field == field) {
            if (m.text)
                fields.*m.text = TagText(text);
            else
                fields.Track = TrackFromText(text);
        }
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
     &TTagsData::Author, "IART"},
    {Field::Title, &TagFields::Title, A::ReadWrite, V1<&TID3v1::Title>, &TID3v1::SetTitle, A::ReadWrite,
     V2::Title, &TID3v2::SetTitle, A::ReadWrite, "Title", A::ReadWrite, &TOggVorbis::Title, A::ReadWrite,
     &TTagsData::Title, "INAM"},
    {Field::Track, nullptr, A::ReadWrite, nullptr, nullptr, A::ReadWrite, V2::TrackText, nullptr,
     A::ReadWrite, "Track", A::ReadWrite, nullptr, A::ReadWrite, &TTagsData::TrackNumber, "ITRK"},
    {Field::Album, &TagFields::Album, A::ReadWrite, V1<&TID3v1::Album>, &TID3v1::SetAlbum, A::ReadWrite,
     V2::Album, &TID3v2::SetAlbum, A::ReadWrite, "Album", A::ReadWrite, &TOggVorbis::Album, A::ReadWrite,
     &TTagsData::AlbumTitle, "IPRD"},
    {Field::Year, &TagFields::Year, A::ReadWrite, V1<&TID3v1::Year>, &TID3v1::SetYear, A::ReadWrite, V2::Year,
     &TID3v2::SetYear, A::ReadWrite, "Year", A::ReadWrite, &TOggVorbis::Date, A::ReadWrite, &TTagsData::Year,
     "ICRD"},
    {Field::Genre, &TagFields::Genre, A::ReadWrite, V1Genre, &TID3v1::SetGenre, A::ReadWrite, V2::Genre,
     &TID3v2::SetGenre, A::ReadWrite, "Genre", A::ReadWrite, &TOggVorbis::Genre, A::ReadWrite,
     &TTagsData::Genre, "IGNR"},
    {Field::Comment, &TagFields::Comment, A::ReadWrite, V1<&TID3v1::Comment>, &TID3v1::SetComment,
     A::ReadWrite, V2::Comment, &TID3v2::SetComment, A::ReadWrite, "Comment", A::ReadWrite,
     &TOggVorbis::Comment, A::ReadWrite, &TTagsData::Description, "ICMT"},
    {Field::Copyright, &TagFields::Copyright, A::None, nullptr, nullptr, A::ReadWrite, V2::Copyright,
     &TID3v2::SetCopyright, A::ReadWrite, "Copyright", A::ReadWrite, &TOggVorbis::Copyright, A::ReadWrite,
     &TTagsData::Copyright, "ICOP"},
    {Field::URL, &TagFields::URL, A::None, nullptr, nullptr, A::ReadWrite, V2::Link, &TID3v2::SetLink,
     A::ReadOnly, "URL", A::None, nullptr, A::ReadWrite, &TTagsData::URL, ""},
    {Field::EncodedBy, &TagFields::EncodedBy, A::None, nullptr, nullptr, A::ReadWrite, V2::Encoder,
     &TID3v2::SetEncoder, A::ReadOnly, "Encodedby", A::None, nullptr, A::ReadWrite, &TTagsData::EncodedBy,
     "ITCH"},
}};

// Names as the common taggers and players write them. "Cover Art (...)", METADATA_BLOCK_PICTURE,
// APIC and WM/Picture hold the pictures; the track total rides on the ten fields' track text.
const std::array<CommonFieldMapping, 37> CommonFieldMap = {{
    {"Album artist", "TPE2", "Album Artist", "ALBUMARTIST", "WM/AlbumArtist", Part::Whole, "ALBUM ARTIST"},
    {"Disc number", "TPOS", "Disc", "DISCNUMBER", "WM/PartOfSet", Part::Number},
    {"Disc total", "TPOS", "Disc", "DISCTOTAL", "WM/PartOfSet", Part::Total, "TOTALDISCS"},
    {"Track total", "TRCK", "Track", "TRACKTOTAL", "WM/TrackNumber", Part::Total, "TOTALTRACKS"},
    {"Composer", "TCOM", "Composer", "COMPOSER", "WM/Composer"},
    {"Conductor", "TPE3", "Conductor", "CONDUCTOR", "WM/Conductor"},
    {"Lyricist", "TEXT", "Lyricist", "LYRICIST", "WM/Writer"},
    {"Remixer", "TPE4", "MixArtist", "REMIXER", "WM/ModifiedBy"},
    {"Lyrics", "USLT", "Lyrics", "LYRICS", "WM/Lyrics", Part::Whole, "UNSYNCEDLYRICS"},
    {"BPM", "TBPM", "BPM", "BPM", "WM/BeatsPerMinute"},
    {"Grouping", "TIT1", "Grouping", "GROUPING", "WM/ContentGroupDescription"},
    {"Subtitle", "TIT3", "Subtitle", "SUBTITLE", "WM/SubTitle"},
    {"Label", "TPUB", "Label", "LABEL", "WM/Publisher", Part::Whole, "ORGANIZATION"},
    {"ISRC", "TSRC", "ISRC", "ISRC", "WM/ISRC"},
    {"Language", "TLAN", "Language", "LANGUAGE", "WM/Language"},
    {"Original artist", "TOPE", "Original Artist", "ORIGINALARTIST", "WM/OriginalArtist"},
    {"Original album", "TOAL", "Original Album", "ORIGINALALBUM", "WM/OriginalAlbumTitle"},
    {"Artist sort order", "TSOP", "ArtistSort", "ARTISTSORT", "WM/ArtistSortOrder"},
    {"Album sort order", "TSOA", "AlbumSort", "ALBUMSORT", "WM/AlbumSortOrder"},
    {"Title sort order", "TSOT", "TitleSort", "TITLESORT", "WM/TitleSortOrder"},
    {"Album artist sort order", "TSO2", "AlbumArtistSort", "ALBUMARTISTSORT", "WM/AlbumArtistSortOrder"},
    {"ReplayGain track gain", "TXXX:REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_GAIN",
     "replaygain_track_gain"},
    {"ReplayGain track peak", "TXXX:REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_TRACK_PEAK",
     "replaygain_track_peak"},
    {"ReplayGain album gain", "TXXX:REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_GAIN",
     "replaygain_album_gain"},
    {"ReplayGain album peak", "TXXX:REPLAYGAIN_ALBUM_PEAK", "REPLAYGAIN_ALBUM_PEAK", "REPLAYGAIN_ALBUM_PEAK",
     "replaygain_album_peak"},
    {"MusicBrainz recording id", "UFID:http://musicbrainz.org", "MUSICBRAINZ_TRACKID", "MUSICBRAINZ_TRACKID",
     "MusicBrainz/Track Id"},
    {"MusicBrainz release id", "TXXX:MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID", "MUSICBRAINZ_ALBUMID",
     "MusicBrainz/Album Id"},
    {"MusicBrainz artist id", "TXXX:MusicBrainz Artist Id", "MUSICBRAINZ_ARTISTID", "MUSICBRAINZ_ARTISTID",
     "MusicBrainz/Artist Id"},
    {"MusicBrainz release artist id", "TXXX:MusicBrainz Album Artist Id", "MUSICBRAINZ_ALBUMARTISTID",
     "MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz/Album Artist Id"},
    {"MusicBrainz release group id", "TXXX:MusicBrainz Release Group Id", "MUSICBRAINZ_RELEASEGROUPID",
     "MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz/Release Group Id"},
    {"MusicBrainz track id", "TXXX:MusicBrainz Release Track Id", "MUSICBRAINZ_RELEASETRACKID",
     "MUSICBRAINZ_RELEASETRACKID", "MusicBrainz/Release Track Id"},
    {"MusicBrainz work id", "TXXX:MusicBrainz Work Id", "MUSICBRAINZ_WORKID", "MUSICBRAINZ_WORKID",
     "MusicBrainz/Work Id"},
    {"MusicBrainz release type", "TXXX:MusicBrainz Album Type", "MUSICBRAINZ_ALBUMTYPE", "RELEASETYPE",
     "MusicBrainz/Album Type"},
    {"MusicBrainz release status", "TXXX:MusicBrainz Album Status", "MUSICBRAINZ_ALBUMSTATUS",
     "RELEASESTATUS", "MusicBrainz/Album Status"},
    {"MusicBrainz release country", "TXXX:MusicBrainz Album Release Country", "RELEASECOUNTRY",
     "RELEASECOUNTRY", "MusicBrainz/Album Release Country"},
    {"AcoustID", "TXXX:Acoustid Id", "ACOUSTID_ID", "ACOUSTID_ID", "Acoustid/Id"},
    {"AcoustID fingerprint", "TXXX:Acoustid Fingerprint", "ACOUSTID_FINGERPRINT", "ACOUSTID_FINGERPRINT",
     "Acoustid/Fingerprint"},
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

// APEv2 keeps several values of an item apart with zero bytes; a repeated value shows once.
TagText JoinedValues(std::string_view value) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t end = std::min(value.find('\0', from), value.size());
        const std::string_view part = value.substr(from, end - from);
        if (!part.empty() && std::find(parts.begin(), parts.end(), part) == parts.end())
            parts.push_back(part);
        if (end == value.size()) break;
        from = end + 1;
    }
    TagText out;
    for (const auto& part : parts)
        out += (out.empty() ? "" : "; ") + std::string(part);
    return out;
}

TagFields FromAPEv2(const TAPETag& tag) {
    TagFields fields;
    for (const FieldMapping& m : FieldMap) {
        const std::string value = tag.ItemValue(std::string(m.apeKey));
        if (m.text)
            fields.*m.text = JoinedValues(value);
        else
            fields.Track = TrackFromTagText(value);
    }
    return fields;
}

void ToID3v1(TID3v1& tag, const TagFields& fields, const FieldSet& set) {
    for (const FieldMapping& m : FieldMap) {
        if (m.id3v1 != Access::ReadWrite || !set[static_cast<size_t>(m.field)]) continue;
        if (m.text)
            (tag.*m.id3v1Set)(fields.*m.text);
        else
            tag.SetTrack(static_cast<uint8_t>(ClampTrack(fields.Track)));
    }
}

void ToID3v2(TID3v2& tag, const TagFields& fields, const FieldSet& set) {
    for (const FieldMapping& m : FieldMap) {
        if (m.id3v2 != Access::ReadWrite || !set[static_cast<size_t>(m.field)]) continue;
        if (m.text)
            (tag.*m.id3v2Set)(fields.*m.text);
        else
            tag.SetTrack(static_cast<uint16_t>(ClampTrack(fields.Track)));
    }
}

// The fields a tag is written with.
FieldSet WrittenTo(Access FieldMapping::*tag) {
    FieldSet set;
    for (const FieldMapping& m : FieldMap)
        if (m.*tag == Access::ReadWrite) set.set(static_cast<size_t>(m.field));
    return set;
}

// An empty value removes the item: an item that says nothing, or a track "0", is no tag.
void ToAPEv2(TAPETag& tag, const TagFields& fields, const FieldSet& set) {
    for (Field f : kApeWriteOrder) {
        const FieldMapping& m = MappingOf(f);
        if (m.ape != Access::ReadWrite || !set[static_cast<size_t>(f)]) continue;
        const std::string key(m.apeKey);
        const TagText value = m.text ? fields.*m.text : TrackTagText(fields.Track, tag.ItemValue(key));
        if (!value.empty()) {
            tag.SetItem(key, value);
            continue;
        }
        auto& items = tag.Items();
        items.erase(std::remove_if(items.begin(), items.end(),
                                   [&](const RField& item) { return SameTextAscii(item.Key, key); }),
                    items.end());
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
            fields.Track = TrackFromTagText(data.*m.wmaText);
    }
    return fields;
}

bool WriteMp3Tags(const std::filesystem::path& path, const TagFields& fields, int writeFormat,
                  const FieldSet& edited) {
    return WriteMp3Tags(path, fields, writeFormat, edited, TagHooks{});
}

bool WriteMp3Tags(const std::filesystem::path& path, const TagFields& fields, int writeFormat,
                  const FieldSet& edited, const TagHooks& hooks) {
    if (writeFormat < 0 || writeFormat >= static_cast<int>(WriteFormats.size())) return false;
    if (edited.none()) return true;
    const WriteFormatEntry& format = WriteFormats[static_cast<size_t>(writeFormat)];
    TMPEGaudio mpeg;
    if (!mpeg.ReadInfo(path) || !mpeg.Valid()) return false;

    bool apeRead = false;
    // A tag that holds none of the edited fields is not saved at all.
    std::array<bool, 2> untouched{};
    for (int i = 0; i < format.count; ++i) {
        bool& same = untouched[static_cast<size_t>(i)];
        switch (format.tags[static_cast<size_t>(i)]) {
        case TagType::ID3v1:
            same = mpeg.ID3v1.Exists() && (edited & WrittenTo(&FieldMapping::id3v1)).none();
            ToID3v1(mpeg.ID3v1, fields, mpeg.ID3v1.Exists() ? edited : kAllFields);
            if (hooks.id3v1) hooks.id3v1(mpeg.ID3v1);
            break;
        case TagType::ID3v2:
            // A header that claims more than the file holds counts as no tag, and a new one goes in front
            // of it. But an ID3v1 append first could make the claim fit, and the new tag would be written
            // in place over the audio: such a save is refused before anything is written.
            if (i > 0 && format.tags[0] == TagType::ID3v1 && mpeg.ID3v2.Exists() && mpeg.ID3v2.Size() == 0)
                return false;
            same = mpeg.ID3v2.Exists() && (edited & WrittenTo(&FieldMapping::id3v2)).none();
            ToID3v2(mpeg.ID3v2, fields, mpeg.ID3v2.Exists() ? edited : kAllFields);
            if (hooks.id3v2) hooks.id3v2(mpeg.ID3v2);
            break;
        case TagType::APEv2:
            // The items the file holds now, so every item we do not own keeps its value and place.
            apeRead = mpeg.APEtag.ReadTags(path);
            same = apeRead && mpeg.APEtag.Exists() && (edited & WrittenTo(&FieldMapping::ape)).none();
            if (apeRead) ToAPEv2(mpeg.APEtag, fields, mpeg.APEtag.Exists() ? edited : kAllFields);
            if (apeRead && hooks.ape) hooks.ape(mpeg.APEtag);
            break;
        }
    }
    // Each save must succeed before the next is tried.
    for (int i = 0; i < format.count; ++i) {
        if (untouched[static_cast<size_t>(i)]) continue;
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
        if (hooks.saved) hooks.saved(format.tags[static_cast<size_t>(i)]);
    }
    return true;
}

bool WriteOggTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited) {
    return WriteOggTags(path, fields, edited, TagHooks{});
}

bool WriteOggTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
                  const TagHooks& hooks) {
    if ((edited & WrittenTo(&FieldMapping::ogg)).none() && !hooks.ogg) return true;
    TOggVorbis ogg;
    if (!ogg.ReadInfo(path) || !ogg.Valid()) return false;
    // The fields that are not set still show the file's comments, which the write then keeps.
    for (const FieldMapping& m : FieldMap) {
        if (m.ogg != Access::ReadWrite || !edited[static_cast<size_t>(m.field)]) continue;
        if (m.text)
            ogg.*m.oggText = fields.*m.text;
        else
            ogg.Track = static_cast<uint16_t>(ClampTrack(fields.Track));
    }
    if (hooks.ogg) hooks.ogg(ogg);
    return ogg.WriteComments(path);
}

bool WriteWmaTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited) {
    return WriteWmaTags(path, fields, edited, TagHooks{});
}

bool WriteWmaTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
                  const TagHooks& hooks) {
    if (edited.none() && !hooks.wma) return true;
    try {
        // The record as the file shows it: the attributes of the fields that are not set stay.
        TTagsData data;
        if (!ReadWmaAttributes(path, data)) return false;
        for (const FieldMapping& m : FieldMap) {
            if (m.wma != Access::ReadWrite || !edited[static_cast<size_t>(m.field)]) continue;
            data.*m.wmaText = m.text ? fields.*m.text : TrackTagText(fields.Track, data.*m.wmaText);
        }
        std::vector<TAsfAttribute> added;
        if (hooks.wma) hooks.wma(data, added);
        std::vector<size_t> refused;
        const bool written = WriteWmaAttributes(path, data, added, &refused);
        if (written && hooks.wmaRefused) hooks.wmaRefused(refused);
        return written;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<TagFields> ReadTags(const std::filesystem::path& path, int readPriority) {
    switch (KindFromExtension(path).value_or(AudioKind::Wav)) {
    case AudioKind::Mp3:
        return ReadMp3Tags(path, readPriority);
    case AudioKind::Ogg:
        return ReadOggTags(path);
    case AudioKind::Wma:
        return ReadWmaTags(path);
    case AudioKind::Wav:
        break;
    }
    return std::nullopt;
}

bool WriteTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
               int writeFormat) {
    switch (KindFromExtension(path).value_or(AudioKind::Wav)) {
    case AudioKind::Mp3:
        return WriteMp3Tags(path, fields, writeFormat, edited);
    case AudioKind::Ogg:
        return WriteOggTags(path, fields, edited);
    case AudioKind::Wma:
        return WriteWmaTags(path, fields, edited);
    case AudioKind::Wav:
        break;
    }
    return false;
}

} // namespace tagedit
