// The destination of a conversion: written through a temporary file beside it and moved into
// place only when complete, so a failed or stopped conversion leaves no partial output and an
// existing file survives until its replacement is whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillotone {

class OutputFile {
public:
    // Throws ConvertFailure(InvalidParameters) when the file cannot be created.
    explicit OutputFile(const std::string& destination);
    ~OutputFile(); // discards the output unless Commit ran
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // All throw ConvertFailure(Stream) on a write error (a full disk, an I/O error).
    void Write(const void* data, size_t size);
    void WriteAt(int64_t position, const void* data, size_t size);
    int64_t Position() const { return position_; }
    int64_t Size() const { return size_; }
    void Seek(int64_t position);
    // Flushes, closes and moves the file into place.
    void Commit();

private:
    void flush();
    void discard();

    std::string destination_;
    std::string writePath_; // temporary file, or the destination itself for a device
    bool direct_ = false;   // destination is not a regular file (e.g. /dev/full): written in place
    int fd_ = -1;
    int64_t position_ = 0; // logical position
    int64_t size_ = 0;
    int64_t bufferStart_ = 0; // file position of buffer_[0]
    std::vector<uint8_t> buffer_;
    bool committed_ = false;
};

} // namespace quillotone
