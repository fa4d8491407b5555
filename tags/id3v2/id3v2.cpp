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

// How a frame's content is laid out: plain text, a comment (language and description first) or a
// user link (description first).
enum class SlotKind { Text, Comment, Link };

struct TSlot {
    std::string_view id;   // versions 3 and 4
    std::string_view id22; // version 2
    SlotKind kind;
};

constexpr size_t SlotCount = 18;
constexpr size_t GenreSlot = 5, YearFallbackSlot = 12, OriginalYearSlot = 17;

// The frames the fields are read from.
constexpr std::array<TSlot, SlotCount> Slots{{
    {"TIT2", "TT2", SlotKind::Text},
    {"TPE1", "TP1", SlotKind::Text},
    {"TALB", "TAL", SlotKind::Text},
    {"TRCK", "TRK", SlotKind::Text},
    {"TYER", "TYE", SlotKind::Text},
    {"TCON", "TCO", SlotKind::Text},
    {"COMM", "COM", SlotKind::Comment},
    {"TCOM", "TCM", SlotKind::Text},
    {"TENC", "TEN", SlotKind::Text},
    {"TCOP", "TCR", SlotKind::Text},
    {"TLAN", "TLA", SlotKind::Text},
    {"WXXX", "WXX", SlotKind::Link},
    {"TDRC", "TOR", SlotKind::Text},
    {"TOPE", "TOA", SlotKind::Text},
    {"TIT1", "TT1", SlotKind::Text},
    {"TOAL", "TOT", SlotKind::Text},
    {"TSIZ", "TSI", SlotKind::Text},
    // A 2.2 "TOR" stands in for the year and goes into a 2.3 tag as TORY, so that one does too.
    {"TORY", "", SlotKind::Text},
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

// The fields the writer sets, in the order their frames go into the tag, and the 2.3 frame that holds
// each. TRCK follows TALB; it is written from the track number.
struct TWritten {
    Field field;
    std::string_view id;
    SlotKind kind;
};

constexpr std::array<TWritten, 9> WrittenFields{{
    {Field::Title, "TIT2", SlotKind::Text},
    {Field::Artist, "TPE1", SlotKind::Text},
    {Field::Album, "TALB", SlotKind::Text},
    {Field::Year, "TYER", SlotKind::Text},
    {Field::Genre, "TCON", SlotKind::Text},
    {Field::Comment, "COMM", SlotKind::Comment},
    {Field::Encoder, "TENC", SlotKind::Text},
    {Field::Copyright, "TCOP", SlotKind::Text},
    {Field::Link, "WXXX", SlotKind::Link},
}};

constexpr uint32_t RebuildSize = 4096;
constexpr uint32_t MaxInPlaceSize = 4096;
constexpr uint64_t MaxTagBody = (1u << 28) - 1; // what four 7-bit groups can say
constexpr std::string_view DefaultCommentLanguage = "eng";

// Values joined for showing: each trimmed, empty ones left out, "; " between them.
std::string Joined(const std::vector<std::string>& values) {
    std::string out;
    for (const auto& v : values) {
        const std::string t = Trim(v);
        if (!t.empty()) out += (out.empty() ? "" : "; ") + t;
    }
    return out;
}

std::string TooManyFrames() {
    return "The ID3v2 tag holds more than " + std::to_string(kMaxFrames) +
           " frames; it is taken for damaged and left as it is.";
}

bool FitsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A comment's or link's parts, decoded.
struct TDescribed {
    std::string language; // comments only, as stored
    std::string description;
    std::string text;
};

// COMM: encoding, language, description, text.
std::optional<TDescribed> SplitComment(const Bytes& content) {
    if (content.size() < 4 || content[0] > Utf8) return std::nullopt;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + 4;
    const size_t n = content.size() - 4;
    const size_t end = FindTerminator(enc, p, n);
    if (end == n) return std::nullopt; // no terminator: not a sound frame of this kind
    TDescribed out;
    out.language.assign(content.begin() + 1, content.begin() + 4);
    out.description = DecodeString(enc, p, end);
    Bytes text{enc};
    text.insert(text.end(), p + end + TerminatorSize(enc), p + n);
    out.text = Joined(TextValues(text));
    return out;
}

// WXXX: encoding, description, URL. The URL is Latin-1 by the standard, but some writers store it in
// the frame's encoding; a byte-order mark or valid UTF-8 tells.
std::optional<TDescribed> SplitLink(const Bytes& content) {
    if (content.empty() || content[0] > Utf8) return std::nullopt;
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
    const std::string_view raw(reinterpret_cast<const char*>(url), FindTerminator(Latin1, url, urlSize));
    if ((enc == Utf16Bom || enc == Utf16BE) && bom)
        out.text = DecodeString(enc, url, urlSize);
    else if (enc == Utf8 || (IsValidUtf8(raw) && !FitsAscii(raw)))
        out.text = DecodeString(Utf8, url, raw.size());
    else
        out.text = DecodeString(Latin1, url, raw.size());
    out.text = Trim(out.text);
    return out;
}

// The description of a TXXX or WXXX frame's content, upper-cased: readers match it without regard to case.
std::string UserDescription(const Bytes& content) {
    if (content.empty() || content[0] > Utf8) return {};
    const size_t end = FindTerminator(content[0], content.data() + 1, content.size() - 1);
    return UpperCaseAscii(Trim(DecodeString(content[0], content.data() + 1, end)));
}

std::optional<size_t> SlotOf(std::string_view id, uint8_t version) {
    for (size_t i = 0; i < Slots.size(); ++i)
        if ((version == 2 ? Slots[i].id22 : Slots[i].id) == id) return i;
    return std::nullopt;
}

// The number before the first "/", as the track field reads it; 0 when it is not a valid integer.
uint16_t ParseTrack(std::string_view text) {
    return static_cast<uint16_t>(ParseInt(text.substr(0, text.find('/')), 0));
}

// The content of a 2.3 frame, or none when it is compressed or encrypted.
std::optional<Bytes> Content23(const Bytes& frame) {
    if (frame.size() < 10 || (frame[9] & 0xC0)) return std::nullopt;
    const size_t skip = 10 + ((frame[9] & 0x20) ? 1 : 0);
    if (frame.size() < skip) return std::nullopt;
    return Bytes(frame.begin() + long(skip), frame.end());
}

// A link as ID3 wants it, in Latin-1: characters beyond it become the percent-encoded bytes of their
// UTF-8 form, as in a URI.
std::string LinkForId3(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const size_t length = b < 0x80             ? 1
                              : (b & 0xE0) == 0xC0 ? 2
                              : (b & 0xF0) == 0xE0 ? 3
                              : (b & 0xF8) == 0xF0 ? 4
                                                   : 1;
        const std::string_view ch = utf8.substr(i, length);
        if (FitsLatin1(ch)) {
            out += ch;
        } else {
            for (unsigned char c : ch)
                out.append({'%', kHex[c >> 4], kHex[c & 15]});
        }
        i += ch.size();
    }
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes NewFrame(std::string_view id, SlotKind kind, const std::string& value, std::string_view language) {
    if (kind == SlotKind::Link) {
        const std::string link = LinkForId3(value);
        return MakeFrame(id, Concat({{Latin1, 0}, EncodeString(Latin1, link)}));
    }
    const uint8_t enc = EncodingFor(value);
    const Bytes text = EncodeString(enc, value);
    if (kind == SlotKind::Text) return MakeFrame(id, Concat({{enc}, text}));
    // The empty description; in UTF-16 it has its own byte-order mark, which some readers insist on.
    const Bytes noDescription = Concat({EncodeString(enc, ""), Bytes(TerminatorSize(enc), 0)});
    return MakeFrame(id, Concat({{enc}, Bytes(language.begin(), language.end()), noDescription, text}));
}

} // namespace

void TID3v2::Clear() {
    *this = TID3v2{};
}

void TID3v2::Set(Field field, const TagText& value) {
    std::string trimmed = Trim(value);
    TagText& current = text_[static_cast<size_t>(field)];
    if (read_ && trimmed == current && !Edited(field)) return;
    current = std::move(trimmed);
    edited_.set(static_cast<size_t>(field));
}

void TID3v2::SetTrackTotal(const TagText& total) {
    trackTotal_ = Trim(total);
    trackTotalSet_ = true;
}

void TID3v2::SetAddedFrames(std::vector<std::vector<uint8_t>> frames) {
    added_ = std::move(frames);
}

void TID3v2::SetTrack(uint16_t value) {
    if (read_ && value == track_ && !trackEdited_) return;
    track_ = value;
    trackEdited_ = true;
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
    if (!ParseTag(stream, tag, false)) return false;
    read_ = true;
    if (!tag.startsWithId3) return true;
    exists_ = true;
    versionId_ = tag.version;
    size_ = tag.size;

    std::array<std::string, SlotCount> slotText;
    std::array<bool, SlotCount> taken{};
    const bool sound = ForEachFrame(tag, [&](const TFrame& frame) {
        const auto slot = SlotOf(frame.id, tag.version);
        if (!slot) return;
        const auto content = Content(tag, frame);
        if (!content || content->empty() || (*content)[0] > Utf8) return; // encodings we do not know
        switch (Slots[*slot].kind) {
        case SlotKind::Text: {
            const auto values = TextValues(*content);
            // a later frame replaces an earlier one
            slotText[*slot] = *slot == GenreSlot ? GenreText(values, tag.version) : Joined(values);
            break;
        }
        case SlotKind::Comment:
        case SlotKind::Link: {
            // The first one without a description is the field's; one with a description belongs to
            // whoever wrote it (iTunes keeps data there).
            if (taken[*slot]) return;
            const auto parts =
                Slots[*slot].kind == SlotKind::Comment ? SplitComment(*content) : SplitLink(*content);
            if (!parts || !Trim(parts->description).empty()) return;
            slotText[*slot] = parts->text;
            taken[*slot] = true;
            break;
        }
        }
    });
    for (const TMapping& m : Mappings) {
        std::string value = slotText[m.slot];
        if (value.empty() && m.fallback) {
            value = slotText[*m.fallback];
            if (value.empty() && *m.fallback == YearFallbackSlot) value = slotText[OriginalYearSlot];
            if (*m.fallback == YearFallbackSlot)
                value = CutUtf8(value, 4); // a recording time starts with the year
        }
        text_[static_cast<size_t>(m.field)] = std::move(value);
    }
    track_ = ParseTrack(TrackText());
    if (!sound) error_ = TooManyFrames();
    return true;
}

bool TID3v2::PlanWrite(TStream& file, TWritePlan& plan) const {
    plan = TWritePlan{};
    TParsedTag old;
    ParseTag(file, old, false); // a file shorter than a header simply has no tag

    // The comment the field shows is the first one without a description; an edit replaces it (and
    // any other of its language), comments in other languages stay. And the total a track had.
    std::string language(DefaultCommentLanguage);
    bool languageFound = false;
    std::string oldTrack;
    bool trackFound = false;
    const bool sound = ForEachFrame(old, [&](const TFrame& frame) {
        const std::string id = old.version == 2 ? Id23(frame.id) : frame.id;
        if (id != "COMM" && id != "TRCK") return;
        const auto content = Content(old, frame);
        if (!content) return;
        if (id == "TRCK" && !trackFound && !content->empty() && (*content)[0] <= Utf8) {
            const auto values = TextValues(*content);
            oldTrack = values.empty() ? std::string() : Trim(values[0]);
            trackFound = true;
        } else if (id == "COMM" && !languageFound) {
            const auto parts = SplitComment(*content);
            if (!parts || !Trim(parts->description).empty()) return;
            language = parts->language;
            languageFound = true;
        }
    });
    if (!sound) { // more frames than any tag has: damaged, and too much to carry
        error_ = TooManyFrames();
        return false;
    }

    // The tag is built in place: header, frames, padding; the header's size is filled in at the end.
    Bytes& frames = plan.tag;
    frames.assign(10, 0);
    auto append = [&frames](const Bytes& frame) { frames.insert(frames.end(), frame.begin(), frame.end()); };
    for (const TWritten& w : WrittenFields) {
        if (Edited(w.field) && !Text(w.field).empty())
            append(NewFrame(w.id, w.kind, Text(w.field), language));
        if (w.field == Field::Album && trackEdited_ && track_ > 0) {
            const size_t slash = oldTrack.find('/');
            std::string track = std::to_string(track_);
            if (trackTotalSet_) {
                if (!trackTotal_.empty()) track += "/" + trackTotal_;
            } else if (slash != std::string::npos && !Trim(oldTrack.substr(slash + 1)).empty()) {
                track += "/" + Trim(oldTrack.substr(slash + 1));
            }
            append(NewFrame("TRCK", SlotKind::Text, track, language));
        }
    }

    for (const Bytes& frame : added_)
        append(frame);

    // Every frame of the old tag goes over, unless it holds a field that was set or an added frame
    // takes its place.
    auto replaced = [&](const TFrame23& f) {
        for (const Bytes& a : added_) {
            if (a.size() < 10 || std::string_view(reinterpret_cast<const char*>(a.data()), 4) != f.id)
                continue;
            if (f.id == "TXXX" || f.id == "WXXX") {
                const auto mine = Content23(a), theirs = Content23(f.bytes);
                if (mine && theirs && UserDescription(*mine) == UserDescription(*theirs)) return true;
            } else if (f.id[0] == 'T' || a == f.bytes) {
                return true;
            }
        }
        return false;
    };
    auto owned = [&](const TFrame23& f) {
        if (!added_.empty() && replaced(f)) return true;
        if (f.id == "TRCK") return trackEdited_;
        if (f.id == "TYER" || f.id == "TDRC") return Edited(Field::Year);
        if (f.id == "TDAT" || f.id == "TIME") return Edited(Field::Year) && Year().empty();
        for (const TWritten& w : WrittenFields) {
            if (w.id != f.id || !Edited(w.field)) continue;
            if (w.kind == SlotKind::Text) return true;
            // A comment or link is the field's only when it has no description (and, for a comment,
            // the shown one's language); one that cannot be read is not the field's.
            const auto content = Content23(f.bytes);
            if (!content) return false;
            const auto parts = w.kind == SlotKind::Comment ? SplitComment(*content) : SplitLink(*content);
            return parts && Trim(parts->description).empty() &&
                   (w.kind == SlotKind::Link || parts->language == language);
        }
        return false;
    };
    ForEachFrame(old, [&](const TFrame& frame) {
        if (old.version == 3) {
            // A 2.3 frame goes over as it is; only a comment or link needs its content looked at.
            const auto* start = old.body.data() + frame.contentAt - 10;
            const bool plain =
                std::none_of(WrittenFields.begin(), WrittenFields.end(),
                             [&](const TWritten& w) { return w.id == frame.id && w.kind != SlotKind::Text; });
            if (plain && added_.empty() ? !owned(TFrame23{frame.id, {}})
                                        : !owned(TFrame23{frame.id, Bytes(start, start + 10 + frame.size)}))
                frames.insert(frames.end(), start, start + 10 + frame.size);
            return;
        }
        for (const TFrame23& f : For23(old, frame))
            if (!owned(f)) append(f.bytes);
    });

    const uint64_t needed = frames.size();
    plan.inPlace = old.startsWithId3 && old.size >= needed && old.size <= MaxInPlaceSize;
    const uint64_t tagSize = plan.inPlace ? old.size : std::max<uint64_t>(RebuildSize, needed);
    if (tagSize - 10 > MaxTagBody) return false;
    plan.keepFrom = old.startsWithId3 ? old.size : 0;

    const auto body = static_cast<uint32_t>(tagSize - 10);
    const uint8_t header[6] = {'I', 'D', '3', 3, 0, 0};
    std::copy(header, header + 6, plan.tag.begin());
    for (int i = 0; i < 4; ++i)
        plan.tag[6 + i] = static_cast<uint8_t>((body >> (21 - 7 * i)) & 0x7F);
    plan.tag.resize(tagSize, 0);
    return true;
}

bool TID3v2::WriteTags(const std::filesystem::path& path) const {
    try {
        bool planned = false;
        ChangeFile(path, [&](TStream& file) -> std::optional<TFileChange> {
            TWritePlan plan;
            if (!PlanWrite(file, plan)) return std::nullopt;
            planned = true;
            TFileChange change;
            change.data = std::move(plan.tag);
            if (plan.inPlace) {
                change.kind = TFileChange::Kind::InPlace;
                change.cutAfter = false; // the audio behind the tag stays where it is
            } else {
                change.kind = TFileChange::Kind::Rewrite;
                change.keepFrom = plan.keepFrom;
            }
            return change;
        });
        return planned;
    } catch (const TFileError&) {
        return false;
    }
}

} // namespace tags
