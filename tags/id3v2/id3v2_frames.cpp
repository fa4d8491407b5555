#include "tags/id3v2/id3v2_frames.h"

#include "tags/io/endian.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <algorithm>
#include <array>

namespace tags::id3v2 {

namespace {

// UTF-16 units of the given byte order up to the first zero unit.
std::u16string Utf16Units(const uint8_t* data, size_t size, bool bigEndian) {
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit =
            static_cast<char16_t>(bigEndian ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]));
        if (unit == 0) break;
        units += unit;
    }
    return units;
}

uint32_t Syncsafe32(const uint8_t* p) {
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 |
           (p[3] & 0x7F);
}

// Undoes unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
Bytes Resynchronise(const uint8_t* data, size_t size) {
    Bytes out;
    out.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0x00) ++i;
    }
    return out;
}

bool IsFrameIdByte(uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
}

// Whether a 2.4 frame of `size` content bytes at `pos` ends where the next frame, the padding or the
// end of the frame area starts. Some writers put plain sizes into 2.4 tags; this tells them apart.
bool EndsCleanly(const Bytes& body, size_t pos, uint64_t size) {
    const uint64_t next = pos + 10 + size;
    if (next > body.size()) return false;
    if (next == body.size() || body[next] == 0) return true;
    if (next + 4 > body.size()) return false;
    return std::all_of(body.begin() + next, body.begin() + next + 4, IsFrameIdByte);
}

// Status flag bits of 2.4 (tag alter, file alter, read only) sit one place higher in 2.3.
constexpr uint8_t StatusFlags24Mask = 0x70;
constexpr uint8_t Group24 = 0x40, Compressed24 = 0x08, Encrypted24 = 0x04, Unsync24 = 0x02,
                  DataLength24 = 0x01;
constexpr uint8_t Compressed23 = 0x80, Encrypted23 = 0x40, Group23 = 0x20;
constexpr uint8_t HeaderUnsync = 0x80, HeaderExtended = 0x40, HeaderFooter = 0x10;

void AddFrame22(TParsedTag& tag, const uint8_t* id, const uint8_t* content, size_t size) {
    TFrame frame;
    frame.id.assign(id, id + 3);
    frame.content.assign(content, content + size);
    tag.frames.push_back(std::move(frame)); // 2.2 frames have no 2.3 form to carry over
}

void AddFrame23(TParsedTag& tag, const uint8_t* header, const uint8_t* content, size_t size) {
    TFrame frame;
    frame.id.assign(header, header + 4);
    const uint8_t format = header[9];
    frame.readable = (format & (Compressed23 | Encrypted23)) == 0;
    const size_t skip = (format & Group23) ? 1 : 0;
    if (frame.readable && size >= skip)
        frame.content.assign(content + skip, content + size);
    else
        frame.readable = false;
    frame.carried.assign(header, header + 10);
    frame.carried.insert(frame.carried.end(), content, content + size);
    tag.frames.push_back(std::move(frame));
}

void AddFrame24(TParsedTag& tag, const uint8_t* header, const uint8_t* content, size_t size) {
    TFrame frame;
    frame.id.assign(header, header + 4);
    const uint8_t status = header[8];
    const uint8_t format = header[9];
    size_t skip = 0;
    const bool grouped = format & Group24;
    skip += grouped ? 1 : 0;
    skip += (format & Encrypted24) ? 1 : 0;
    skip += (format & DataLength24) ? 4 : 0;
    frame.readable = (format & (Compressed24 | Encrypted24)) == 0 && size >= skip;
    if (frame.readable) {
        if ((format & Unsync24) || (tag.flags & HeaderUnsync))
            frame.content = Resynchronise(content + skip, size - skip);
        else
            frame.content.assign(content + skip, content + size);
        // 2.3 knows grouping (with the same group byte) but neither unsynchronised frames nor a data
        // length; those are gone from the content now.
        Bytes carriedContent;
        if (grouped) carriedContent.push_back(content[0]);
        const Bytes text = ReencodeFor23(frame.id, frame.content);
        carriedContent.insert(carriedContent.end(), text.begin(), text.end());
        frame.carried =
            MakeFrame(frame.id, carriedContent, static_cast<uint8_t>((status & StatusFlags24Mask) << 1),
                      grouped ? Group23 : 0);
    }
    tag.frames.push_back(std::move(frame));
}

void ParseFrames(const Bytes& body, size_t pos, TParsedTag& tag) {
    const size_t headerSize = tag.version == 2 ? 6 : 10;
    while (pos + headerSize <= body.size()) {
        const uint8_t* h = body.data() + pos;
        if (h[0] < 'A' || h[0] > 'Z') return; // padding
        uint64_t size;
        if (tag.version == 2) {
            size = uint32_t(h[3]) << 16 | uint32_t(h[4]) << 8 | h[5];
        } else if (tag.version == 3) {
            size = ReadBe32(h + 4);
        } else {
            const uint32_t plain = ReadBe32(h + 4);
            const bool syncsafe = ((h[4] | h[5] | h[6] | h[7]) & 0x80) == 0;
            size = syncsafe ? Syncsafe32(h + 4) : plain;
            if (syncsafe && size != plain && !EndsCleanly(body, pos, size) && EndsCleanly(body, pos, plain))
                size = plain;
        }
        if (size > body.size() - pos - headerSize)
            return; // runs past the tag: the frame is damaged, and so is everything after it
        const uint8_t* content = h + headerSize;
        if (tag.version == 2)
            AddFrame22(tag, h, content, size);
        else if (tag.version == 3)
            AddFrame23(tag, h, content, size);
        else
            AddFrame24(tag, h, content, size);
        pos += headerSize + size;
    }
}

} // namespace

bool ParseTag(TStream& stream, TParsedTag& tag) {
    tag = TParsedTag{};
    stream.Seek(0);
    uint8_t header[10];
    if (stream.Read(header, sizeof header) < sizeof header) return false;
    tag.startsWithId3 = header[0] == 'I' && header[1] == 'D' && header[2] == '3';
    if (!tag.startsWithId3) return true;
    tag.version = header[3];
    tag.flags = header[5];
    tag.size = static_cast<uint32_t>(LeadingTagSize(stream));
    stream.Seek(10);
    if (tag.version < 2 || tag.version > 4 || tag.size == 0) return true;
    if (tag.version == 2 && (tag.flags & 0x40))
        return true; // a compressed 2.2 tag: no scheme was ever defined for it
    size_t bodySize = tag.size - 10;
    if (tag.version == 4 && (tag.flags & HeaderFooter)) bodySize = bodySize >= 10 ? bodySize - 10 : 0;
    // The tag size was checked against the file, so this allocation is bounded by the file.
    Bytes body(bodySize);
    if (!body.empty()) body.resize(stream.Read(body.data(), body.size()));
    if (tag.version < 4 && (tag.flags & HeaderUnsync)) body = Resynchronise(body.data(), body.size());
    size_t pos = 0;
    if (tag.version >= 3 && (tag.flags & HeaderExtended)) {
        if (body.size() < 4) return true;
        // 2.3 counts the extended header without its size field, 2.4 with it (and syncsafe).
        const uint64_t extended =
            tag.version == 3 ? uint64_t(ReadBe32(body.data())) + 4 : Syncsafe32(body.data());
        if (extended > body.size() || extended < 4) return true;
        pos = static_cast<size_t>(extended);
    }
    ParseFrames(body, pos, tag);
    return true;
}

size_t TerminatorSize(uint8_t encoding) {
    return encoding == Utf16Bom || encoding == Utf16BE ? 2 : 1;
}

size_t FindTerminator(uint8_t encoding, const uint8_t* data, size_t size) {
    if (TerminatorSize(encoding) == 1) return std::find(data, data + size, 0) - data;
    // Zero units are searched on unit boundaries, so that the high byte of a character and a
    // terminator are never taken for one.
    for (size_t i = 0; i + 1 < size; i += 2)
        if (data[i] == 0 && data[i + 1] == 0) return i;
    return size;
}

std::string DecodeString(uint8_t encoding, const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    switch (encoding) {
    case Latin1:
        return Latin1ToUtf8(bytes);
    case Utf8:
        // Broken sequences become U+FFFD, so that nothing but valid UTF-8 leaves the tag.
        return IsValidUtf8(bytes) ? std::string(bytes) : tags::Utf16ToUtf8(Utf8ToUtf16(bytes));
    default: {
        bool bigEndian = encoding == Utf16BE;
        if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
            bigEndian = false;
            data += 2, size -= 2;
        } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
            bigEndian = true;
            data += 2, size -= 2;
        }
        return tags::Utf16ToUtf8(Utf16Units(data, size, bigEndian));
    }
    }
}

uint8_t EncodingFor(std::string_view utf8) {
    return FitsLatin1(utf8) ? Latin1 : Utf16Bom;
}

Bytes EncodeString(uint8_t encoding, std::string_view utf8) {
    if (encoding == Latin1) {
        const std::string latin1 = Utf8ToLatin1(utf8);
        return Bytes(latin1.begin(), latin1.end());
    }
    Bytes out = {0xFF, 0xFE};
    for (char16_t unit : Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return out;
}

Bytes MakeFrame(std::string_view id, const Bytes& content, uint8_t statusFlags, uint8_t formatFlags) {
    Bytes out(id.begin(), id.end());
    AppendBe32(out, static_cast<uint32_t>(content.size()));
    out.push_back(statusFlags);
    out.push_back(formatFlags);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

namespace {

// Where the encoded strings of a frame sit: after `prefix` bytes behind the encoding byte, either every
// string to the end, or one string followed by bytes of another kind (a URL, picture data).
struct TStringLayout {
    std::string_view id; // a 4-character ID, or "T" for every text frame
    size_t prefix;
    bool allStrings;
};

constexpr std::array StringLayouts{
    TStringLayout{"T", 0, true},     TStringLayout{"COMM", 3, true},  TStringLayout{"USLT", 3, true},
    TStringLayout{"WXXX", 0, false}, TStringLayout{"APIC", 0, false},
};

} // namespace

Bytes ReencodeFor23(std::string_view id, const Bytes& content) {
    if (content.empty() || (content[0] != Utf16BE && content[0] != Utf8)) return content;
    const auto layout =
        std::find_if(StringLayouts.begin(), StringLayouts.end(), [id](const TStringLayout& l) {
            return l.id == id || (l.id.size() == 1 && id.size() == 4 && id[0] == 'T');
        });
    if (layout == StringLayouts.end()) return content; // a layout we do not know is left as it is
    const uint8_t from = content[0];
    size_t pos = 1 + layout->prefix;
    if (id == "APIC") // a Latin-1 MIME type and the picture type byte come first
        pos = 1 + FindTerminator(Latin1, content.data() + 1, content.size() - 1) + 1 + 1;
    if (pos > content.size()) return content;
    std::vector<std::string> strings;
    size_t stringsEnd = pos;
    while (stringsEnd < content.size() && (layout->allStrings || strings.empty())) {
        const size_t len = FindTerminator(from, content.data() + stringsEnd, content.size() - stringsEnd);
        strings.push_back(DecodeString(from, content.data() + stringsEnd, len));
        stringsEnd += len;
        if (stringsEnd < content.size())
            stringsEnd += TerminatorSize(from);
        else if (!layout->allStrings)
            return content; // the binary part is missing: leave the frame as it came
    }
    std::string all;
    for (const auto& s : strings)
        all += s;
    const uint8_t to = EncodingFor(all);
    Bytes out{to};
    out.insert(out.end(), content.begin() + 1, content.begin() + static_cast<std::ptrdiff_t>(pos));
    for (size_t i = 0; i < strings.size(); ++i) {
        const Bytes encoded = EncodeString(to, strings[i]);
        out.insert(out.end(), encoded.begin(), encoded.end());
        if (!layout->allStrings || i + 1 < strings.size()) out.insert(out.end(), TerminatorSize(to), 0);
    }
    out.insert(out.end(), content.begin() + static_cast<std::ptrdiff_t>(stringsEnd), content.end());
    return out;
}

} // namespace tags::id3v2
