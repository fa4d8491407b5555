#include "tags/id3v2/id3v2.h"

#include "tags/id3v2/id3v2_frames.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <algorithm>
#include <optional>

namespace tags {

using namespace id3v2;
using Field = TID3v2::Field;

namespace {

// How a slot's content is laid out: plain text, a comment (language and description first) or a
// user link (description first).
enum class SlotKind { Text, Comment, Link };

struct TSlot {
    std::string_view id;   // versions 3 and 4; the writer uses these
    std::string_view id22; // version 2
    SlotKind kind;
    std::optional<Field> written; // the field the writer puts here; none for the read-only slots
};

constexpr size_t SlotCount = 17;
constexpr size_t TrackSlot = 3, YearFallbackSlot = 12;

// The frame table that reading and writing share. Slots 13 to 17 are only read: the writer leaves
// them out, so for example a "TDRC" goes when the year is empty.
constexpr std::array<TSlot, SlotCount> Slots{{
    {"TIT2", "TT2", SlotKind::Text, Field::Title},
    {"TPE1", "TP1", SlotKind::Text, Field::Artist},
    {"TALB", "TAL", SlotKind::Text, Field::Album},
    {"TRCK", "TRK", SlotKind::Text, Field::TrackText}, // written from Track
    {"TYER", "TYE", SlotKind::Text, Field::Year},
    {"TCON", "TCO", SlotKind::Text, Field::Genre},
    {"COMM", "COM", SlotKind::Comment, Field::Comment},
    {"TCOM", "TCM", SlotKind::Text, Field::Composer},
    {"TENC", "TEN", SlotKind::Text, Field::Encoder},
    {"TCOP", "TCR", SlotKind::Text, Field::Copyright},
    {"TLAN", "TLA", SlotKind::Text, Field::Language},
    {"WXXX", "WXX", SlotKind::Link, Field::Link},
    {"TDRC", "TOR", SlotKind::Text, std::nullopt},
    {"TOPE", "TOA", SlotKind::Text, std::nullopt},
    {"TIT1", "TT1", SlotKind::Text, std::nullopt},
    {"TOAL", "TOT", SlotKind::Text, std::nullopt},
    {"TSIZ", "TSI", SlotKind::Text, std::nullopt},
}};

// Which slot fills a field, and which one stands in when that one reads empty.
struct TMapping {
    Field field;
    size_t slot; // 0-based
    std::optional<size_t> fallback;
};

constexpr std::array<TMapping, 13> Mappings{{
    {Field::Title, 0, 14},
    {Field::Artist, 1, 13},
    {Field::Album, 2, 15},
    {Field::TrackText, 3, std::nullopt},
    {Field::Year, 4, YearFallbackSlot},
    {Field::Genre, 5, std::nullopt},
    {Field::Comment, 6, std::nullopt},
    {Field::Composer, 7, std::nullopt},
    {Field::Encoder, 8, std::nullopt},
    {Field::Copyright, 9, std::nullopt},
    {Field::Language, 10, std::nullopt},
    {Field::Link, 11, std::nullopt},
    {Field::AudioSizeText, 16, std::nullopt},
}};

constexpr uint32_t RebuildSize = 4096;
constexpr uint32_t MaxInPlaceSize = 4096;
constexpr uint64_t MaxTagBody = (1u << 28) - 1; // what four 7-bit groups can say
constexpr std::string_view CommentLanguage = "eng";

// A description and the text behind it, decoded.
struct TDescribed {
    std::string description;
    std::string text;
};

std::optional<TDescribed> SplitDescribed(const Bytes& content, size_t offset) {
    if (content.size() < offset) return std::nullopt;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + offset;
    const size_t n = content.size() - offset;
    const size_t end = FindTerminator(enc, p, n);
    if (end == n) return std::nullopt; // no terminator: not a sound frame of this kind
    TDescribed out;
    out.description = DecodeString(enc, p, end);
    const size_t textStart = end + TerminatorSize(enc);
    out.text = DecodeString(enc, p + textStart, n - textStart);
    return out;
}

// The URL of a WXXX frame is Latin-1 by the standard, but some writers (this one too, for links
// Latin-1 cannot hold) store it in the frame's encoding; a byte-order mark or valid UTF-8 tells.
std::optional<TDescribed> SplitLink(const Bytes& content) {
    if (content.empty()) return std::nullopt;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + 1;
    const size_t n = content.size() - 1;
    const size_t end = FindTerminator(enc, p, n);
    if (end == n) return std::nullopt;
    TDescribed out;
    out.description = DecodeString(enc, p, end);
    const uint8_t* url = p + end + TerminatorSize(enc);
    const size_t urlSize = n - end - TerminatorSize(enc);
    const bool bom =
        urlSize >= 2 && ((url[0] == 0xFF && url[1] == 0xFE) || (url[0] == 0xFE && url[1] == 0xFF));
    if ((enc == Utf16Bom || enc == Utf16BE) && bom)
        out.text = DecodeString(enc, url, urlSize);
    else if (enc == Utf8)
        out.text = DecodeString(Utf8, url, urlSize);
    else
        out.text = DecodeString(Latin1, url, urlSize);
    return out;
}

bool KnownEncoding(const Bytes& content) {
    return !content.empty() && content[0] <= Utf8;
}

// The decoded text of a frame for its slot, or nothing when the frame is not one the slot owns: a
// comment or link with a description belongs to whoever wrote it and is carried over instead.
std::optional<std::string> SlotText(const TSlot& slot, const TFrame& frame) {
    if (!frame.readable || !KnownEncoding(frame.content)) return std::nullopt;
    switch (slot.kind) {
    case SlotKind::Text:
        return Trim(DecodeString(frame.content[0], frame.content.data() + 1, frame.content.size() - 1));
    case SlotKind::Comment: {
        auto parts = SplitDescribed(frame.content, 4);
        if (!parts || !Trim(parts->description).empty()) return std::nullopt;
        return Trim(parts->text);
    }
    case SlotKind::Link: {
        auto parts = SplitLink(frame.content);
        if (!parts || !Trim(parts->description).empty()) return std::nullopt;
        return Trim(parts->text);
    }
    }
    return std::nullopt;
}

std::optional<size_t> SlotOf(std::string_view id, uint8_t version) {
    for (size_t i = 0; i < Slots.size(); ++i)
        if ((version == 2 ? Slots[i].id22 : Slots[i].id) == id) return i;
    return std::nullopt;
}

// A frame the table does not own goes over into the new tag. A comment or link with a description is
// not the table's; every other frame with a table ID is, even when it could not be read.
bool IsCarried(const TFrame& frame, uint8_t version) {
    if (frame.carried.empty()) return false;
    const auto slot = SlotOf(frame.id, version);
    if (!slot) return true;
    if (Slots[*slot].kind == SlotKind::Text) return false;
    return frame.readable && KnownEncoding(frame.content) && !SlotText(Slots[*slot], frame);
}

// The number before the first "/", as the track field reads it; 0 when it is not a valid integer.
uint16_t ParseTrack(std::string_view text) {
    return static_cast<uint16_t>(ParseInt(text.substr(0, text.find('/')), 0));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes SlotFrame(const TSlot& slot, const std::string& value) {
    const uint8_t enc = EncodingFor(value);
    const Bytes text = EncodeString(enc, value);
    // The empty description; in UTF-16 it has its own byte-order mark, which some readers insist on.
    const Bytes terminator = Concat({EncodeString(enc, ""), Bytes(TerminatorSize(enc), 0)});
    switch (slot.kind) {
    case SlotKind::Text:
        return MakeFrame(slot.id, Concat({{enc}, text}));
    case SlotKind::Comment:
        return MakeFrame(
            slot.id,
            Concat({{enc}, Bytes(CommentLanguage.begin(), CommentLanguage.end()), terminator, text}));
    case SlotKind::Link:
        return MakeFrame(slot.id, Concat({{enc}, terminator, text}));
    }
    return {};
}

} // namespace

void TID3v2::Clear() {
    *this = TID3v2{};
}

void TID3v2::Set(Field field, const TagText& value) {
    text_[static_cast<size_t>(field)] = Trim(value);
}

bool TID3v2::ReadTags(const std::filesystem::path& path) {
    Clear();
    try {
        TWideFileStream file(path, ModeReadShared);
        return ReadTags(file);
    } catch (const TFileError&) {
        Clear();
        return false;
    }
}

bool TID3v2::ReadTags(TStream& stream) {
    Clear();
    TParsedTag tag;
    if (!ParseTag(stream, tag)) return false;
    if (!tag.startsWithId3) return true;
    exists_ = true;
    versionId_ = tag.version;
    size_ = tag.size;

    std::array<std::string, SlotCount> slotText;
    for (const TFrame& frame : tag.frames) {
        const auto slot = SlotOf(frame.id, tag.version);
        if (!slot) continue;
        if (auto text = SlotText(Slots[*slot], frame))
            slotText[*slot] = std::move(*text); // a later frame replaces an earlier one
    }
    for (const TMapping& m : Mappings) {
        std::string value = slotText[m.slot];
        if (value.empty() && m.fallback) {
            value = slotText[*m.fallback];
            if (*m.fallback == YearFallbackSlot)
                value = CutUtf8(value, 4); // a recording time starts with the year
        }
        text_[static_cast<size_t>(m.field)] = std::move(value);
    }
    // "(13)Pop" reads as "Pop"; numeric references are not translated.
    TagText& genre = text_[static_cast<size_t>(Field::Genre)];
    if (const size_t close = genre.rfind(')'); close != std::string::npos)
        genre = Trim(std::string_view(genre).substr(close + 1));
    track_ = ParseTrack(TrackText());
    return true;
}

bool TID3v2::PlanWrite(TStream& file, TWritePlan& plan) const {
    plan = TWritePlan{};
    TParsedTag old;
    ParseTag(file, old); // a file shorter than a header simply has no tag

    Bytes frames;
    for (size_t i = 0; i < Slots.size(); ++i) {
        if (!Slots[i].written) continue;
        std::string value = Text(*Slots[i].written);
        if (i == TrackSlot) {
            // "3/12" goes back as it was as long as it still says the same track.
            value = track_ == 0                         ? ""
                    : ParseTrack(TrackText()) == track_ ? TrackText()
                                                        : std::to_string(track_);
        }
        if (value.empty()) continue;
        const Bytes frame = SlotFrame(Slots[i], value);
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    for (const TFrame& frame : old.frames)
        if (IsCarried(frame, old.version))
            frames.insert(frames.end(), frame.carried.begin(), frame.carried.end());

    const uint64_t needed = 10 + frames.size();
    plan.inPlace = old.startsWithId3 && old.size >= needed && old.size <= MaxInPlaceSize;
    const uint64_t tagSize = plan.inPlace ? old.size : std::max<uint64_t>(RebuildSize, needed);
    if (tagSize - 10 > MaxTagBody) return false;
    plan.keepFrom = old.startsWithId3 ? old.size : 0;

    const auto body = static_cast<uint32_t>(tagSize - 10);
    plan.tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7)
        plan.tag.push_back(static_cast<uint8_t>((body >> shift) & 0x7F));
    plan.tag.insert(plan.tag.end(), frames.begin(), frames.end());
    plan.tag.resize(tagSize, 0);
    return true;
}

bool TID3v2::WriteTags(const std::filesystem::path& path) const {
    TWritePlan plan;
    try {
        {
            TWideFileStream file(path, ModeReadShared);
            if (!PlanWrite(file, plan)) return false;
        }
        if (!plan.inPlace) {
            TMemoryStream head(std::move(plan.tag));
            return RewriteThroughTempFile(path, plan.keepFrom, head);
        }
        if (!WideFileExists(path) || !ClearFileAttributes(path)) return false;
        TWideFileStream file(path, ModeReadWrite);
        file.Seek(0);
        file.Write(plan.tag.data(), plan.tag.size());
        file.Close();
        return true;
    } catch (const TFileError&) {
        return false;
    }
}

} // namespace tags
