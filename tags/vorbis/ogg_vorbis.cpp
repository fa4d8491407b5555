#include "tags/vorbis/ogg_vorbis.h"

#include "tags/io/endian.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace tags {

namespace {

constexpr size_t kPageHeader = 27;
constexpr int64_t kNoGranule = -1;
constexpr uint8_t kContinued = 0x01, kEndOfStream = 0x04;

struct TPage {
    int64_t position = 0;
    std::array<uint8_t, kPageHeader> header{};
    std::vector<uint8_t> lacing;
    int64_t dataSize = 0;

    uint8_t flags() const { return header[5]; }
    uint32_t serial() const { return ReadLe32(&header[14]); }
    uint32_t sequence() const { return ReadLe32(&header[18]); }
    int64_t dataStart() const { return position + static_cast<int64_t>(kPageHeader + lacing.size()); }
    int64_t end() const { return dataStart() + dataSize; }
};

// The page header at pos, when it is one and its data lies within the stream.
std::optional<TPage> readPage(TStream& s, int64_t pos) {
    TPage page;
    page.position = pos;
    if (pos < 0 || pos > s.Size()) return std::nullopt;
    s.Seek(pos);
    if (s.Read(page.header.data(), kPageHeader) != kPageHeader ||
        std::memcmp(page.header.data(), "OggS", 4) != 0)
        return std::nullopt;
    page.lacing.resize(page.header[26]);
    if (s.Read(page.lacing.data(), page.lacing.size()) != page.lacing.size()) return std::nullopt;
    for (uint8_t v : page.lacing)
        page.dataSize += v;
    if (page.end() > s.Size()) return std::nullopt;
    return page;
}

// The packets that begin on the pages from the second page on, up to the page on which the second of
// them (the setup header) ends.
struct THeaderPackets {
    std::vector<TPage> pages;                  // second page to the last header page
    std::vector<std::vector<uint8_t>> packets; // complete packets; the comment header first
    std::vector<uint8_t> partial;              // a packet still open at the last page's end
    bool foreignPages = false;                 // pages of another stream among them
};

THeaderPackets readHeaderPackets(TStream& s, int64_t pos, uint32_t serial) {
    THeaderPackets h;
    std::vector<uint8_t> current;
    bool first = true;
    while (h.packets.size() < 2) {
        auto page = readPage(s, pos);
        if (!page) break;
        pos = page->end();
        if (page->serial() != serial) {
            h.foreignPages = true;
            continue;
        }
        // A second page that continues a packet of the first page breaks the layout that is relied on.
        if (first && (page->flags() & kContinued)) break;
        first = false;
        std::vector<uint8_t> data = s.ReadBytes(static_cast<size_t>(page->dataSize));
        size_t at = 0;
        for (uint8_t v : page->lacing) {
            current.insert(current.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + v));
            at += v;
            if (v < 255) {
                h.packets.push_back(std::move(current));
                current.clear();
            }
        }
        h.pages.push_back(std::move(*page));
    }
    h.partial = std::move(current);
    return h;
}

// What reading the structure gathers, for ReadInfo and WriteComments alike.
struct TStructure {
    int64_t fileSize = 0, id3v2Size = 0;
    TPage first;
    std::array<uint8_t, 30> ident{};
    THeaderPackets headers;
    bool commentFound = false;
    std::vector<uint8_t> comment; // the whole comment packet (as far as the file holds it)
    std::string vendor;           // raw
    std::vector<std::string> strings;
    size_t commentsEnd = 0; // within the comment packet
    int64_t samples = 0;
};

void parseComments(TStructure& st) {
    const std::vector<uint8_t>& p = st.comment;
    size_t pos = 7;
    auto readString = [&](std::string& out) {
        if (p.size() - pos < 4) return false;
        uint32_t n = ReadLe32(&p[pos]);
        if (p.size() - pos - 4 < n) return false;
        out.assign(reinterpret_cast<const char*>(&p[pos + 4]), n);
        pos += 4 + n;
        return true;
    };
    if (!readString(st.vendor)) {
        st.commentsEnd = 7;
        return;
    }
    st.commentsEnd = pos;
    if (p.size() - pos < 4) return;
    uint32_t count = ReadLe32(&p[pos]);
    pos += 4;
    st.commentsEnd = pos;
    std::string s;
    for (uint32_t i = 0; i < count && readString(s); ++i) {
        st.strings.push_back(s);
        st.commentsEnd = pos;
    }
}

// False when the stream holds no Ogg page with a Vorbis identification header where expected.
bool readStructure(TStream& s, TStructure& st) {
    st.fileSize = s.Size();
    st.id3v2Size = LeadingTagSize(s);
    auto first = readPage(s, st.id3v2Size);
    if (!first) return false;
    st.first = *first;
    s.Seek(first->dataStart());
    if (s.Read(st.ident.data(), st.ident.size()) != st.ident.size() || st.ident[0] != 0x01 ||
        std::memcmp(&st.ident[1], "vorbis", 6) != 0)
        return false;
    st.headers = readHeaderPackets(s, first->end(), first->serial());
    const auto& packets = st.headers.packets;
    const std::vector<uint8_t>& c = packets.empty() ? st.headers.partial : packets.front();
    if (c.size() >= 7 && c[0] == 0x03 && std::memcmp(&c[1], "vorbis", 6) == 0) {
        st.commentFound = true;
        st.comment = c;
        parseComments(st);
    }

    // The granule position of the last page, searched backwards in the file's last 12,060 bytes.
    int64_t windows = std::min<int64_t>(50, (st.fileSize - 10) / 241);
    if (windows > 0) {
        int64_t low = st.fileSize - 241 * windows - 10;
        std::vector<uint8_t> tail(static_cast<size_t>(st.fileSize - low));
        s.Seek(low);
        tail.resize(s.Read(tail.data(), tail.size()));
        for (int64_t i = static_cast<int64_t>(tail.size()) - 10; i >= 0; --i) {
            size_t at = static_cast<size_t>(i);
            if (at + 18 > tail.size() || std::memcmp(&tail[at], "OggS", 4) != 0) continue;
            // another stream's page, or "OggS" inside packet data of another serial, does not count
            if (ReadLe32(&tail[at + 14]) != first->serial()) continue;
            st.samples = static_cast<int64_t>(ReadLe64(&tail[at + 6]));
            break;
        }
    }
    return true;
}

std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        t[i] = r;
    }
    return t;
}

struct TSlot {
    const char* key;
    TagText TOggVorbis::*field; // nullptr for the track number
    // Read when the key gives no value, never written: a performer is not the artist, a description
    // not a comment, so the file keeps them as they are.
    const char* standIn;
};
constexpr TSlot kSlots[] = {
    {"TITLE", &TOggVorbis::Title, nullptr},
    {"ARTIST", &TOggVorbis::Artist, "PERFORMER"},
    {"ALBUM", &TOggVorbis::Album, nullptr},
    {"TRACKNUMBER", nullptr, nullptr},
    {"DATE", &TOggVorbis::Date, nullptr},
    {"GENRE", &TOggVorbis::Genre, nullptr},
    {"COMMENT", &TOggVorbis::Comment, "DESCRIPTION"},
    {"COPYRIGHT", &TOggVorbis::Copyright, nullptr},
};
constexpr size_t kSlotCount = std::size(kSlots);
constexpr const char* kJoin = "; ";

// The slot a comment key belongs to, or -1.
int slotOf(std::string_view key) {
    for (size_t i = 0; i < kSlotCount; ++i)
        if (SameTextAscii(key, kSlots[i].key)) return static_cast<int>(i);
    return -1;
}

// What the fields show of a file's comments.
struct TShown {
    std::array<std::string, kSlotCount> text;
    uint16_t track = 0;
    std::string trackTotal; // "/12" of the TRACKNUMBER the track was read from
};

TShown showComments(const std::vector<std::string>& strings) {
    std::array<std::vector<std::string>, kSlotCount> values, standIns;
    TShown shown;
    for (const std::string& s : strings) {
        const size_t eq = s.find('=');
        if (eq == std::string::npos) continue;
        const std::string_view key = std::string_view(s).substr(0, eq);
        const std::string value = ValidUtf8Prefix(Trim(s.substr(eq + 1)));
        const int slot = slotOf(key);
        if (slot >= 0 && !kSlots[slot].field) {
            const size_t slash = value.find('/');
            const int n = ParseInt(value.substr(0, slash), 0);
            shown.track = n < 0 ? 0 : static_cast<uint16_t>(n);
            shown.trackTotal =
                slash != std::string::npos && slash + 1 < value.size() ? value.substr(slash) : "";
        } else if (slot >= 0) {
            if (!value.empty()) values[static_cast<size_t>(slot)].push_back(value);
        } else {
            for (size_t i = 0; i < kSlotCount; ++i)
                if (kSlots[i].standIn && SameTextAscii(key, kSlots[i].standIn) && !value.empty())
                    standIns[i].push_back(value);
        }
    }
    // a value repeated under its key shows once
    auto join = [](const std::vector<std::string>& parts) {
        std::string out;
        for (size_t i = 0; i < parts.size(); ++i)
            if (std::find(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(i), parts[i]) ==
                parts.begin() + static_cast<std::ptrdiff_t>(i))
                out += (out.empty() ? "" : kJoin) + parts[i];
        return out;
    };
    for (size_t i = 0; i < kSlotCount; ++i)
        shown.text[i] = join(values[i].empty() ? standIns[i] : values[i]);
    return shown;
}

// A complete page with its checksum.
std::vector<uint8_t> buildPage(uint8_t flags, int64_t granule, uint32_t serial, uint32_t sequence,
                               const std::vector<uint8_t>& lacing, const uint8_t* data, size_t size) {
    std::vector<uint8_t> page(kPageHeader, 0);
    std::memcpy(page.data(), "OggS", 4);
    page[5] = flags;
    for (int i = 0; i < 8; ++i)
        page[6 + i] = static_cast<uint8_t>(static_cast<uint64_t>(granule) >> (8 * i));
    WriteLe(&page[14], serial, 4);
    WriteLe(&page[18], sequence, 4);
    page[26] = static_cast<uint8_t>(lacing.size());
    page.insert(page.end(), lacing.begin(), lacing.end());
    page.insert(page.end(), data, data + size);
    WriteLe(&page[22], OggChecksum(page.data(), page.size()), 4);
    return page;
}

// Lays the packets out on pages of at most 255 segments, numbered from `sequence` on.
std::vector<uint8_t> paginate(const std::vector<std::vector<uint8_t>>& packets, uint32_t serial,
                              uint32_t sequence, bool endOfStream, uint32_t& pageCount) {
    struct TNewPage {
        std::vector<uint8_t> lacing, data;
        bool continued = false, packetEnded = false;
    };
    std::vector<TNewPage> pages(1);
    for (const auto& packet : packets) {
        size_t at = 0;
        size_t n = 0;
        do {
            if (pages.back().lacing.size() == 255) {
                pages.emplace_back();
                pages.back().continued = pages[pages.size() - 2].lacing.back() == 255;
            }
            TNewPage& page = pages.back();
            n = std::min<size_t>(255, packet.size() - at);
            page.lacing.push_back(static_cast<uint8_t>(n));
            page.data.insert(page.data.end(), packet.begin() + static_cast<std::ptrdiff_t>(at),
                             packet.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            if (n < 255) page.packetEnded = true;
        } while (n == 255);
    }
    std::vector<uint8_t> out;
    for (size_t i = 0; i < pages.size(); ++i) {
        const TNewPage& p = pages[i];
        uint8_t flags = static_cast<uint8_t>((p.continued ? kContinued : 0) |
                                             (endOfStream && i + 1 == pages.size() ? kEndOfStream : 0));
        // header pages carry granule 0; a page on which no packet ends carries none
        auto page = buildPage(flags, p.packetEnded ? 0 : kNoGranule, serial,
                              sequence + static_cast<uint32_t>(i), p.lacing, p.data.data(), p.data.size());
        out.insert(out.end(), page.begin(), page.end());
    }
    pageCount = static_cast<uint32_t>(pages.size());
    return out;
}

} // namespace

uint32_t OggChecksum(const uint8_t* data, size_t size, uint32_t crc) {
    static const std::array<uint32_t, 256> table = makeTable();
    for (size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

// Renumbers the pages of the stream from pos on by delta, with new checksums; stops at the first
// bytes that are not a page (those are left as they are).
void RenumberOggPages(TStream& f, int64_t pos, uint32_t serial, int64_t delta) {
    while (auto page = readPage(f, pos)) {
        if (page->serial() == serial) {
            f.Seek(page->position);
            std::vector<uint8_t> bytes = f.ReadBytes(static_cast<size_t>(page->end() - page->position));
            WriteLe(&bytes[18], static_cast<uint32_t>(page->sequence() + delta), 4);
            WriteLe(&bytes[22], 0, 4);
            WriteLe(&bytes[22], OggChecksum(bytes.data(), bytes.size()), 4);
            f.Seek(page->position);
            f.Write(bytes.data(), bytes.size());
        }
        pos = page->end();
    }
}

void TOggVorbis::Clear() {
    *this = TOggVorbis();
}

bool TOggVorbis::ReadInfo(const std::filesystem::path& path) {
    Clear();
    TWideFileStream file(path, ModeReadShared);
    return ReadInfo(file);
}

bool TOggVorbis::ReadInfo(TStream& stream) {
    Clear();
    TStructure st;
    if (!readStructure(stream, st)) return false;
    FileSize = st.fileSize;
    ChannelMode = st.ident[11];
    SampleRate = ReadLe32(&st.ident[12]);
    BitRateNominal = static_cast<uint16_t>(ReadLe32(&st.ident[20]) / 1000);
    Samples = st.samples;
    ID3v2Size = st.id3v2Size;
    Vendor = Trim(st.vendor);
    for (const std::string& s : st.strings) {
        const size_t eq = s.find('=');
        if (eq == std::string::npos && Vendor.empty())
            Vendor = Trim(s);
        else if (eq == std::string::npos || slotOf(std::string_view(s).substr(0, eq)) < 0)
            OtherComments.push_back(s);
    }
    const TShown shown = showComments(st.strings);
    for (size_t i = 0; i < kSlotCount; ++i)
        if (kSlots[i].field) this->*kSlots[i].field = shown.text[i];
    Track = shown.track;
    TrackTotal = shown.trackTotal.empty() ? "" : Trim(shown.trackTotal.substr(1));
    return true;
}

bool TOggVorbis::PlanWrite(TStream& file, TOggWritePlan& plan) const {
    plan = TOggWritePlan();
    TStructure st;
    if (!readStructure(file, st) || !st.commentFound || st.headers.packets.empty()) return false;
    // everything before the second page: an ID3v2 tag and the first page
    file.Seek(0);
    std::vector<uint8_t> prefix = file.ReadBytes(static_cast<size_t>(st.first.end()));
    if (static_cast<int64_t>(prefix.size()) != st.first.end()) return false;

    // The new comment list: the file's comments in their order, where a changed field's value takes
    // the place of its key's first comment and drops the others; values of keys the file lacks follow.
    const TShown shown = showComments(st.strings);
    std::array<bool, kSlotCount> keep{}, placed{};
    std::array<std::string, kSlotCount> value;
    for (size_t i = 0; i < kSlotCount; ++i) {
        const TSlot& slot = kSlots[i];
        if (slot.field) {
            value[i] = Trim(this->*slot.field);
            keep[i] = value[i] == shown.text[i];
        } else {
            value[i] = Track > 0 ? std::to_string(Track) + shown.trackTotal : "";
            keep[i] = Track == shown.track;
        }
        // valid UTF-8 only: a broken sequence becomes U+FFFD
        value[i] = Utf16ToUtf8(Utf8ToUtf16(value[i]));
    }
    std::vector<std::string> addedKeys;
    for (const std::string& c : AddedComments)
        if (const size_t eq = c.find('='); eq != std::string::npos && slotOf(c.substr(0, eq)) < 0)
            addedKeys.push_back(UpperCaseAscii(c.substr(0, eq)));
    std::vector<std::string> comments;
    for (const std::string& s : st.strings) {
        const size_t eq = s.find('=');
        const int slot = eq == std::string::npos ? -1 : slotOf(std::string_view(s).substr(0, eq));
        if (slot < 0 && eq != std::string::npos &&
            std::find(addedKeys.begin(), addedKeys.end(), UpperCaseAscii(s.substr(0, eq))) != addedKeys.end())
            continue;
        if (slot < 0 || keep[static_cast<size_t>(slot)]) {
            comments.push_back(s);
            continue;
        }
        const size_t i = static_cast<size_t>(slot);
        if (!placed[i] && !value[i].empty()) comments.push_back(std::string(kSlots[i].key) + "=" + value[i]);
        placed[i] = true;
    }
    for (size_t i = 0; i < kSlotCount; ++i)
        if (!keep[i] && !placed[i] && !value[i].empty())
            comments.push_back(std::string(kSlots[i].key) + "=" + value[i]);
    for (const std::string& c : AddedComments)
        if (const size_t eq = c.find('='); eq != std::string::npos && slotOf(c.substr(0, eq)) < 0)
            comments.push_back(c);
    std::vector<uint8_t> packet = {0x03, 'v', 'o', 'r', 'b', 'i', 's'};
    AppendLe(packet, static_cast<uint32_t>(st.vendor.size()), 4);
    packet.insert(packet.end(), st.vendor.begin(), st.vendor.end());
    AppendLe(packet, static_cast<uint32_t>(comments.size()), 4);
    for (const auto& c : comments) {
        AppendLe(packet, static_cast<uint32_t>(c.size()), 4);
        packet.insert(packet.end(), c.begin(), c.end());
    }
    // normally the framing byte
    packet.insert(packet.end(), st.comment.begin() + static_cast<std::ptrdiff_t>(st.commentsEnd),
                  st.comment.end());
    if (packet.size() > UINT32_MAX) return false;
    plan.unchanged = packet == st.comment;

    const TPage& second = st.headers.pages.front();
    const uint32_t serial = st.first.serial();
    std::vector<uint8_t> head = prefix;
    int64_t keepFrom = 0;
    int64_t delta = 0;

    // Where the old comment packet ends on the second page (k values of its lacing), if it does.
    size_t k = 0;
    while (k < second.lacing.size() && second.lacing[k] == 255)
        ++k;
    size_t newSegments = packet.size() / 255 + 1;
    if (k < second.lacing.size() && newSegments + (second.lacing.size() - k - 1) <= 255) {
        // The second page alone is rebuilt: the new packet, then the rest of the page as it was.
        std::vector<uint8_t> lacing(packet.size() / 255, 255);
        lacing.push_back(static_cast<uint8_t>(packet.size() % 255));
        lacing.insert(lacing.end(), second.lacing.begin() + static_cast<std::ptrdiff_t>(k + 1),
                      second.lacing.end());
        std::vector<uint8_t> data = packet;
        {
            size_t oldPacket = 255 * k + second.lacing[k];
            file.Seek(second.dataStart() + static_cast<int64_t>(oldPacket));
            std::vector<uint8_t> rest = file.ReadBytes(static_cast<size_t>(second.dataSize) - oldPacket);
            if (rest.size() != static_cast<size_t>(second.dataSize) - oldPacket) return false;
            data.insert(data.end(), rest.begin(), rest.end());
        }
        uint64_t granule = ReadLe64(&second.header[6]);
        auto page = buildPage(second.flags(), static_cast<int64_t>(granule), serial, second.sequence(),
                              lacing, data.data(), data.size());
        head.insert(head.end(), page.begin(), page.end());
        keepFrom = second.end();
    } else {
        // The header pages are rebuilt from the packets: the setup header must end its page and no
        // other stream's page may lie between them.
        const THeaderPackets& h = st.headers;
        if (h.packets.size() < 2 || !h.partial.empty() || h.foreignPages || h.pages.back().lacing.empty() ||
            h.pages.back().lacing.back() == 255)
            return false;
        std::vector<std::vector<uint8_t>> packets = h.packets;
        packets.front() = std::move(packet);
        uint32_t pages = 0;
        auto built =
            paginate(packets, serial, second.sequence(), (h.pages.back().flags() & kEndOfStream) != 0, pages);
        head.insert(head.end(), built.begin(), built.end());
        keepFrom = h.pages.back().end();
        delta = static_cast<int64_t>(pages) - static_cast<int64_t>(h.pages.size());
    }

    plan.head = std::move(head);
    plan.keepFrom = keepFrom;
    plan.serial = serial;
    plan.renumberBy = delta;
    return true;
}

bool TOggVorbis::WriteComments(const std::filesystem::path& path) const {
    TOggWritePlan plan;
    {
        TWideFileStream file(path, ModeReadShared);
        if (!PlanWrite(file, plan)) return false;
    }
    if (plan.unchanged) return true;
    TMemoryStream newHead(std::move(plan.head));
    const int64_t headSize = newHead.Size();
    std::function<void(TWideFileStream&)> renumber;
    if (plan.renumberBy != 0)
        renumber = [&](TWideFileStream& temp) {
            RenumberOggPages(temp, headSize, plan.serial, plan.renumberBy);
        };
    return RewriteThroughTempFile(path, plan.keepFrom, newHead, renumber);
}

double TOggVorbis::Duration() const {
    if (Samples > 0) return SampleRate > 0 ? double(Samples) / SampleRate : 0;
    if (BitRateNominal > 0 && ChannelMode > 0)
        return double(FileSize - ID3v2Size) / BitRateNominal / ChannelMode / 125 * 2;
    return 0;
}

uint16_t TOggVorbis::BitRate() const {
    double d = Duration();
    if (d <= 0) return 0;
    double r = std::nearbyint(double(FileSize - ID3v2Size) / d / 125);
    return r >= 65535 ? 65535 : r <= 0 ? 0 : static_cast<uint16_t>(r);
}

bool TOggVorbis::Valid() const {
    return (ChannelMode == 1 || ChannelMode == 2 || ChannelMode == 6) && SampleRate > 0 && Duration() > 0.1 &&
           BitRate() > 0;
}

} // namespace tags
