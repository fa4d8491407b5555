#include "tags/apev2/apetag.h"

#include "tags/io/endian.h"
#include "tags/io/text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tags {

namespace {

constexpr std::string_view kPictureKeys[] = {
    "Cover Art (Other)",
    "Cover Art (Icon)",
    "Cover Art (Other Icon)",
    "Cover Art (Front)",
    "Cover Art (Back)",
    "Cover Art (Leaflet)",
    "Cover Art (Media)",
    "Cover Art (Lead Artist)",
    "Cover Art (Artist)",
    "Cover Art (Conductor)",
    "Cover Art (Band)",
    "Cover Art (Composer)",
    "Cover Art (Lyricist)",
    "Cover Art (Recording Location)",
    "Cover Art (During Recording)",
    "Cover Art (During Performance)",
    "Cover Art (Video Capture)",
    "Cover Art (Fish)",
    "Cover Art (Illustration)",
    "Cover Art (Band Logotype)",
    "Cover Art (Publisher Logotype)",
};

} // namespace

std::string_view ApePictureKey(uint8_t type) {
    return type < std::size(kPictureKeys) ? kPictureKeys[type] : std::string_view();
}

std::optional<uint8_t> ApePictureType(std::string_view key) {
    for (size_t i = 0; i < std::size(kPictureKeys); ++i)
        if (SameTextAscii(key, kPictureKeys[i])) return static_cast<uint8_t>(i);
    return std::nullopt;
}

namespace {

constexpr int64_t kFooterSize = 32;
// Larger than any picture a tag holds; a bigger size field is damage, not a tag to load.
constexpr uint32_t kMaxTagBytes = 256u << 20;

std::string ReadAt(TStream& stream, int64_t position, size_t count) {
    stream.Seek(position);
    const auto want =
        static_cast<size_t>(std::min<uint64_t>(count, static_cast<uint64_t>(stream.Remaining())));
    std::string bytes(want, '\0');
    if (want > 0) bytes.resize(stream.Read(bytes.data(), want));
    return bytes;
}

std::string LimitText() {
    return "The APEv2 tag is larger than " + std::to_string(kMaxTagBytes >> 20) + " MB or holds more than " +
           std::to_string(TAPETag::kMaxItems) + " items; it is taken for damaged and left as it is.";
}

// Where the tag stands: the end of the audio side (in front of Lyrics3 and ID3v1) and the footer.
struct Layout {
    bool footerRead = false;
    bool found = false;
    int64_t end = 0; // first byte of the Lyrics3 block or ID3v1 record, or the file size
    uint32_t version = 0, size = 0, count = 0, flags = 0;
    int64_t itemsStart = -1; // -1: the size field points outside the file
    bool header = false;     // a header with the same size stands in front of the items
    bool tooLarge = false;
};

Layout Locate(TStream& stream) {
    Layout l;
    const int64_t fileSize = stream.Size();
    l.end = fileSize;
    if (fileSize > 128 && ReadAt(stream, fileSize - 128, 3) == "TAG") l.end -= 128;
    // Lyrics3 v2 blocks stand between the tag and the ID3v1 record.
    while (l.end >= 15) {
        const std::string footer = ReadAt(stream, l.end - 15, 15);
        if (footer.compare(6, 9, "LYRICS200") != 0) break;
        const int n = ParseInt(footer.substr(0, 6), 0);
        const int64_t begin = l.end - 15 - n;
        if (n < 11 || begin < 0 || ReadAt(stream, begin, 11) != "LYRICSBEGIN") break;
        l.end = begin;
    }
    const int64_t footerPos = l.end - kFooterSize;
    if (footerPos <= 0) return l;
    const std::string footer = ReadAt(stream, footerPos, kFooterSize);
    if (footer.size() < kFooterSize) return l;
    l.footerRead = true;
    if (footer.compare(0, 8, "APETAGEX") != 0) return l;
    l.found = true;
    const auto* f = reinterpret_cast<const uint8_t*>(footer.data());
    l.version = ReadLe32(f + 8);
    l.size = ReadLe32(f + 12);
    l.count = ReadLe32(f + 16);
    l.flags = ReadLe32(f + 20);
    if (l.size < kFooterSize || l.size > l.end) return l;
    l.tooLarge = l.size - kFooterSize > kMaxTagBytes;
    l.itemsStart = l.end - l.size;
    if (l.itemsStart >= kFooterSize) {
        const std::string header = ReadAt(stream, l.itemsStart - kFooterSize, kFooterSize);
        l.header = header.size() == kFooterSize && header.compare(0, 8, "APETAGEX") == 0 &&
                   ReadLe32(reinterpret_cast<const uint8_t*>(header.data()) + 12) == l.size;
    }
    return l;
}

// The items of a region, each one's start; `tiles` when they fill the region exactly (which shows
// that the size field is right). Stops at the first item that does not fit, or past kMaxItems.
struct Walk {
    std::vector<uint32_t> offsets;
    size_t end = 0; // just past the last whole item
    bool tiles = false;
    bool tooMany = false;
};

// The region's bytes, in memory.
struct TRegionBytes {
    std::string_view bytes;
    uint64_t Size() const { return bytes.size(); }
    const char* At(uint64_t pos, size_t n) { return pos + n <= bytes.size() ? bytes.data() + pos : nullptr; }
};

// The region's bytes, read from the stream in pieces, so that a look at a large tag holds little of it.
struct TRegionStream {
    TStream& stream;
    int64_t start;
    uint64_t size;
    std::string buffer;
    uint64_t bufferAt = 0;
    uint64_t Size() const { return size; }
    const char* At(uint64_t pos, size_t n) {
        if (pos + n > size) return nullptr;
        if (pos < bufferAt || pos + n > bufferAt + buffer.size()) {
            bufferAt = pos;
            const uint64_t chunk = std::max<uint64_t>(n, 1 << 16);
            buffer = ReadAt(stream, start + static_cast<int64_t>(pos),
                            static_cast<size_t>(std::min(chunk, size - pos)));
            if (buffer.size() < n) return nullptr;
        }
        return buffer.data() + (pos - bufferAt);
    }
};

template <typename Region> Walk WalkItems(Region& region, bool keepOffsets, uint32_t expected = 0) {
    Walk w;
    // The footer's count, where the region can hold that many (an item takes at least 10 bytes).
    if (keepOffsets)
        w.offsets.reserve(std::min<uint64_t>({expected, region.Size() / 10, TAPETag::kMaxItems}));
    const uint64_t n = region.Size();
    uint64_t pos = 0;
    size_t count = 0;
    while (n - pos >= 8) {
        const auto* h = reinterpret_cast<const uint8_t*>(region.At(pos, 8));
        if (!h) break;
        const uint32_t valueLength = ReadLe32(h);
        uint64_t zero = pos + 8;
        for (const char* c; (c = region.At(zero, 1)) && *c != '\0';)
            ++zero;
        if (zero >= n) break;
        const uint64_t valueStart = zero + 1;
        if (valueLength > n - valueStart) break;
        if (++count > TAPETag::kMaxItems) {
            w.tooMany = true;
            break;
        }
        if (keepOffsets) w.offsets.push_back(static_cast<uint32_t>(pos));
        pos = valueStart + valueLength;
    }
    w.end = static_cast<size_t>(pos);
    w.tiles = !w.tooMany && pos == n;
    return w;
}

// A tag beyond the limits counts as damaged: refused when refuse is set, else not cut off.
int64_t VerifiedStart(TStream& stream, const Layout& l, bool refuse) {
    if (l.tooLarge && refuse) throw TFileError(LimitText());
    if (!l.found || l.itemsStart < 0 || l.tooLarge) return -1;
    if (l.header && !refuse) return l.itemsStart - kFooterSize;
    TRegionStream region{stream, l.itemsStart, static_cast<uint64_t>(l.size - kFooterSize), {}};
    const Walk walk = WalkItems(region, false);
    if (walk.tooMany && refuse) throw TFileError(LimitText());
    if (l.header) return l.itemsStart - kFooterSize;
    return walk.tiles ? l.itemsStart : -1;
}

std::string ItemBytes(std::string_view key, std::string_view value, uint32_t flags) {
    std::string out;
    out.reserve(9 + key.size() + value.size());
    AppendLe(out, static_cast<uint32_t>(value.size()), 4);
    AppendLe(out, flags, 4);
    out.append(key).append(1, '\0').append(value);
    return out;
}

constexpr uint32_t kBinaryType = 1;
constexpr uint32_t kTypeBits = 3u << 1;

std::vector<std::string> SplitValues(std::string_view value) {
    std::vector<std::string> parts;
    for (size_t pos = 0; pos <= value.size();) {
        const size_t zero = std::min(value.find('\0', pos), value.size());
        std::string part = Trim(value.substr(pos, zero - pos));
        if (!part.empty()) parts.push_back(std::move(part));
        pos = zero + 1;
    }
    return parts;
}

// What ItemValue shows for an item: binary data as it is (trimmed), text with its values joined.
std::string Shown(std::string_view value, uint32_t flags) {
    if (((flags >> 1) & 3) == kBinaryType) return Trim(value);
    std::string out;
    for (const auto& part : SplitValues(value))
        out += (out.empty() ? "" : "; ") + part;
    return out;
}

} // namespace

void TAPETag::Clear() {
    raw_ = {};
    offsets_ = {};
    items_ = {};
    listed_ = true;
    exists_ = false;
    version_ = 0;
    size_ = 0;
    totalSize_ = 0;
    error_.clear();
}

bool TAPETag::ReadFrom(TStream& stream) {
    Clear();
    const Layout l = Locate(stream);
    if (!l.footerRead) return false;
    if (!l.found) return true;
    if (l.tooLarge) {
        error_ = LimitText();
        return false;
    }
    exists_ = true;
    version_ = l.version;
    size_ = l.size;
    if (l.itemsStart < 0) return true;
    try {
        // The region is bounded by the file and by kMaxTagBytes; it is kept as the items' storage.
        std::string region = ReadAt(stream, l.itemsStart, static_cast<size_t>(l.size - kFooterSize));
        TRegionBytes bytes{region};
        Walk walk = WalkItems(bytes, true, l.count);
        if (walk.tooMany) {
            Clear();
            error_ = LimitText();
            return false;
        }
        if (l.header || walk.tiles) totalSize_ = l.end - l.itemsStart + (l.header ? kFooterSize : 0);
        region.resize(walk.end);
        if (region.capacity() > 2 * region.size()) region.shrink_to_fit();
        raw_ = std::move(region);
        offsets_ = std::move(walk.offsets);
        listed_ = false;
    } catch (const TFileError&) {
        // A read error leaves no items.
    }
    return true;
}

int64_t TAPETag::TagSizeIn(TStream& stream) {
    const Layout l = Locate(stream);
    const int64_t start = VerifiedStart(stream, l, false);
    return start < 0 ? 0 : l.end - start;
}

TAPETag::TRawItem TAPETag::RawAt(size_t i) const {
    const char* p = raw_.data() + offsets_[i];
    const uint32_t valueLength = ReadLe32(reinterpret_cast<const uint8_t*>(p));
    const uint32_t flags = ReadLe32(reinterpret_cast<const uint8_t*>(p) + 4);
    const std::string_view key(p + 8);
    return {key, std::string_view(p + 8 + key.size() + 1, valueLength), flags};
}

void TAPETag::ToList() const {
    if (listed_) return;
    items_.clear();
    items_.reserve(offsets_.size());
    for (size_t i = 0; i < offsets_.size(); ++i) {
        const TRawItem r = RawAt(i);
        items_.push_back(RField{std::string(r.key), std::string(r.value), r.flags});
    }
    raw_ = {};
    offsets_ = {};
    listed_ = true;
}

const std::vector<RField>& TAPETag::Items() const {
    ToList();
    return items_;
}

std::vector<RField>& TAPETag::Items() {
    ToList();
    return items_;
}

size_t TAPETag::ItemCount() const {
    return listed_ ? items_.size() : offsets_.size();
}

long TAPETag::FindIndex(std::string_view key) const {
    const size_t n = ItemCount();
    for (size_t i = 0; i < n; ++i)
        if (SameTextAscii(listed_ ? std::string_view(items_[i].Key) : RawAt(i).key, key))
            return static_cast<long>(i);
    return -1;
}

template <typename Out> void TAPETag::BuildInto(Out& out) const {
    uint64_t total = kFooterSize;
    if (listed_) {
        for (const auto& item : items_) {
            if (item.Key.find('\0') != std::string::npos)
                throw TFileError("APEv2 item key contains a zero byte");
            total += 9 + item.Key.size() + item.Value.size();
        }
    } else {
        total += raw_.size();
    }
    if (total > 0xFFFFFFFFu - kFooterSize) throw TFileError("APEv2 tag too large");
    const auto count = static_cast<uint32_t>(ItemCount());
    auto frame = [&](uint32_t flags) {
        out.insert(out.end(), {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'});
        AppendLe(out, 2000, 4);
        AppendLe(out, static_cast<uint32_t>(total), 4);
        AppendLe(out, count, 4);
        AppendLe(out, flags, 4);
        out.insert(out.end(), 8, 0);
    };
    out.reserve(out.size() + static_cast<size_t>(total + kFooterSize));
    frame(kHeaderFlags);
    if (listed_) {
        for (const auto& item : items_) {
            const std::string bytes = ItemBytes(item.Key, item.Value, item.Flags);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
    } else {
        out.insert(out.end(), raw_.begin(), raw_.end());
    }
    frame(kFooterFlags);
}

std::string TAPETag::Build() const {
    std::string out;
    BuildInto(out);
    return out;
}

TFileChange TAPETag::PlanWrite(TStream& stream, bool& footerRead) const {
    const Layout l = Locate(stream);
    footerRead = l.footerRead;
    const int64_t verified = VerifiedStart(stream, l, true);
    const int64_t start = verified >= 0 ? verified : l.end;
    TFileChange change;
    change.offset = start;
    BuildInto(change.data);
    stream.Seek(l.end);
    const std::vector<uint8_t> tail = stream.ReadBytes(static_cast<size_t>(stream.Size() - l.end));
    change.data.insert(change.data.end(), tail.begin(), tail.end());
    return change;
}

bool TAPETag::WriteTo(TStream& stream) const {
    bool footerRead = false;
    const TFileChange change = PlanWrite(stream, footerRead);
    ApplyInPlace(stream, change);
    return footerRead;
}

bool TAPETag::ReadTags(const std::filesystem::path& path) {
    try {
        TWideFileStream stream(path, ModeReadShared);
        return ReadFrom(stream);
    } catch (...) {
        Clear();
        return false;
    }
}

bool TAPETag::WriteTags(const std::filesystem::path& path) {
    bool footerRead = false;
    ChangeFile(path, [&](TStream& file) { return std::optional<TFileChange>(PlanWrite(file, footerRead)); });
    return footerRead;
}

const RField* TAPETag::FindItem(const std::string& key) const {
    const long i = FindIndex(key);
    if (i < 0) return nullptr;
    ToList();
    return &items_[static_cast<size_t>(i)];
}

std::string TAPETag::ItemValue(const std::string& key) const {
    const long i = FindIndex(key);
    if (i < 0) return {};
    if (listed_) return Shown(items_[size_t(i)].Value, items_[size_t(i)].Flags);
    const TRawItem r = RawAt(size_t(i));
    return Shown(r.value, r.flags);
}

std::vector<std::string> TAPETag::ItemValues(const std::string& key) const {
    const long i = FindIndex(key);
    if (i < 0) return {};
    return SplitValues(listed_ ? std::string_view(items_[size_t(i)].Value) : RawAt(size_t(i)).value);
}

void TAPETag::SetItem(const std::string& key, const std::string& value) {
    const long i = FindIndex(key);
    // A key with a zero byte cannot be stored in the file form; the list keeps it until Build refuses it.
    if (!listed_ && (key.find('\0') != std::string::npos ||
                     raw_.size() + 9 + key.size() + value.size() > std::numeric_limits<uint32_t>::max()))
        ToList();
    if (listed_) {
        if (i >= 0) {
            RField& item = items_[size_t(i)];
            if (item.Value != value && Shown(item.Value, item.Flags) != value) {
                item.Value = value;
                item.Flags &= ~kTypeBits; // the new value is text
            }
        } else {
            items_.push_back(RField{key, value, 0});
        }
        return;
    }
    if (i < 0) {
        offsets_.push_back(static_cast<uint32_t>(raw_.size()));
        raw_ += ItemBytes(key, value, 0);
        return;
    }
    const TRawItem r = RawAt(size_t(i));
    if (r.value == value || Shown(r.value, r.flags) == value) return;
    const size_t start = offsets_[size_t(i)];
    const size_t oldLength = 9 + r.key.size() + r.value.size();
    const std::string replacement = ItemBytes(r.key, value, r.flags & ~kTypeBits);
    raw_.replace(start, oldLength, replacement);
    const auto delta = static_cast<int64_t>(replacement.size()) - static_cast<int64_t>(oldLength);
    for (size_t k = size_t(i) + 1; k < offsets_.size(); ++k)
        offsets_[k] = static_cast<uint32_t>(offsets_[k] + delta);
}

bool TAPETag::RemoveItem(const std::string& key) {
    if (listed_) {
        const auto before = items_.size();
        items_.erase(std::remove_if(items_.begin(), items_.end(),
                                    [&](const RField& item) { return SameTextAscii(item.Key, key); }),
                     items_.end());
        return items_.size() != before;
    }
    std::string raw;
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < offsets_.size(); ++i) {
        const TRawItem r = RawAt(i);
        if (SameTextAscii(r.key, key)) continue;
        offsets.push_back(static_cast<uint32_t>(raw.size()));
        raw.append(raw_, offsets_[i], 9 + r.key.size() + r.value.size());
    }
    const bool removed = offsets.size() != offsets_.size();
    raw_ = std::move(raw);
    offsets_ = std::move(offsets);
    return removed;
}

} // namespace tags
