#include "tags/riff/riff_info.h"

#include "tags/io/endian.h"
#include "tags/io/text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tags {

namespace {

constexpr int64_t kRiffHeader = 12;
constexpr int64_t kChunkHeader = 8;

struct TChunk {
    int64_t at = 0; // header position
    char id[4]{};
    uint32_t size = 0;
    bool infoList = false;
    int64_t end() const { return at + kChunkHeader + size + (size & 1); }
};

// The chunks of a RIFF WAVE stream in file order; `whole` is false when one claims more than the stream
// holds (it is the last one listed).
struct TLayout {
    std::vector<TChunk> chunks;
    bool whole = true;
};

std::optional<TLayout> ReadLayout(TStream& s) {
    uint8_t header[kRiffHeader];
    s.Seek(0);
    if (s.Read(header, sizeof header) != sizeof header || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0)
        return std::nullopt;
    TLayout layout;
    const int64_t size = s.Size();
    for (int64_t at = kRiffHeader; at + kChunkHeader <= size;) {
        uint8_t h[12];
        s.Seek(at);
        const size_t got = s.Read(h, sizeof h);
        TChunk chunk;
        chunk.at = at;
        std::memcpy(chunk.id, h, 4);
        chunk.size = ReadLe32(h + 4);
        chunk.infoList = got == 12 && std::memcmp(h, "LIST", 4) == 0 && std::memcmp(h + 8, "INFO", 4) == 0;
        layout.chunks.push_back(chunk);
        // The pad byte of a last odd chunk may be missing; anything beyond that is more than the file has.
        if (at + kChunkHeader + chunk.size > size) {
            layout.whole = false;
            break;
        }
        at = chunk.end();
    }
    return layout;
}

std::string ValueText(std::string_view raw) {
    const std::string_view text = raw.substr(0, raw.find('\0'));
    return IsValidUtf8(text) ? Trim(text) : Trim(Latin1ToUtf8(text));
}

} // namespace

bool TRiffInfo::ReadTags(const std::filesystem::path& path) {
    Clear();
    try {
        TWideFileStream file(path, ModeReadShared);
        return ReadFrom(file);
    } catch (const TFileError&) {
        Clear();
        return false;
    }
}

bool TRiffInfo::ReadFrom(TStream& stream) {
    Clear();
    const auto layout = ReadLayout(stream);
    if (!layout) return false;
    for (const TChunk& chunk : layout->chunks) {
        if (!chunk.infoList) continue;
        exists_ = true;
        const int64_t end = std::min<int64_t>(chunk.at + kChunkHeader + chunk.size, stream.Size());
        for (int64_t at = chunk.at + kRiffHeader; at + kChunkHeader <= end;) {
            uint8_t h[kChunkHeader];
            stream.Seek(at);
            if (stream.Read(h, sizeof h) != sizeof h) break;
            const uint32_t size = ReadLe32(h + 4);
            if (size > end - at - kChunkHeader) break; // damaged: as far as it is sound
            const std::vector<uint8_t> value = stream.ReadBytes(size);
            items_.push_back(
                {std::string(reinterpret_cast<const char*>(h), 4),
                 ValueText(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()))});
            at += kChunkHeader + size + (size & 1);
        }
    }
    return true;
}

TagText TRiffInfo::Value(std::string_view id) const {
    for (const TItem& item : items_)
        if (item.id == id) return item.value;
    return {};
}

void TRiffInfo::Set(const std::string& id, const TagText& value) {
    const std::string text = Trim(value);
    std::vector<TItem> items;
    bool placed = false;
    for (TItem& item : items_) {
        if (item.id != id) {
            items.push_back(std::move(item));
            continue;
        }
        if (!placed && !text.empty()) items.push_back({id, text});
        placed = true;
    }
    if (!placed && !text.empty()) items.push_back({id, text});
    items_ = std::move(items);
}

std::vector<uint8_t> TRiffInfo::BuildList() const {
    if (items_.empty()) return {};
    std::vector<uint8_t> out = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
    for (const TItem& item : items_) {
        // Readers expect the text to end in a zero byte, and every chunk to start on an even offset.
        const uint64_t size = item.value.size() + 1;
        if (item.id.size() != 4 || size > std::numeric_limits<uint32_t>::max() - out.size()) return {};
        out.insert(out.end(), item.id.begin(), item.id.end());
        AppendLe(out, size, 4);
        out.insert(out.end(), item.value.begin(), item.value.end());
        out.push_back(0);
        if (size & 1) out.push_back(0);
    }
    WriteLe(&out[4], out.size() - kChunkHeader, 4);
    return out;
}

bool TRiffInfo::PlanWrite(TStream& stream, std::optional<TFileChange>& change) const {
    change.reset();
    const auto layout = ReadLayout(stream);
    if (!layout || !layout->whole) return false;
    const std::vector<uint8_t> list = BuildList();
    if (list.empty() && !items_.empty()) return false;

    // The new list replaces a last INFO list; one in the middle is voided in place.
    int64_t end = layout->chunks.empty() ? kRiffHeader : layout->chunks.back().end();
    std::vector<int64_t> voided;
    for (size_t i = 0; i < layout->chunks.size(); ++i) {
        const TChunk& c = layout->chunks[i];
        if (!c.infoList) continue;
        if (i + 1 == layout->chunks.size())
            end = c.at;
        else
            voided.push_back(c.at);
    }
    const int64_t newSize = end + static_cast<int64_t>(list.size());
    if (newSize - kChunkHeader > std::numeric_limits<uint32_t>::max()) return false;
    if (list.empty() && voided.empty() && end >= stream.Size()) return true; // nothing to change

    change.emplace();
    change->kind = TFileChange::Kind::Rewrite;
    change->data = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    WriteLe(&change->data[4], static_cast<uint64_t>(newSize - kChunkHeader), 4);
    change->keepFrom = kRiffHeader;
    change->extraSteps = [end, voided, list](TWideFileStream& content) {
        for (int64_t at : voided) {
            content.Seek(at);
            content.Write("JUNK", 4);
        }
        // A last odd chunk whose pad byte is missing gets it, so that the list starts where readers look.
        const int64_t size = content.Size();
        content.Seek(end);
        if (size < end) {
            const std::vector<uint8_t> pad(static_cast<size_t>(end - size), 0);
            content.Seek(size);
            content.WriteBytes(pad);
        }
        content.Truncate();
        content.WriteBytes(list);
    };
    return true;
}

bool TRiffInfo::WriteTags(const std::filesystem::path& path) const {
    bool planned = false;
    ChangeFile(path, [&](TStream& file) {
        std::optional<TFileChange> change;
        planned = PlanWrite(file, change);
        return change;
    });
    return planned;
}

} // namespace tags
