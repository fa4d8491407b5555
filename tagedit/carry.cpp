#include "tagedit/carry.h"

#include "tags/asf/asf_editor.h"
#include "tags/id3v2/id3v2_frames.h"
#include "tags/io/text.h"
#include "tags/mpeg/mpeg_audio.h"
#include "tags/riff/riff_info.h"

#include <algorithm>
#include <limits>
#include <map>

namespace tagedit {

using namespace tags;
using tags::id3v2::Bytes;

namespace {

// ---------------------------------------------------------------------------------------------------
// Names

// Items that describe the source file's own encoding or layout, which the output does not share.
constexpr std::string_view kSourceOnlyId3v2[] = {"TLEN", "TSIZ", "MLLT", "TSSE", "SEEK", "ASPI", "RBUF"};
constexpr std::string_view kSourceOnlyVorbis[] = {"ENCODER"};
constexpr std::string_view kSourceOnlyAsf[] = {"WMFSDKVersion",
                                               "WMFSDKNeeded",
                                               "IsVBR",
                                               "DeviceConformanceTemplate",
                                               "WM/ToolName",
                                               "WM/ToolVersion",
                                               "WM/EncodingSettings",
                                               "WM/EncodingTime",
                                               "Buffer Average",
                                               "VBR Peak",
                                               "WM/MediaClassPrimaryID",
                                               "WM/MediaClassSecondaryID",
                                               "WM/Track",
                                               "Is_Protected",
                                               "Is_Trusted",
                                               "WM/ContainerFormat",
                                               "WM/Codec",
                                               "WM/StreamTypeInfo",
                                               "Bitrate",
                                               "Duration",
                                               "FileSize",
                                               "HasAudio",
                                               "HasVideo",
                                               "HasImage",
                                               "Seekable",
                                               "Stridable",
                                               "Broadcast",
                                               "CurrentBitrate",
                                               "OptimalBitrate",
                                               "HasAttachedImages",
                                               "Can_Skip_Backward",
                                               "Can_Skip_Forward",
                                               "NumberOfFrames",
                                               "HasScript",
                                               "HasArbitraryDataStream",
                                               "HasFileTransferStream"};

constexpr std::string_view kMusicBrainzOwner = "UFID:";
constexpr std::string_view kUserText = "TXXX:";
constexpr std::string_view kPictureComment = "METADATA_BLOCK_PICTURE";

template <size_t N> bool Among(const std::string_view (&names)[N], std::string_view name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](std::string_view n) { return SameTextAscii(n, name); });
}

constexpr std::array<std::string_view, kFieldCount> kCaptions = {
    "Artist", "Title", "Track number", "Album", "Year", "Genre", "Comment", "Copyright", "URL", "Encoded by"};

// The ten fields' names in each form, which a carried item may not take.
constexpr std::string_view kTenVorbis[] = {"TITLE", "ARTIST", "ALBUM",   "TRACKNUMBER",
                                           "DATE",  "GENRE",  "COMMENT", "COPYRIGHT"};
constexpr std::string_view kTenAsf[] = {"Title",     "Author",         "WM/AlbumTitle", "WM/Year",
                                        "WM/Track",  "WM/TrackNumber", "WM/Genre",      "Description",
                                        "Copyright", "WM/URL",         "WM/EncodedBy"};
constexpr std::string_view kTenId3v2[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TDAT",
                                          "TIME", "TDRC", "TCON", "TENC", "TCOP"};

bool TenApeKey(std::string_view key) {
    return std::any_of(FieldMap.begin(), FieldMap.end(),
                       [&](const FieldMapping& m) { return SameTextAscii(m.apeKey, key); });
}

// The rows whose key in one form is `key` (two for a number and its total).
std::vector<const CommonFieldMapping*> RowsBy(std::string_view CommonFieldMapping::*column,
                                              std::string_view key) {
    std::vector<const CommonFieldMapping*> rows;
    for (const CommonFieldMapping& row : CommonFieldMap)
        if (SameTextAscii(row.*column, key) ||
            (column == &CommonFieldMapping::vorbis && !row.vorbisAlso.empty() &&
             SameTextAscii(row.vorbisAlso, key)))
            rows.push_back(&row);
    return rows;
}

// A free-form name that is the conventional name of a common field in any form (a TXXX "ALBUMARTIST",
// say) counts as that field.
std::vector<const CommonFieldMapping*> RowsByAnyName(std::string_view name) {
    for (auto column : {&CommonFieldMapping::vorbis, &CommonFieldMapping::ape, &CommonFieldMapping::asf}) {
        auto rows = RowsBy(column, name);
        if (!rows.empty()) return rows;
    }
    for (const CommonFieldMapping& row : CommonFieldMap)
        if (row.id3v2.substr(0, kUserText.size()) == kUserText &&
            SameTextAscii(row.id3v2.substr(kUserText.size()), name))
            return {&row};
    return {};
}

const CommonFieldMapping* RowNamed(std::string_view name) {
    for (const CommonFieldMapping& row : CommonFieldMap)
        if (row.name == name) return &row;
    return nullptr;
}

std::pair<std::string, std::string> SplitNumber(std::string_view text) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return {Trim(text), {}};
    return {Trim(text.substr(0, slash)), Trim(text.substr(slash + 1))};
}

std::string Joined(const std::vector<TagText>& values, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i)
        out += (i ? std::string(separator) : std::string()) + values[i];
    return out;
}

// ---------------------------------------------------------------------------------------------------
// Reading the source

// Gathers the items of one tag, one item per field or name with all its values.
class TagItems {
public:
    explicit TagItems(TagForm origin) : origin_(origin) {}

    // Values of a field under a name. A key that holds number and total ("1/2") feeds both rows; a
    // key of one part holds just that part.
    void AddText(const std::vector<const CommonFieldMapping*>& rows, const std::string& key,
                 const std::vector<TagText>& values, std::optional<CarriedItem> native = std::nullopt) {
        std::vector<TagText> kept;
        for (const TagText& v : values)
            if (!Trim(v).empty()) kept.push_back(v);
        if (kept.empty()) return;
        if (rows.size() == 2) {
            for (const TagText& v : kept) {
                const auto [number, total] = SplitNumber(v);
                for (const CommonFieldMapping* row : rows)
                    Append(Item(row, ""), {row->part == Part::Total ? total : number});
            }
            return;
        }
        if (rows.size() == 1 && rows[0]->part == Part::Number) {
            for (const TagText& v : kept) {
                const auto [number, total] = SplitNumber(v);
                Append(Item(rows[0], ""), {number});
                if (const auto* totalRow = TotalOf(rows[0]); totalRow && !total.empty())
                    Append(Item(totalRow, ""), {total});
            }
            return;
        }
        CarriedItem& item = Item(rows.empty() ? nullptr : rows[0], key);
        const bool first =
            item.values.empty() && item.id3v2Frame.empty() && !item.apeItem && !item.asfAttribute;
        Append(item, kept);
        if (native && first && !(rows.size() == 1 && rows[0]->part != Part::Whole)) {
            item.id3v2Frame = std::move(native->id3v2Frame);
            item.apeItem = std::move(native->apeItem);
            item.asfAttribute = std::move(native->asfAttribute);
        } else if (!first) {
            // a second frame or attribute of the field: its values are in, but it is no longer one item
            item.id3v2Frame.clear();
            item.apeItem.reset();
            item.asfAttribute.reset();
        }
    }

    void AddPicture(TPicture picture, CarriedItem native = {}) {
        native.origin = origin_;
        native.common = nullptr;
        native.key.clear();
        native.picture = std::move(picture);
        items_.push_back(std::move(native));
    }

    // An item only its own form knows, carried as it is.
    void AddNative(std::string key, CarriedItem native) {
        native.origin = origin_;
        native.key = std::move(key);
        items_.push_back(std::move(native));
    }

    std::vector<CarriedItem>& Items() { return items_; }

private:
    // A repeated value adds nothing (a total in the track number and in its own key, say).
    static void Append(CarriedItem& item, const std::vector<TagText>& values) {
        for (const TagText& v : values)
            if (!Trim(v).empty() && std::find(item.values.begin(), item.values.end(), v) == item.values.end())
                item.values.push_back(v);
    }

    static const CommonFieldMapping* TotalOf(const CommonFieldMapping* number) {
        for (const CommonFieldMapping& row : CommonFieldMap)
            if (row.part == Part::Total && row.id3v2 == number->id3v2) return &row;
        return nullptr;
    }

    CarriedItem& Item(const CommonFieldMapping* row, const std::string& key) {
        for (CarriedItem& item : items_)
            if (!item.picture && item.values.size() && item.common == row &&
                (row || SameTextAscii(item.key, key)))
                return item;
        CarriedItem item;
        item.origin = origin_;
        item.common = row;
        item.key = row ? std::string() : key;
        items_.push_back(std::move(item));
        return items_.back();
    }

    TagForm origin_;
    std::vector<CarriedItem> items_;
};

std::optional<Bytes> FrameContent(const Bytes& frame) {
    if (frame.size() < 10 || (frame[9] & 0xC0)) return std::nullopt; // compressed or encrypted
    const size_t skip = 10 + ((frame[9] & 0x20) ? 1 : 0);
    if (frame.size() < skip) return std::nullopt;
    return Bytes(frame.begin() + long(skip), frame.end());
}

// A TXXX, WXXX or USLT/COMM description and what follows it; `lead` bytes between encoding and it.
std::optional<std::pair<std::string, Bytes>> Described(const Bytes& content, size_t lead) {
    if (content.size() < 1 + lead || content[0] > id3v2::Utf8) return std::nullopt;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + 1 + lead;
    const size_t n = content.size() - 1 - lead;
    const size_t end = id3v2::FindTerminator(enc, p, n);
    if (end == n) return std::nullopt;
    Bytes rest{enc};
    rest.insert(rest.end(), p + end + id3v2::TerminatorSize(enc), p + n);
    return std::make_pair(id3v2::DecodeString(enc, p, end), rest);
}

// "2001-05-06T10:30" from TYER, TDAT (DDMM) and TIME (HHMM), as far as they are there.
std::string DateFrom23(const std::string& year, const std::string& dayMonth, const std::string& time) {
    auto digits = [](const std::string& s, size_t n) {
        return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(year, 4) || !digits(dayMonth, 4)) return {};
    std::string date = year + "-" + dayMonth.substr(2, 2) + "-" + dayMonth.substr(0, 2);
    if (digits(time, 4)) date += "T" + time.substr(0, 2) + ":" + time.substr(2, 2);
    return date;
}

void ReadId3v2(const std::filesystem::path& path, std::vector<CarriedItem>& out, TagText& date) {
    TWideFileStream file(path, ModeReadShared);
    id3v2::TParsedTag tag;
    if (!id3v2::ParseTag(file, tag, false) || !tag.startsWithId3) return;
    TagItems items(TagForm::ID3v2);
    bool fieldComment = false, fieldLink = false, lyrics = false;
    std::string year, dayMonth, time, recording;
    id3v2::ForEachFrame(tag, [&](const id3v2::TFrame& frame) {
        for (id3v2::TFrame23& f : id3v2::For23(tag, frame)) {
            const std::string& id = f.id;
            if (Among(kSourceOnlyId3v2, id)) continue;
            CarriedItem native;
            native.id3v2Frame = f.bytes;
            const auto content = FrameContent(f.bytes);
            const bool text =
                id[0] == 'T' && id != "TXXX" && content && !content->empty() && (*content)[0] <= id3v2::Utf8;
            const auto values = text ? id3v2::TextValues(*content) : std::vector<std::string>();
            const std::string first = values.empty() ? std::string() : Trim(values[0]);
            if (id == "TRCK") {
                if (text) items.AddText({RowNamed("Track total")}, "", {SplitNumber(first).second});
            } else if (id == "TYER" || id == "TDAT" || id == "TIME" || id == "TDRC") {
                (id == "TYER" ? year : id == "TDAT" ? dayMonth : id == "TIME" ? time : recording) = first;
            } else if (Among(kTenId3v2, id)) {
                // the row's own fields
            } else if (id == "COMM" || id == "WXXX") {
                // The first one without a description is the field's.
                bool& taken = id == "COMM" ? fieldComment : fieldLink;
                const auto parts = content ? Described(*content, id == "COMM" ? 3 : 0) : std::nullopt;
                if (!taken && parts && Trim(parts->first).empty())
                    taken = true;
                else
                    items.AddNative(id, std::move(native));
            } else if (id == "APIC") {
                if (auto picture = content ? id3v2::ParsePicture(*content) : std::nullopt)
                    items.AddPicture(std::move(*picture), std::move(native));
                else
                    items.AddNative(id, std::move(native));
            } else if (id == "TXXX") {
                const auto parts = content ? Described(*content, 0) : std::nullopt;
                if (!parts) {
                    items.AddNative(id, std::move(native));
                    continue;
                }
                const std::string name = Trim(parts->first);
                items.AddText(RowsByAnyName(name), name, id3v2::TextValues(parts->second), std::move(native));
            } else if (id == "UFID") {
                const size_t end =
                    content ? std::find(content->begin(), content->end(), 0) - content->begin() : 0;
                const std::string owner =
                    content ? std::string(content->begin(), content->begin() + long(end)) : "";
                const auto rows = RowsBy(&CommonFieldMapping::id3v2, std::string(kMusicBrainzOwner) + owner);
                const std::string value = content && end < content->size()
                                              ? std::string(content->begin() + long(end) + 1, content->end())
                                              : "";
                if (!rows.empty() && IsValidUtf8(value))
                    items.AddText(rows, "", {value}, std::move(native));
                else
                    items.AddNative(id, std::move(native));
            } else if (id == "USLT" && !lyrics) {
                const auto parts = content ? Described(*content, 3) : std::nullopt;
                const auto text = parts ? id3v2::TextValues(parts->second) : std::vector<std::string>();
                if (text.empty()) {
                    items.AddNative(id, std::move(native));
                    continue;
                }
                lyrics = true;
                items.AddText({RowNamed("Lyrics")}, "", {text[0]}, std::move(native));
            } else if (auto rows = RowsBy(&CommonFieldMapping::id3v2, id); text && !rows.empty()) {
                items.AddText(rows, "", values,
                              rows.size() == 1 ? std::optional(std::move(native)) : std::nullopt);
            } else {
                items.AddNative(id, std::move(native));
            }
        }
    });
    if (!recording.empty() && recording.size() > 4)
        date = recording;
    else if (const std::string d = DateFrom23(year, dayMonth, time); !d.empty())
        date = d;
    out = std::move(items.Items());
}

void ReadApe(const std::filesystem::path& path, std::vector<CarriedItem>& out, TagText& date) {
    TAPETag ape;
    if (!ape.ReadTags(path) || !ape.Exists()) return;
    TagItems items(TagForm::APEv2);
    for (const RField& field : ape.Items()) {
        CarriedItem native;
        native.apeItem = field;
        if (field.Type() == 1) {
            const size_t zero = field.Value.find('\0');
            if (const auto type = ApePictureType(field.Key); type && zero != std::string::npos) {
                TPicture picture;
                picture.type = *type;
                picture.description = ValidUtf8Prefix(field.Value.substr(0, zero));
                picture.data = field.Value.substr(zero + 1);
                picture.mime = std::string(SniffImageMime(picture.data));
                items.AddPicture(std::move(picture), std::move(native));
            } else {
                items.AddNative(field.Key, std::move(native));
            }
            continue;
        }
        if (field.Type() != 0) {
            items.AddNative(field.Key, std::move(native));
            continue;
        }
        std::vector<TagText> values;
        for (size_t from = 0;;) {
            const size_t end = std::min(field.Value.find('\0', from), field.Value.size());
            values.push_back(ValidUtf8Prefix(field.Value.substr(from, end - from)));
            if (end == field.Value.size()) break;
            from = end + 1;
        }
        if (SameTextAscii(field.Key, "Track")) {
            items.AddText({RowNamed("Track total")}, "", {SplitNumber(values[0]).second});
        } else if (SameTextAscii(field.Key, "Year")) {
            if (Trim(values[0]).size() > 4) date = Trim(values[0]);
        } else if (!TenApeKey(field.Key)) {
            auto rows = RowsBy(&CommonFieldMapping::ape, field.Key);
            if (rows.empty()) rows = RowsByAnyName(field.Key);
            items.AddText(rows, field.Key, values, std::move(native));
        }
    }
    out = std::move(items.Items());
}

void ReadLyrics3(const std::filesystem::path& path, std::vector<CarriedItem>& out) {
    TID3v1 v1;
    if (!v1.ReadTags(path) || !v1.LyricsExists() || Trim(v1.Lyrics()).empty()) return;
    TagItems items(TagForm::Lyrics3);
    items.AddText({RowNamed("Lyrics")}, "", {v1.Lyrics()});
    out = std::move(items.Items());
}

void ReadVorbis(const std::filesystem::path& path, std::vector<CarriedItem>& out, TagText& date,
                std::vector<std::string>& unreadable) {
    TOggVorbis ogg;
    if (!ogg.ReadInfo(path)) return;
    TagItems items(TagForm::Vorbis);
    if (!ogg.TrackTotal.empty()) items.AddText({RowNamed("Track total")}, "", {ogg.TrackTotal});
    if (Trim(ogg.Date).size() > 4) date = Trim(ogg.Date);
    std::string coverArt, coverMime;
    for (const std::string& comment : ogg.OtherComments) {
        const size_t eq = comment.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = comment.substr(0, eq);
        const std::string value = ValidUtf8Prefix(comment.substr(eq + 1));
        if (Among(kSourceOnlyVorbis, key)) continue;
        if (SameTextAscii(key, kPictureComment)) {
            const auto block = Base64Decode(value);
            auto picture = block ? ParseFlacPictureBlock(*block) : std::nullopt;
            if (picture)
                items.AddPicture(std::move(*picture));
            else
                unreadable.push_back(key + " (damaged)");
        } else if (SameTextAscii(key, "COVERART")) {
            coverArt = value; // an older form: the image alone
        } else if (SameTextAscii(key, "COVERARTMIME")) {
            coverMime = Trim(value);
        } else {
            auto rows = RowsBy(&CommonFieldMapping::vorbis, key);
            if (rows.empty()) rows = RowsByAnyName(key);
            items.AddText(rows, key, {value});
        }
    }
    if (!coverArt.empty()) {
        if (auto data = Base64Decode(coverArt)) {
            TPicture picture;
            picture.data = std::move(*data);
            picture.mime = coverMime.empty() ? std::string(SniffImageMime(picture.data)) : coverMime;
            items.AddPicture(std::move(picture));
        } else {
            unreadable.push_back("COVERART (damaged)");
        }
    }
    out = std::move(items.Items());
}

bool Textual(TAsfType type) {
    return type == TAsfType::String || type == TAsfType::DWord || type == TAsfType::QWord ||
           type == TAsfType::Word;
}

void ReadAsf(const std::filesystem::path& path, std::vector<CarriedItem>& out, TagText& date,
             std::vector<std::string>& unreadable) {
    TWideFileStream file(path, ModeReadShared);
    TAsfEditor editor;
    if (editor.Open(file) != TAsfEditor::TOpenResult::Ok) return;
    TagItems items(TagForm::ASF);
    for (int i = 0; i < editor.AttributeCount(); ++i) {
        const TAsfAttribute& a = editor.Attribute(i);
        if (a.readOnly() || Among(kSourceOnlyAsf, a.name)) continue;
        CarriedItem native;
        native.asfAttribute = a;
        if (SameTextAscii(a.name, "WM/TrackNumber")) {
            if (Textual(a.type)) items.AddText({RowNamed("Track total")}, "", {SplitNumber(a.text()).second});
        } else if (SameTextAscii(a.name, "WM/Year")) {
            if (Textual(a.type) && Trim(a.text()).size() > 4) date = Trim(a.text());
        } else if (Among(kTenAsf, a.name)) {
            // the row's own fields
        } else if (SameTextAscii(a.name, "WM/Picture") && a.type == TAsfType::Binary) {
            if (auto picture = ParseAsfPicture(a.value))
                items.AddPicture(std::move(*picture), std::move(native));
            else
                unreadable.push_back("WM/Picture (damaged)");
        } else if (Textual(a.type)) {
            auto rows = RowsBy(&CommonFieldMapping::asf, a.name);
            if (rows.empty() && a.type == TAsfType::String) rows = RowsByAnyName(a.name);
            if (rows.empty() && a.type != TAsfType::String)
                items.AddNative(a.name, std::move(native)); // a number without a common field
            else
                items.AddText(rows, a.name, {a.text()}, std::move(native));
        } else {
            items.AddNative(a.name, std::move(native));
        }
    }
    out = std::move(items.Items());
}

// Adds the items of a later tag that an earlier one does not hold already.
void Merge(std::vector<CarriedItem>& into, std::vector<CarriedItem>&& from) {
    const bool pictures =
        std::any_of(into.begin(), into.end(), [](const CarriedItem& i) { return i.picture; });
    for (CarriedItem& item : from) {
        if (item.picture && pictures) continue;
        const bool held =
            !item.picture && !item.values.empty() &&
            std::any_of(into.begin(), into.end(), [&](const CarriedItem& i) {
                return !i.values.empty() &&
                       (item.common ? i.common == item.common : !i.common && SameTextAscii(i.key, item.key));
            });
        if (!held) into.push_back(std::move(item));
    }
}

// ---------------------------------------------------------------------------------------------------
// Writing

enum class Hold : uint8_t { None, Part, Whole };
struct Holding {
    Hold hold = Hold::None;
    std::string how; // what a part lacks, or why nothing was held
};

// What one tag holds of each thing to carry: the ten fields first, then the source's items.
using Holdings = std::vector<Holding>;

class Carrier {
public:
    Carrier(const TagFields& fields, const SourceTags* source) : fields_(fields), source_(source) {
        date_ = fields.Year;
        // A year that the source's date starts with was not changed in the list: the whole date goes.
        if (source && !source->date.empty() && fields.Year.size() == 4 &&
            source->date.substr(0, 4) == fields.Year)
            date_ = source->date;
        best_.resize(kFieldCount + (source ? source->items.size() : 0));
    }

    Holdings Fresh() const { return Holdings(best_.size()); }
    size_t Things() const { return best_.size(); }
    void Saved(const Holdings& h) {
        for (size_t i = 0; i < h.size(); ++i)
            if (h[i].hold > best_[i].hold || (best_[i].hold == Hold::None && best_[i].how.empty()))
                best_[i] = h[i];
    }

    std::vector<std::string> NotCarried() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < best_.size(); ++i) {
            if (!Present(i) || best_[i].hold == Hold::Whole) continue;
            std::string name = i < kFieldCount ? std::string(kCaptions[i]) : Item(i).Name();
            if (!best_[i].how.empty()) name += " (" + best_[i].how + ")";
            out.push_back(std::move(name));
        }
        if (source_) out.insert(out.end(), source_->unreadable.begin(), source_->unreadable.end());
        return out;
    }

    // The ten fields each tag takes through the field table.
    void TenFields(Holdings& h, Access FieldMapping::*tag) const {
        for (const FieldMapping& m : FieldMap)
            if (m.*tag == Access::ReadWrite) h[static_cast<size_t>(m.field)].hold = Hold::Whole;
    }

    void ForID3v1(Holdings& h) const {
        TenFields(h, &FieldMapping::id3v1);
        auto limit = [&](Field f, size_t bytes) {
            const TagText& v = fields_.*MappingOf(f).text;
            if (!FitsLatin1(v))
                h[size_t(f)] = {Hold::Part, "ID3v1 holds Latin-1 only"};
            else if (TrimRight(Utf8ToLatin1(v)).size() > bytes)
                h[size_t(f)] = {Hold::Part, "ID3v1 holds " + std::to_string(bytes) + " bytes"};
        };
        limit(Field::Title, 30);
        limit(Field::Artist, 30);
        limit(Field::Album, 30);
        limit(Field::Comment, fields_.Track > 0 ? 28 : 30);
        if (date_.size() > 4) h[size_t(Field::Year)] = {Hold::Part, "ID3v1 holds 4 characters"};
        if (std::none_of(GenreNames.begin(), GenreNames.end(),
                         [&](std::string_view g) { return SameTextAscii(g, Trim(fields_.Genre)); }))
            h[size_t(Field::Genre)] = {Hold::None, "not an ID3v1 genre"};
    }

    void ForID3v2(TID3v2& tag, Holdings& h) const {
        TenFields(h, &FieldMapping::id3v2);
        std::vector<Bytes> frames;
        // What the ten fields' frames take at most, then each frame while the tag can say its size.
        uint64_t size = 10 + 64;
        for (const FieldMapping& m : FieldMap)
            size += 24 + (m.text ? 2 * (fields_.*m.text).size() : 0);
        auto add = [&](size_t thing, Bytes frame) {
            if (size + frame.size() > (uint64_t(1) << 28) - 1) {
                h[thing] = {Hold::None, "over the 256 MB an ID3v2 tag holds"};
                return;
            }
            size += frame.size();
            frames.push_back(std::move(frame));
            h[thing].hold = Hold::Whole;
        };

        // The date as 2.3 has it: TYER, TDAT (DDMM) and TIME (HHMM).
        if (date_ != fields_.Year || IsoDate(date_)) {
            const auto [year, rest] = SplitDate(date_);
            if (!year.empty()) {
                tag.SetYear(year);
                if (rest.count("TDAT")) frames.push_back(TextFrame("TDAT", {rest.at("TDAT")}));
                if (rest.count("TIME")) frames.push_back(TextFrame("TIME", {rest.at("TIME")}));
                if (rest.count("lost"))
                    h[size_t(Field::Year)] = {Hold::Part, "ID3v2.3 holds no " + rest.at("lost")};
            }
        }

        std::vector<std::string> descriptions; // each picture needs its own
        for (size_t i = 0; source_ && i < source_->items.size(); ++i) {
            const CarriedItem& item = source_->items[i];
            const size_t thing = kFieldCount + i;
            if (item.origin == TagForm::ID3v2 && !item.id3v2Frame.empty() && !item.picture) {
                add(thing, item.id3v2Frame);
            } else if (item.picture) {
                TPicture picture = *item.picture;
                std::string description = picture.description;
                for (int n = 2;
                     std::find(descriptions.begin(), descriptions.end(), description) != descriptions.end();
                     ++n)
                    description = picture.description + " (" + std::to_string(n) + ")";
                descriptions.push_back(description);
                picture.description = description;
                add(thing, id3v2::MakeFrame("APIC", id3v2::PictureContent(picture)));
            } else if (item.common && item.common->part == Part::Whole) {
                const std::string_view id = item.common->id3v2;
                if (id == "USLT")
                    add(thing, Lyrics(Joined(item.values, "\n")));
                else if (id.substr(0, kUserText.size()) == kUserText)
                    add(thing, UserText(std::string(id.substr(kUserText.size())), item.values));
                else if (id.substr(0, kMusicBrainzOwner.size()) == kMusicBrainzOwner)
                    add(thing, UniqueId(std::string(id.substr(kMusicBrainzOwner.size())), item.values[0]));
                else
                    add(thing, TextFrame(id, item.values));
            } else if (!item.common && !item.values.empty()) {
                add(thing, UserText(item.key, item.values));
            } else if (item.common) {
                continue; // numbers and totals below
            }
        }
        // Disc number and total as "1/2"; the track total beside the track number.
        const auto disc = PartsOf("Disc number", "Disc total");
        if (!disc.number.empty())
            add(disc.numberThing,
                TextFrame("TPOS", {disc.number + (disc.total.empty() ? "" : "/" + disc.total)}));
        if (!disc.total.empty())
            h[disc.totalThing] =
                disc.number.empty() ? Holding{Hold::None, "no disc number"} : h[disc.numberThing];
        if (const auto total = ThingOf("Track total")) {
            if (fields_.Track > 0) {
                tag.SetTrackTotal(Value(*total));
                h[*total].hold = Hold::Whole;
            } else {
                h[*total] = {Hold::None, "no track number"};
            }
        }
        tag.SetAddedFrames(std::move(frames));
    }

    void ForAPEv2(TAPETag& tag, Holdings& h) const {
        TenFields(h, &FieldMapping::ape);
        if (!date_.empty()) tag.SetItem("Year", date_);
        uint64_t size = 64;
        for (const RField& f : tag.Items())
            size += 9 + f.Key.size() + f.Value.size();
        auto fits = [&](size_t thing, uint64_t bytes) {
            if (size + bytes <= std::numeric_limits<uint32_t>::max() - 64) {
                size += bytes;
                h[thing].hold = Hold::Whole;
                return true;
            }
            h[thing] = {Hold::None, "over the 4 GB an APEv2 tag holds"};
            return false;
        };
        auto put = [&](size_t thing, const std::string& key, const std::string& value, uint32_t flags) {
            if (!ApeKeyAllowed(key)) {
                h[thing] = {Hold::None, "APEv2 allows no such item name"};
                return;
            }
            if (TenApeKey(key)) {
                h[thing] = {Hold::None, "the name of a list field"};
                return;
            }
            if (!fits(thing, 9 + key.size() + value.size())) return;
            tag.RemoveItem(key);
            tag.Items().push_back(RField{key, value, flags});
        };
        std::vector<uint8_t> pictureTypes;
        for (size_t i = 0; source_ && i < source_->items.size(); ++i) {
            const CarriedItem& item = source_->items[i];
            const size_t thing = kFieldCount + i;
            if (item.origin == TagForm::APEv2 && item.apeItem &&
                !(item.common && item.common->part != Part::Whole)) {
                if (item.picture) pictureTypes.push_back(item.picture->type);
                put(thing, item.apeItem->Key, item.apeItem->Value, item.apeItem->Flags);
            } else if (item.picture) {
                const std::string key(ApePictureKey(item.picture->type));
                if (key.empty() || std::count(pictureTypes.begin(), pictureTypes.end(), item.picture->type)) {
                    h[thing] = {Hold::None, "APEv2 holds one picture of each type"};
                    continue;
                }
                pictureTypes.push_back(item.picture->type);
                put(thing, key, item.picture->description + '\0' + item.picture->data, 1u << 1);
                if (h[thing].hold == Hold::Whole && !item.picture->mime.empty() &&
                    SniffImageMime(item.picture->data).empty())
                    h[thing] = {Hold::Part, "APEv2 keeps no MIME type"};
            } else if (item.common && item.common->part == Part::Whole) {
                put(thing, std::string(item.common->ape), Joined(item.values, std::string(1, '\0')), 0);
            } else if (!item.common && !item.values.empty()) {
                put(thing, item.key, Joined(item.values, std::string(1, '\0')), 0);
            }
        }
        const auto disc = PartsOf("Disc number", "Disc total");
        if (!disc.number.empty())
            put(disc.numberThing, "Disc", disc.number + (disc.total.empty() ? "" : "/" + disc.total), 0);
        if (!disc.total.empty())
            h[disc.totalThing] =
                disc.number.empty() ? Holding{Hold::None, "no disc number"} : h[disc.numberThing];
        if (const auto total = ThingOf("Track total")) {
            if (fields_.Track > 0) {
                tag.SetItem("Track", TrackToText(fields_.Track) + "/" + Value(*total));
                h[*total].hold = Hold::Whole;
            } else {
                h[*total] = {Hold::None, "no track number"};
            }
        }
    }

    void ForOgg(TOggVorbis& ogg, Holdings& h) const {
        TenFields(h, &FieldMapping::ogg);
        ogg.Date = date_;
        uint64_t size = 1024;
        for (const FieldMapping& m : FieldMap)
            size += 16 + (m.text ? (fields_.*m.text).size() : 0);
        auto add = [&](size_t thing, const std::string& key, const std::vector<TagText>& values) {
            if (!VorbisKeyAllowed(key)) {
                h[thing] = {Hold::None, "Vorbis comments allow no such name"};
                return;
            }
            if (Among(kTenVorbis, key)) {
                h[thing] = {Hold::None, "the name of a list field"};
                return;
            }
            uint64_t bytes = 0;
            for (const TagText& v : values)
                bytes += 5 + key.size() + v.size();
            if (size + bytes > std::numeric_limits<uint32_t>::max()) {
                h[thing] = {Hold::None, "over the 4 GB a comment header holds"};
                return;
            }
            size += bytes;
            for (const TagText& v : values)
                ogg.AddedComments.push_back(key + "=" + v);
            h[thing].hold = Hold::Whole;
        };
        for (size_t i = 0; source_ && i < source_->items.size(); ++i) {
            const CarriedItem& item = source_->items[i];
            const size_t thing = kFieldCount + i;
            if (item.picture) {
                TPicture picture = *item.picture;
                if (item.origin != TagForm::Vorbis) { // a block of the source's own goes as it was
                    SniffImageSize(picture);
                    if (picture.mime.empty()) picture.mime = std::string(SniffImageMime(picture.data));
                }
                add(thing, std::string(kPictureComment), {Base64Encode(FlacPictureBlock(picture))});
            } else if (item.common) {
                add(thing, std::string(item.common->vorbis), item.values);
            } else if (!item.values.empty()) {
                add(thing, item.origin == TagForm::Vorbis ? item.key : UpperCaseAscii(item.key), item.values);
            }
        }
    }

    void ForWma(TTagsData& data, std::vector<TAsfAttribute>& added, Holdings& h,
                std::vector<size_t>& addedThing) const {
        TenFields(h, &FieldMapping::wma);
        data.Year = date_;
        auto add = [&](size_t thing, const std::string& name, TAsfType type, std::vector<uint8_t> value) {
            if (Among(kTenAsf, name)) {
                h[thing] = {Hold::None, "the name of a list field"};
                return;
            }
            TAsfAttribute a;
            a.name = name;
            a.type = type;
            a.value = std::move(value);
            added.push_back(std::move(a));
            addedThing.push_back(thing);
            h[thing].hold = Hold::Whole;
        };
        for (size_t i = 0; source_ && i < source_->items.size(); ++i) {
            const CarriedItem& item = source_->items[i];
            const size_t thing = kFieldCount + i;
            if (item.origin == TagForm::ASF && item.asfAttribute &&
                !(item.common && item.common->part != Part::Whole)) {
                add(thing, item.asfAttribute->name, item.asfAttribute->type, item.asfAttribute->value);
            } else if (item.picture) {
                add(thing, "WM/Picture", TAsfType::Binary, AsfPictureValue(*item.picture));
            } else if ((item.common && item.common->part == Part::Whole) ||
                       (!item.common && !item.values.empty())) {
                const std::string name = item.common ? std::string(item.common->asf) : item.key;
                for (const TagText& v : item.values)
                    add(thing, name, TAsfType::String, Utf8ToUtf16Le(v));
            }
        }
        const auto disc = PartsOf("Disc number", "Disc total");
        if (!disc.number.empty())
            add(disc.numberThing, "WM/PartOfSet", TAsfType::String,
                Utf8ToUtf16Le(disc.number + (disc.total.empty() ? "" : "/" + disc.total)));
        if (!disc.total.empty())
            h[disc.totalThing] =
                disc.number.empty() ? Holding{Hold::None, "no disc number"} : h[disc.numberThing];
        if (const auto total = ThingOf("Track total")) {
            if (fields_.Track > 0) {
                data.TrackNumber = TrackToText(fields_.Track) + "/" + Value(*total);
                h[*total].hold = Hold::Whole;
            } else {
                h[*total] = {Hold::None, "no track number"};
            }
        }
    }

    void ForWav(TRiffInfo& info, Holdings& h) const {
        for (const FieldMapping& m : FieldMap) {
            if (m.riff.empty()) continue;
            const size_t f = static_cast<size_t>(m.field);
            const TagText value = m.field == Field::Year ? date_
                                  : m.text               ? fields_.*m.text
                                           : (fields_.Track > 0 ? TrackToText(fields_.Track) : "");
            info.Set(std::string(m.riff), value);
            h[f].hold = Hold::Whole;
        }
    }

    const TagFields& Fields() const { return fields_; }

private:
    static bool IsoDate(const std::string& d) { return d.size() > 4 && d[4] == '-'; }

    // The year, and TDAT/TIME of an ISO 8601 date; "lost" names what 2.3's frames cannot hold.
    static std::pair<std::string, std::map<std::string, std::string>> SplitDate(const std::string& d) {
        auto digits = [&](size_t at, size_t n) {
            return d.size() >= at + n && std::all_of(d.begin() + long(at), d.begin() + long(at + n),
                                                     [](char c) { return c >= '0' && c <= '9'; });
        };
        std::map<std::string, std::string> rest;
        if (!digits(0, 4) || (d.size() > 4 && d[4] != '-')) return {{}, rest};
        size_t used = 4;
        if (d.size() >= 10 && d[4] == '-' && digits(5, 2) && d[7] == '-' && digits(8, 2)) {
            rest["TDAT"] = d.substr(8, 2) + d.substr(5, 2);
            used = 10;
            if (d.size() >= 16 && d[10] == 'T' && digits(11, 2) && d[13] == ':' && digits(14, 2)) {
                rest["TIME"] = d.substr(11, 2) + d.substr(14, 2);
                used = 16;
            }
        }
        if (used < d.size())
            rest["lost"] = used == 4 ? "month without a day" : used == 10 ? "part of the time" : "seconds";
        return {d.substr(0, 4), rest};
    }

    static Bytes TextFrame(std::string_view id, const std::vector<TagText>& values) {
        const uint8_t enc = id3v2::EncodingFor(Joined(values, ""));
        Bytes content{enc};
        for (size_t i = 0; i < values.size(); ++i) {
            if (i) content.insert(content.end(), id3v2::TerminatorSize(enc), 0);
            const Bytes v = id3v2::EncodeString(enc, values[i]);
            content.insert(content.end(), v.begin(), v.end());
        }
        return id3v2::MakeFrame(id, content);
    }

    static Bytes UserText(const std::string& description, const std::vector<TagText>& values) {
        std::vector<TagText> strings{description};
        strings.insert(strings.end(), values.begin(), values.end());
        return TextFrame("TXXX", strings);
    }

    static Bytes Lyrics(const TagText& text) {
        const uint8_t enc = id3v2::EncodingFor(text);
        Bytes content{enc, 'e', 'n', 'g'};
        const Bytes none = id3v2::EncodeString(enc, "");
        content.insert(content.end(), none.begin(), none.end());
        content.insert(content.end(), id3v2::TerminatorSize(enc), 0);
        const Bytes v = id3v2::EncodeString(enc, text);
        content.insert(content.end(), v.begin(), v.end());
        return id3v2::MakeFrame("USLT", content);
    }

    static Bytes UniqueId(const std::string& owner, const std::string& id) {
        Bytes content(owner.begin(), owner.end());
        content.push_back(0);
        content.insert(content.end(), id.begin(), id.end());
        return id3v2::MakeFrame("UFID", content);
    }

    static bool ApeKeyAllowed(const std::string& key) {
        if (key.size() < 2 || key.size() > 255) return false;
        for (const char* reserved : {"ID3", "TAG", "OggS", "MP+"})
            if (SameTextAscii(key, reserved)) return false;
        return std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    }

    static bool VorbisKeyAllowed(const std::string& key) {
        return !key.empty() &&
               std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7D && c != '='; });
    }

    const CarriedItem& Item(size_t thing) const { return source_->items[thing - kFieldCount]; }

    bool Present(size_t thing) const {
        if (thing >= kFieldCount) return true;
        const FieldMapping& m = FieldMap[thing];
        if (m.field == Field::Year) return !date_.empty();
        return m.text ? !Trim(fields_.*m.text).empty() : fields_.Track > 0;
    }

    std::optional<size_t> ThingOf(std::string_view rowName) const {
        for (size_t i = 0; source_ && i < source_->items.size(); ++i)
            if (source_->items[i].common && source_->items[i].common->name == rowName &&
                !source_->items[i].values.empty())
                return kFieldCount + i;
        return std::nullopt;
    }
    TagText Value(size_t thing) const { return Item(thing).values.front(); }

    struct TParts {
        std::string number, total;
        size_t numberThing = 0, totalThing = 0;
    };
    TParts PartsOf(std::string_view numberRow, std::string_view totalRow) const {
        TParts p;
        if (const auto n = ThingOf(numberRow)) {
            p.number = Value(*n);
            p.numberThing = *n;
        }
        if (const auto t = ThingOf(totalRow)) {
            p.total = Value(*t);
            p.totalThing = *t;
        }
        return p;
    }

    static const FieldMapping& MappingOf(Field field) { return FieldMap[static_cast<size_t>(field)]; }

    const TagFields& fields_;
    const SourceTags* source_;
    TagText date_;
    Holdings best_;
};

} // namespace

std::string CarriedItem::Name() const {
    if (picture) return "picture (" + std::string(PictureTypeName(picture->type)) + ")";
    if (common) return std::string(common->name);
    return key;
}

SourceTags ReadSourceTags(const std::filesystem::path& source, int readPriority) {
    SourceTags out;
    try {
        switch (KindFromExtension(source).value_or(AudioKind::Wav)) {
        case AudioKind::Mp3: {
            if (readPriority < 0 || readPriority >= static_cast<int>(ReadPriorities.size()))
                readPriority = kDefaultReadPriority;
            std::vector<CarriedItem> lyrics3;
            for (TagType type : ReadPriorities[static_cast<size_t>(readPriority)].order) {
                std::vector<CarriedItem> items;
                TagText date;
                if (type == TagType::ID3v2) ReadId3v2(source, items, date);
                if (type == TagType::APEv2) ReadApe(source, items, date);
                if (type == TagType::ID3v1) ReadLyrics3(source, lyrics3);
                Merge(out.items, std::move(items));
                if (out.date.empty()) out.date = date;
            }
            Merge(out.items, std::move(lyrics3)); // lyrics of other tags come first: they are whole
            break;
        }
        case AudioKind::Ogg:
            ReadVorbis(source, out.items, out.date, out.unreadable);
            break;
        case AudioKind::Wma:
            ReadAsf(source, out.items, out.date, out.unreadable);
            break;
        case AudioKind::Wav:
            break;
        }
    } catch (const std::exception& e) {
        out.unreadable.push_back(std::string("the source's other tags (") + e.what() + ")");
    }
    return out;
}

TaggingResult TagConvertedFile(const std::filesystem::path& destination, const TagFields& fields,
                               int outputFormat, int writeFormat, const SourceTags* source) {
    TagFields clamped = fields;
    clamped.Track = ClampTrack(fields.Track);
    Carrier carrier(clamped, source);
    TaggingResult result;
    switch (outputFormat) {
    case static_cast<int>(AudioKind::Mp3): {
        Holdings v1 = carrier.Fresh(), v2 = carrier.Fresh(), ape = carrier.Fresh();
        TagHooks hooks;
        hooks.id3v1 = [&](TID3v1&) { carrier.ForID3v1(v1); };
        hooks.id3v2 = [&](TID3v2& tag) { carrier.ForID3v2(tag, v2); };
        hooks.ape = [&](TAPETag& tag) { carrier.ForAPEv2(tag, ape); };
        hooks.saved = [&](TagType type) {
            carrier.Saved(type == TagType::ID3v1 ? v1 : type == TagType::ID3v2 ? v2 : ape);
        };
        result.written = WriteMp3Tags(destination, clamped, writeFormat, kAllFields, hooks);
        break;
    }
    case static_cast<int>(AudioKind::Ogg): {
        Holdings h = carrier.Fresh();
        TagHooks hooks;
        hooks.ogg = [&](TOggVorbis& ogg) { carrier.ForOgg(ogg, h); };
        result.written = WriteOggTags(destination, clamped, kAllFields, hooks);
        if (result.written) carrier.Saved(h);
        break;
    }
    case static_cast<int>(AudioKind::Wma): {
        Holdings h = carrier.Fresh();
        std::vector<size_t> addedThing;
        TagHooks hooks;
        hooks.wma = [&](TTagsData& data, std::vector<TAsfAttribute>& added) {
            carrier.ForWma(data, added, h, addedThing);
        };
        hooks.wmaRefused = [&](const std::vector<size_t>& refused) {
            for (size_t i : refused)
                h[addedThing[i]] = {Hold::None, "too large for a WMA header"};
        };
        result.written = WriteWmaTags(destination, clamped, kAllFields, hooks);
        if (result.written) carrier.Saved(h);
        break;
    }
    case static_cast<int>(AudioKind::Wav): {
        Holdings h = carrier.Fresh();
        TRiffInfo info;
        if (info.ReadTags(destination)) {
            carrier.ForWav(info, h);
            result.written = info.WriteTags(destination);
            if (result.written) carrier.Saved(h);
        }
        break;
    }
    default:
        return result;
    }
    result.notCarried = carrier.NotCarried();
    return result;
}

TaggingResult TagConvertedRow(const std::filesystem::path& source, const std::filesystem::path& destination,
                              const TagFields& fields, int outputFormat, int writeFormat, int readPriority,
                              bool copySourceTags) {
    if (!copySourceTags) return TagConvertedFile(destination, fields, outputFormat, writeFormat);
    const SourceTags carried = ReadSourceTags(source, readPriority);
    return TagConvertedFile(destination, fields, outputFormat, writeFormat, &carried);
}

} // namespace tagedit
