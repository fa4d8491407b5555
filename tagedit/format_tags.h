// The ten list fields and the tag forms they live in per audio format: which tags an MP3 file is read
// from and written to (read priority, write format), the field mapping onto each tag, and the tagging
// of a converted output file.
#pragma once

#include "tags/apev2/apetag.h"
#include "tags/asf/wma_attributes.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/io/stream.h"
#include "tags/vorbis/ogg_vorbis.h"

#include <array>
#include <bitset>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tagedit {

using tags::TagText;

// Numbered as the output format drop-down numbers them.
enum class AudioKind { Mp3 = 0, Ogg = 1, Wav = 2, Wma = 3 };

// Each kind's extension, with its dot and in lower case, in AudioKind order.
inline constexpr std::array<std::string_view, 4> KindExtensions{".mp3", ".ogg", ".wav", ".wma"};

// From the text after the last dot of the file name, without regard to case; none for anything else.
std::optional<AudioKind> KindFromExtension(const std::filesystem::path& path);

inline constexpr int kMaxTrack = 254;

// The list's ten tag fields, in list-column order. Text is UTF-8; a value the tag holds several times
// shows joined by "; ".
enum class Field { Artist, Title, Track, Album, Year, Genre, Comment, Copyright, URL, EncodedBy };
inline constexpr int kFieldCount = 10;

// A set of fields, indexed by Field: the ones a save writes.
using FieldSet = std::bitset<kFieldCount>;
inline constexpr FieldSet kAllFields{(1u << kFieldCount) - 1};

// The fields' names: the list's column captions without spaces ("TrackNumber", "EncodedBy").
extern const std::array<std::string_view, kFieldCount> FieldNames;
std::optional<Field> FieldFromName(std::string_view name);

struct TagFields {
    TagText Artist;
    TagText Title;
    int Track = 0; // 0 to kMaxTrack
    TagText Album;
    TagText Year;
    TagText Genre;
    TagText Comment; // lines separated by CR LF
    TagText Copyright;
    TagText URL;
    TagText EncodedBy;

    bool operator==(const TagFields&) const = default;
};

// A track number clamped to 0..kMaxTrack.
int ClampTrack(long long value);
// A track number from text: a whole decimal number, clamped; anything else (empty, "7/12") gives 0.
int TrackFromText(std::string_view text);
// Decimal without leading zeros, "0" for zero.
TagText TrackToText(int track);
// A track number as a tag holds it: the number before a "/" ("2/5" gives 2), clamped; 0 when it is none.
int TrackFromTagText(std::string_view text);
// The text a tag gets for a track number: empty for none (0), else the number with the total that the
// tag's current text carries ("7" over "2/5" gives "7/5").
TagText TrackTagText(int track, std::string_view current);
// The fields from the list row's ten tag columns, in list-column order (the track column as text).
TagFields FieldsFromColumns(const std::array<TagText, kFieldCount>& columns);
// The other way: the ten column texts, the track in decimal.
std::array<TagText, kFieldCount> ColumnsFromFields(const TagFields& fields);
// One field from text as the editor takes it (the track as a whole decimal number, clamped).
void SetFieldText(TagFields& fields, Field field, std::string_view text);

// How a tag holds a field.
enum class Access { None, ReadWrite, ReadOnly };

// One row of the mapping table: where each tag keeps the field, and whether it is written there. The
// track is a number in TagFields (so `text` is null for it); the tags hold it as a number (ID3v1 8-bit,
// ID3v2 and Ogg 16-bit) or as decimal text (the APEv2 item, the WMA attribute `wmaText`).
struct FieldMapping {
    Field field;
    TagText TagFields::*text; // null for Track
    Access id3v1;
    TagText (*id3v1Get)(const tags::TID3v1&);       // null for Track and where Access::None
    void (tags::TID3v1::*id3v1Set)(const TagText&); // null for Track and where Access::None
    Access id3v2;
    tags::TID3v2::Field id3v2Field;                 // for the text fields
    void (tags::TID3v2::*id3v2Set)(const TagText&); // null for Track
    Access ape;
    std::string_view apeKey;
    Access ogg;
    TagText tags::TOggVorbis::*oggText; // null for Track and where Access::None
    Access wma;
    TagText tags::TTagsData::*wmaText;
    std::string_view riff; // the RIFF INFO item of a WAV output; empty where it has none
};
extern const std::array<FieldMapping, kFieldCount> FieldMap; // rows in list-column order

// Where a common field's value sits in a tag's text: the whole text, or the number or the total of a
// "number/total" text.
enum class Part : uint8_t { Whole, Number, Total };

// One row of the table of common fields beyond the ten, which a conversion carries from the source's
// tags into the output's: the field's ID3v2.3 frame (a text frame, "USLT", "TXXX:<description>" or
// "UFID:<owner>"), APEv2 item key, Vorbis comment key and ASF attribute, as the common taggers name
// them. ID3v2, APEv2 and ASF keep a number and its total in one "1/2" text; Vorbis keeps them apart.
struct CommonFieldMapping {
    std::string_view name; // as the run's report names it
    std::string_view id3v2;
    std::string_view ape;
    std::string_view vorbis;
    std::string_view asf;
    Part part = Part::Whole;
    std::string_view vorbisAlso = {}; // another key that readers take for the same field
};
extern const std::array<CommonFieldMapping, 37> CommonFieldMap;

enum class TagType { ID3v1, ID3v2, APEv2 };

struct ReadPriorityEntry {
    std::string_view text;
    std::array<TagType, 3> order;
};
// Indexed by the read priority setting (the drop-down's item index).
extern const std::array<ReadPriorityEntry, 4> ReadPriorities;
// "ID3v2 > APEv2 > ID3v1": the fullest tag first, so that what the editor saved is what it shows.
inline constexpr int kDefaultReadPriority = 1;

struct WriteFormatEntry {
    std::string_view text;
    int count;                   // 1 or 2
    std::array<TagType, 2> tags; // saved in this order
};
// Indexed by the write format setting.
extern const std::array<WriteFormatEntry, 6> WriteFormats;
// "ID3v1 & ID3v2": both tags that other players read.
inline constexpr int kDefaultWriteFormat = 3;

// The fields of an MP3 file from the first tag that is present in the order of the read priority (an
// index out of range counts as the default); none when the file has no valid MPEG stream or no tag.
std::optional<TagFields> ReadMp3Tags(const std::filesystem::path& path, int readPriority);
// Throws tags::TFileError when the file cannot be opened.
std::optional<TagFields> ReadOggTags(const std::filesystem::path& path);
// Every failure of the WMA layer, a thrown one included, gives none.
std::optional<TagFields> ReadWmaTags(const std::filesystem::path& path);

// The writes below change, in each tag they write, exactly the `edited` fields to the values in
// `fields`; every other field of that tag keeps the tag's own value (several values, a track's total,
// the stored form). A tag the file does not have yet gets every field of `fields`; a tag that holds
// none of the edited fields is not written, and with no field edited nothing is written and the
// result is true. An empty value or a track of 0 removes the field's frame, item, comment or
// attribute (ID3v1 blanks it).

// Writes the tags the write format names; with two, the second only after the first was saved. True
// when every save attempted succeeded; false, writing nothing, for a file without a valid MPEG stream
// or a write format out of range. An APEv2 save that cannot open the file throws tags::TFileError.
bool WriteMp3Tags(const std::filesystem::path& path, const TagFields& fields, int writeFormat,
                  const FieldSet& edited = kAllFields);
// URL and Encoded by have no comment here. Throws tags::TFileError when the file cannot be opened.
bool WriteOggTags(const std::filesystem::path& path, const TagFields& fields,
                  const FieldSet& edited = kAllFields);
// Every failure gives false.
bool WriteWmaTags(const std::filesystem::path& path, const TagFields& fields,
                  const FieldSet& edited = kAllFields);

// The tag editor's load and save, by the file's kind: MP3 by the read priority and the write format,
// Ogg and WMA in their one form. A kind without tags (WAV, unknown) reads as none and writes false.
// Errors pass as the functions above let them.
std::optional<TagFields> ReadTags(const std::filesystem::path& path, int readPriority);
bool WriteTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
               int writeFormat);

// What a write adds to each tag object after the fields, before it is saved; the conversion's tagging
// carries the source's other tags this way. `saved` hears each MP3 tag that was saved, `wmaRefused` the
// added WMA attributes that no object could hold.
struct TagHooks {
    std::function<void(tags::TID3v1&)> id3v1;
    std::function<void(tags::TID3v2&)> id3v2;
    std::function<void(tags::TAPETag&)> ape;
    std::function<void(TagType)> saved;
    std::function<void(tags::TOggVorbis&)> ogg;
    std::function<void(tags::TTagsData&, std::vector<tags::TAsfAttribute>&)> wma;
    std::function<void(const std::vector<size_t>&)> wmaRefused;
};
bool WriteMp3Tags(const std::filesystem::path& path, const TagFields& fields, int writeFormat,
                  const FieldSet& edited, const TagHooks& hooks);
bool WriteOggTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
                  const TagHooks& hooks);
bool WriteWmaTags(const std::filesystem::path& path, const TagFields& fields, const FieldSet& edited,
                  const TagHooks& hooks);

} // namespace tagedit
