#include "tags/apev2/apetag.h"

#include "tags/io/endian.h"
#include "tags/io/text.h"

#include <cstring>

namespace tags {

namespace {

constexpr int64_t kFooterSize = 32;

std::string ReadAt(TStream& stream, int64_t position, size_t count) {
    stream.Seek(position);
    auto bytes = stream.ReadBytes(count);
    return std::string(bytes.begin(), bytes.end());
}

// Where the tag stands: the end of the audio side (in front of Lyrics3 and ID3v1) and the footer.
struct Layout {
    bool footerRead = false;
    bool found = false;
    int64_t end = 0; // first byte of the Lyrics3 block or ID3v1 record, or the file size
    uint32_t version = 0, size = 0, count = 0, flags = 0;
    int64_t itemsStart = -1; // -1: the size field points outside the file
    int64_t tagStart = -1;   // header included when there is one
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
    l.itemsStart = l.end - l.size;
    l.tagStart = l.itemsStart;
    // Count the header only when it is really there: a wrong flag must not cut into the audio.
    if ((l.flags & 0x80000000u) && l.itemsStart >= kFooterSize &&
        ReadAt(stream, l.itemsStart - kFooterSize, 8) == "APETAGEX")
        l.tagStart -= kFooterSize;
    return l;
}

} // namespace

void TAPETag::Clear() {
    items_.clear();
    exists_ = false;
    version_ = 0;
    size_ = 0;
    totalSize_ = 0;
}

bool TAPETag::ReadFrom(TStream& stream) {
    Clear();
    const Layout l = Locate(stream);
    if (!l.footerRead) return false;
    if (!l.found) return true;
    exists_ = true;
    version_ = l.version;
    size_ = l.size;
    if (l.itemsStart < 0) return true;
    totalSize_ = l.end - l.tagStart;
    try {
        // The region is bounded by the file, and every length inside it is checked against it.
        const std::string region = ReadAt(stream, l.itemsStart, static_cast<size_t>(l.size - kFooterSize));
        const auto* p = reinterpret_cast<const uint8_t*>(region.data());
        const size_t n = region.size();
        size_t pos = 0;
        for (uint32_t i = 0; i < l.count && n - pos >= 8; ++i) {
            const uint32_t valueLength = ReadLe32(p + pos);
            const uint32_t flags = ReadLe32(p + pos + 4);
            pos += 8;
            const void* zero = std::memchr(p + pos, 0, n - pos);
            if (!zero) break;
            const size_t keyLength = static_cast<const uint8_t*>(zero) - (p + pos);
            RField item;
            item.Key = region.substr(pos, keyLength);
            pos += keyLength + 1;
            if (valueLength > n - pos) break;
            item.Value = region.substr(pos, valueLength);
            item.Flags = flags;
            pos += valueLength;
            items_.push_back(std::move(item));
        }
    } catch (const std::exception&) {
        // A read error keeps the items read so far.
    }
    return true;
}

std::string TAPETag::Build() const {
    uint64_t total = kFooterSize;
    for (const auto& item : items_) {
        if (item.Key.find('\0') != std::string::npos) throw TFileError("APEv2 item key contains a zero byte");
        total += 9 + item.Key.size() + item.Value.size();
    }
    if (total > 0xFFFFFFFFu - kFooterSize) throw TFileError("APEv2 tag too large");
    auto frame = [&](uint32_t flags) {
        std::string h = "APETAGEX";
        AppendLe(h, 2000, 4);
        AppendLe(h, static_cast<uint32_t>(total), 4);
        AppendLe(h, static_cast<uint32_t>(items_.size()), 4);
        AppendLe(h, flags, 4);
        h.append(8, '\0');
        return h;
    };
    std::string out = frame(kHeaderFlags);
    out.reserve(static_cast<size_t>(total + kFooterSize));
    for (const auto& item : items_) {
        AppendLe(out, static_cast<uint32_t>(item.Value.size()), 4);
        AppendLe(out, item.Flags, 4);
        out.append(item.Key).append(1, '\0').append(item.Value);
    }
    out += frame(kFooterFlags);
    return out;
}

bool TAPETag::WriteTo(TStream& stream) const {
    const Layout l = Locate(stream);
    const int64_t fileSize = stream.Size();
    const int64_t start = (l.found && l.tagStart >= 0) ? l.tagStart : l.end;
    const std::string tail = ReadAt(stream, l.end, static_cast<size_t>(fileSize - l.end));
    // Keep the old bytes until the new ones are complete, so a failed write can put them back.
    const std::string old = ReadAt(stream, start, static_cast<size_t>(fileSize - start));
    const std::string fresh = Build() + tail;
    try {
        stream.Seek(start);
        stream.WriteText(fresh);
        stream.Truncate();
    } catch (...) {
        try {
            stream.Seek(start);
            stream.WriteText(old);
            stream.Truncate();
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
    return l.footerRead;
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
    TWideFileStream stream(path, ModeReadWriteShared);
    const bool result = WriteTo(stream);
    stream.Close();
    return result;
}

const RField* TAPETag::FindItem(const std::string& key) const {
    for (const auto& item : items_)
        if (SameTextAscii(item.Key, key)) return &item;
    return nullptr;
}

std::string TAPETag::ItemValue(const std::string& key) const {
    const RField* item = FindItem(key);
    return item ? Trim(item->Value) : std::string();
}

void TAPETag::SetItem(const std::string& key, const std::string& value) {
    for (auto& item : items_)
        if (SameTextAscii(item.Key, key)) {
            if (item.Value != value) {
                item.Value = value;
                item.Flags &= ~(3u << 1); // the new value is text
            }
            return;
        }
    items_.push_back(RField{key, value, 0});
}

} // namespace tags
