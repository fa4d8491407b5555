// Byte streams of the tag layer: one interface, a disk file and an in-memory buffer, so that
// parsers can be fed bytes in tests and fuzz targets without touching the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tags {

using TagText = std::string; // UTF-8

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Size() const = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin = SeekOrigin::Begin) = 0;
    // Reads up to count bytes; fewer at the end of the stream, never an error for that.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all count bytes or throws TFileError.
    virtual void Write(const void* buffer, size_t count) = 0;
    // Cuts the stream at the current position.
    virtual void Truncate() = 0;

    // Copies count bytes from source's position to ours; count 0 copies the whole source from its start.
    void CopyFrom(TStream& source, int64_t count);
    void WriteText(const TagText& text) { Write(text.data(), text.size()); }
    void WriteBytes(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
    // Reads exactly count bytes or returns fewer when the stream ends first.
    std::vector<uint8_t> ReadBytes(size_t count);
};

} // namespace tags
