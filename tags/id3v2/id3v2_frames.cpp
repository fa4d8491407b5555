#include "tags/id3v2/id3v2_frames.h"

#include "tags/id3v1/id3v1.h"
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

// Walks the frame area; visit gets each frame. False when there were more than kMaxFrames.
bool WalkFrames(const TParsedTag& tag, const std::function<void(const TFrame&)>& visit) {
    const Bytes& body = tag.body;
    const size_t headerSize = tag.version == 2 ? 6 : 10;
    size_t pos = tag.framesAt;
    size_t count = 0;
    while (pos + headerSize <= body.size()) {
        const uint8_t* h = body.data() + pos;
        if (h[0] < 'A' || h[0] > 'Z') return true; // padding
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
            return true; // runs past the tag: the frame is damaged, and so is everything after it
        if (++count > kMaxFrames) return false;
        TFrame frame;
        frame.id.assign(h, h + (tag.version == 2 ? 3 : 4));
        frame.contentAt = pos + headerSize;
        frame.size = static_cast<size_t>(size);
        if (tag.version > 2) {
            frame.status = h[8];
            frame.format = h[9];
        }
        visit(frame);
        pos += headerSize + frame.size;
    }
    return true;
}

// The data behind a 2.4 frame's header additions, in the order the flags give them.
struct TParts24 {
    uint8_t group = 0;
    uint8_t method = 0;
    bool hasLength = false;
    uint32_t length = 0; // what the data decodes to
    Bytes data;          // unsynchronisation undone
};

std::optional<TParts24> Parts24(const TParsedTag& tag, const TFrame& f) {
    const uint8_t* p = tag.body.data() + f.contentAt;
    size_t n = f.size;
    TParts24 parts;
    auto take = [&](size_t count) {
        if (n < count) return false;
        p += count, n -= count;
        return true;
    };
    if (f.format & Group24) {
        if (n < 1) return std::nullopt;
        parts.group = p[0];
        take(1);
    }
    if (f.format & Encrypted24) {
        if (n < 1) return std::nullopt;
        parts.method = p[0];
        take(1);
    }
    if (f.format & DataLength24) {
        if (n < 4) return std::nullopt;
        parts.hasLength = true;
        parts.length = Syncsafe32(p);
        take(4);
    }
    if ((f.format & Unsync24) || (tag.flags & HeaderUnsync))
        parts.data = Resynchronise(p, n);
    else
        parts.data.assign(p, p + n);
    return parts;
}

Bytes Latin1Bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// 2.2 frame IDs and their 2.3 names, iTunes' own ones included.
constexpr std::array<std::pair<std::string_view, std::string_view>, 78> Ids22{{
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"EQU", "EQUA"},
    {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"},
    {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"},
    {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"},
    {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"}, {"TT1", "TIT1"},
    {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"},
    {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"},
    {"WPB", "WPUB"}, {"WXX", "WXXX"}, {"TCP", "TCMP"}, {"TST", "TSOT"}, {"TSP", "TSOP"}, {"TSA", "TSOA"},
    {"TS2", "TSO2"}, {"TSC", "TSOC"}, {"TDR", "TDRL"}, {"TDS", "TDES"}, {"TID", "TGID"}, {"WFD", "WFED"},
    {"PCS", "PCST"}, {"MVN", "MVNM"}, {"MVI", "MVIN"}, {"GP1", "GRP1"}, {"TGR", "TCAT"}, {"TKW", "TKWD"},
}};

// A 2.2 picture's three-letter image format as the MIME type of a 2.3 picture.
std::string MimeOf(std::string_view format) {
    std::string f = UpperCaseAscii(Trim(format));
    if (f == "JPG" || f == "JPEG") return "image/jpeg";
    if (f == "-->") return "-->"; // a link to the picture
    if (f.empty()) return "image/";
    std::string mime = "image/";
    for (char c : f)
        mime += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return mime;
}

std::vector<TFrame23> For23From22(const TParsedTag& tag, const TFrame& f) {
    const uint8_t* c = tag.body.data() + f.contentAt;
    Bytes content(c, c + f.size);
    const std::string id = Id23(f.id);
    if (f.id == "PIC" && content.size() >= 4) {
        const std::string mime = MimeOf(std::string_view(reinterpret_cast<const char*>(c + 1), 3));
        content = Concat({{c[0]}, Latin1Bytes(mime), {0}, Bytes(c + 4, c + f.size)});
    } else if (f.id == "LNK" && content.size() >= 3) {
        const std::string linked = Id23(std::string_view(reinterpret_cast<const char*>(c), 3));
        content = Concat({Latin1Bytes(linked), Bytes(c + 3, c + f.size)});
    }
    return {{id, MakeFrame(id, content)}};
}

// The genre values of a 2.4 frame in 2.3's form: numbers as references "(8)" in front of a refining
// text; a further text, or a reference after one, starts another value. Texts go as they are, so the
// values show the same before and after.
Bytes GenreFor23(const Bytes& content) {
    std::vector<std::string> strings{""};
    bool text = false;
    for (const std::string& value : TextValues(content)) {
        const std::string v = Trim(value);
        if (v.empty()) continue;
        const bool number =
            v.size() <= 3 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
        const bool reference = number || v == "RX" || v == "CR";
        if (text) {
            strings.emplace_back();
            text = false;
        }
        strings.back() += reference ? "(" + v + ")" : v;
        text = !reference;
    }
    std::string all;
    for (const auto& s : strings)
        all += s;
    const uint8_t enc = EncodingFor(all);
    Bytes out{enc};
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i > 0) out.insert(out.end(), TerminatorSize(enc), 0);
        const Bytes e = EncodeString(enc, strings[i]);
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

// A 2.4 recording time as 2.3 frames: TYER, TDAT (DDMM) and TIME (HHMM). What those cannot hold (a
// month without a day, seconds, several times) keeps the TDRC frame beside them.
std::vector<TFrame23> RecordingTimeFor23(const Bytes& content, uint8_t status) {
    const std::vector<std::string> values = TextValues(content);
    const std::string v = values.empty() ? std::string() : Trim(values[0]);
    auto digits = [&](size_t at, size_t n) {
        return v.size() >= at + n && std::all_of(v.begin() + long(at), v.begin() + long(at + n),
                                                 [](char c) { return c >= '0' && c <= '9'; });
    };
    std::vector<TFrame23> out;
    auto text = [&](const char* id, const std::string& value) {
        out.push_back({id, MakeFrame(id, Concat({{Latin1}, Latin1Bytes(value)}), status)});
    };
    if (!digits(0, 4)) return {{"TDRC", MakeFrame("TDRC", ReencodeFor23("TDRC", content), status)}};
    text("TYER", v.substr(0, 4));
    size_t used = 4;
    if (v.size() >= 10 && v[4] == '-' && digits(5, 2) && v[7] == '-' && digits(8, 2)) {
        text("TDAT", v.substr(8, 2) + v.substr(5, 2));
        used = 10;
        if (v.size() >= 16 && v[10] == 'T' && digits(11, 2) && v[13] == ':' && digits(14, 2)) {
            text("TIME", v.substr(11, 2) + v.substr(14, 2));
            used = 16;
        }
    }
    if (used != v.size() || values.size() > 1)
        out.push_back({"TDRC", MakeFrame("TDRC", ReencodeFor23("TDRC", content), status)});
    return out;
}

std::vector<TFrame23> For23From24(const TParsedTag& tag, const TFrame& f) {
    const auto parts = Parts24(tag, f);
    if (!parts) return {}; // its own flag data is missing: nothing sound to carry
    const auto status = static_cast<uint8_t>((f.status & StatusFlags24Mask) << 1);
    const bool grouped = f.format & Group24;
    if (f.format & (Compressed24 | Encrypted24)) {
        // Kept as it is, its flag data in 2.3's order: decompressed size, encryption method, group.
        Bytes content;
        uint8_t format = 0;
        if (f.format & Compressed24) {
            format |= Compressed23;
            AppendBe32(content, parts->hasLength ? parts->length : 0);
        }
        if (f.format & Encrypted24) {
            format |= Encrypted23;
            content.push_back(parts->method);
        }
        if (grouped) {
            format |= Group23;
            content.push_back(parts->group);
        }
        content.insert(content.end(), parts->data.begin(), parts->data.end());
        return {{f.id, MakeFrame(f.id, content, status, format)}};
    }
    if (f.id == "TDRC" && tag.recordingTimeAlone) return RecordingTimeFor23(parts->data, status);
    Bytes content;
    if (grouped) content.push_back(parts->group);
    const Bytes body = f.id == "TCON" && !parts->data.empty() && parts->data[0] <= Utf8
                           ? GenreFor23(parts->data)
                           : ReencodeFor23(f.id, parts->data);
    content.insert(content.end(), body.begin(), body.end());
    return {{f.id, MakeFrame(f.id, content, status, grouped ? Group23 : 0)}};
}

} // namespace

bool ParseTag(TStream& stream, TParsedTag& tag, bool listFrames) {
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
    // The tag size was checked against the file, so this allocation is bounded by the file (and by the
    // 28 bits of the size field).
    tag.body.resize(bodySize);
    if (!tag.body.empty()) tag.body.resize(stream.Read(tag.body.data(), tag.body.size()));
    if (tag.version < 4 && (tag.flags & HeaderUnsync))
        tag.body = Resynchronise(tag.body.data(), tag.body.size());
    if (tag.version >= 3 && (tag.flags & HeaderExtended)) {
        if (tag.body.size() < 4) return true;
        // 2.3 counts the extended header without its size field, 2.4 with it (and syncsafe).
        const uint64_t extended =
            tag.version == 3 ? uint64_t(ReadBe32(tag.body.data())) + 4 : Syncsafe32(tag.body.data());
        if (extended > tag.body.size() || extended < 4) {
            tag.framesAt = tag.body.size();
            return true;
        }
        tag.framesAt = static_cast<size_t>(extended);
    }
    int recordingTimes = 0, years = 0;
    tag.tooManyFrames = !WalkFrames(tag, [&](const TFrame& f) {
        recordingTimes += f.id == "TDRC";
        years += f.id == "TYER";
        if (listFrames) tag.frames.push_back(f);
    });
    tag.recordingTimeAlone = recordingTimes == 1 && years == 0;
    return true;
}

bool ForEachFrame(const TParsedTag& tag, const std::function<void(const TFrame&)>& visit) {
    return WalkFrames(tag, visit);
}

std::optional<Bytes> Content(const TParsedTag& tag, const TFrame& f) {
    const uint8_t* c = tag.body.data() + f.contentAt;
    if (tag.version == 2) return Bytes(c, c + f.size);
    if (tag.version == 3) {
        if (f.format & (Compressed23 | Encrypted23)) return std::nullopt;
        const size_t skip = (f.format & Group23) ? 1 : 0;
        if (f.size < skip) return std::nullopt;
        return Bytes(c + skip, c + f.size);
    }
    if (f.format & (Compressed24 | Encrypted24)) return std::nullopt;
    auto parts = Parts24(tag, f);
    if (!parts) return std::nullopt;
    return std::move(parts->data);
}

std::vector<TFrame23> For23(const TParsedTag& tag, const TFrame& f) {
    if (tag.version == 2) return For23From22(tag, f);
    if (tag.version == 4) return For23From24(tag, f);
    // 2.3 as it is (after whole-tag unsynchronisation was undone, which the new tag does not use).
    const uint8_t* start = tag.body.data() + f.contentAt - 10;
    return {{f.id, Bytes(start, start + 10 + f.size)}};
}

std::string Id23(std::string_view id22) {
    for (const auto& [from, to] : Ids22)
        if (from == id22) return std::string(to);
    return "X" + std::string(id22);
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

std::vector<std::string> TextValues(const Bytes& content) {
    std::vector<std::string> values;
    if (content.empty()) return values;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + 1;
    const size_t n = content.size() - 1;
    for (size_t pos = 0; pos < n;) {
        const size_t end = FindTerminator(enc, p + pos, n - pos);
        values.push_back(DecodeString(enc, p + pos, end));
        pos += end + TerminatorSize(enc);
    }
    return values;
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

Bytes PictureContent(const TPicture& picture) {
    const uint8_t enc = EncodingFor(picture.description);
    Bytes out{enc};
    const std::string mime = Utf8ToLatin1(picture.mime);
    out.insert(out.end(), mime.begin(), mime.end());
    out.push_back(0);
    out.push_back(picture.type);
    const Bytes description = EncodeString(enc, picture.description);
    out.insert(out.end(), description.begin(), description.end());
    out.insert(out.end(), TerminatorSize(enc), 0);
    out.insert(out.end(), picture.data.begin(), picture.data.end());
    return out;
}

std::optional<TPicture> ParsePicture(const Bytes& content) {
    if (content.empty() || content[0] > Utf8) return std::nullopt;
    const uint8_t enc = content[0];
    const uint8_t* p = content.data() + 1;
    size_t n = content.size() - 1;
    const size_t mimeEnd = FindTerminator(Latin1, p, n);
    if (mimeEnd + 2 > n) return std::nullopt; // no room for the terminator and the type
    TPicture picture;
    picture.mime = DecodeString(Latin1, p, mimeEnd);
    picture.type = p[mimeEnd + 1];
    p += mimeEnd + 2;
    n -= mimeEnd + 2;
    const size_t end = FindTerminator(enc, p, n);
    if (end == n) return std::nullopt;
    picture.description = DecodeString(enc, p, end);
    const size_t dataAt = end + TerminatorSize(enc);
    picture.data.assign(reinterpret_cast<const char*>(p) + dataAt, n - dataAt);
    return picture;
}

namespace {

// Where the encoded strings of a frame sit: after `prefix` bytes behind the encoding byte (or after a
// Latin-1 MIME type, and a picture type byte), either every string to the end, or a fixed number of
// strings followed by bytes of another kind (a URL, picture or object data).
struct TStringLayout {
    std::string_view id; // a 4-character ID, or "T" for every text frame
    size_t prefix;
    bool mime;
    size_t typeBytes;
    size_t strings; // 0: every string to the end
};

constexpr std::array StringLayouts{
    TStringLayout{"T", 0, false, 0, 0},    TStringLayout{"COMM", 3, false, 0, 0},
    TStringLayout{"USLT", 3, false, 0, 0}, TStringLayout{"USER", 3, false, 0, 0},
    TStringLayout{"WXXX", 0, false, 0, 1}, TStringLayout{"APIC", 0, true, 1, 1},
    TStringLayout{"GEOB", 0, true, 0, 2},
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
    if (layout->mime) pos = 1 + FindTerminator(Latin1, content.data() + 1, content.size() - 1) + 1;
    pos += layout->typeBytes;
    if (pos > content.size()) return content;
    std::vector<std::string> strings;
    size_t stringsEnd = pos;
    while (stringsEnd < content.size() && (layout->strings == 0 || strings.size() < layout->strings)) {
        const size_t len = FindTerminator(from, content.data() + stringsEnd, content.size() - stringsEnd);
        strings.push_back(DecodeString(from, content.data() + stringsEnd, len));
        stringsEnd += len;
        if (stringsEnd < content.size())
            stringsEnd += TerminatorSize(from);
        else if (layout->strings != 0)
            return content; // the binary part is missing: leave the frame as it came
    }
    if (layout->strings != 0 && strings.size() < layout->strings) return content;
    std::string all;
    for (const auto& s : strings)
        all += s;
    const uint8_t to = EncodingFor(all);
    Bytes out{to};
    out.insert(out.end(), content.begin() + 1, content.begin() + static_cast<std::ptrdiff_t>(pos));
    for (size_t i = 0; i < strings.size(); ++i) {
        const Bytes encoded = EncodeString(to, strings[i]);
        out.insert(out.end(), encoded.begin(), encoded.end());
        if (layout->strings != 0 || i + 1 < strings.size()) out.insert(out.end(), TerminatorSize(to), 0);
    }
    out.insert(out.end(), content.begin() + static_cast<std::ptrdiff_t>(stringsEnd), content.end());
    return out;
}

std::string GenreText(const std::vector<std::string>& values, uint8_t version) {
    auto isNumber = [](std::string_view s) {
        return !s.empty() && s.size() <= 3 &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    auto name = [](std::string_view ref) -> std::string {
        if (ref == "RX") return "Remix";
        if (ref == "CR") return "Cover";
        const int n = ParseInt(ref, -1);
        if (n >= 0 && n < static_cast<int>(GenreNames.size())) return std::string(GenreNames[size_t(n)]);
        return "(" + std::string(ref) + ")";
    };
    std::vector<std::string> shown;
    auto add = [&shown](const std::string& s) {
        const bool again =
            std::any_of(shown.begin(), shown.end(), [&](const auto& x) { return SameTextAscii(x, s); });
        if (!s.empty() && !again) shown.push_back(s);
    };
    for (const std::string& raw : values) {
        const std::string value = Trim(raw);
        if (version == 4 && (isNumber(value) || value == "RX" || value == "CR")) {
            add(name(value));
            continue;
        }
        std::vector<std::string> refs;
        size_t i = 0;
        while (i < value.size() && value[i] == '(' && !(i + 1 < value.size() && value[i + 1] == '(')) {
            const size_t close = value.find(')', i);
            if (close == std::string::npos) break;
            const std::string_view inner = std::string_view(value).substr(i + 1, close - i - 1);
            if (!isNumber(inner) && inner != "RX" && inner != "CR") break;
            refs.emplace_back(inner);
            i = close + 1;
        }
        std::string rest = Trim(std::string_view(value).substr(i));
        if (rest.rfind("((", 0) == 0) rest.erase(0, 1);
        // "(4)Eurodisco": the text refines the reference; both show, "(8)Jazz" once.
        for (const auto& ref : refs)
            add(name(ref));
        add(rest);
    }
    std::string out;
    for (const auto& s : shown)
        out += (out.empty() ? "" : "; ") + s;
    return out;
}

} // namespace tags::id3v2
