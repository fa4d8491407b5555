// Byte streams of the tag layer: one interface, a disk file and an in-memory buffer, so that
// parsers can be fed bytes in tests and fuzz targets without touching the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

struct stat;

namespace tags {

using TagText = std::string; // UTF-8

// The one error type of the file layer; its text is meant for the user.
class TFileError : public std::runtime_error {
public:
    explicit TFileError(const std::string& message) : std::runtime_error(message) {}
};

// The platform's text for an error code, trimmed; "Unspecified error (%d) from system." when it has none.
std::string SystemErrorText(int error);
// Why a descriptor with this status is no file to work on (a folder, a FIFO, a device), or the text of
// error when the status could not be read.
std::string NotRegularText(const struct ::stat& st, int error);

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
    // Throws TFileError when the source ends first.
    void CopyFrom(TStream& source, int64_t count);
    void WriteText(const TagText& text) { Write(text.data(), text.size()); }
    void WriteBytes(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
    // Reads exactly count bytes or returns fewer when the stream ends first. Never allocates more than
    // what is left in the stream, so a length read from a damaged file cannot exhaust memory.
    std::vector<uint8_t> ReadBytes(size_t count);
    // Bytes from the position to the end (0 when the position lies past the end).
    int64_t Remaining() const;
};

// Open modes: bits 0-1 access (0 read, 1 write, 2 read and write), bits 4-7 what other openers may do
// (0/1 nothing, 2 read, 3 write, 4 read and write). Only existing files are opened, except by the two
// create modes.
using FileMode = uint16_t;
inline constexpr FileMode ModeRead = 0x00;
inline constexpr FileMode ModeReadWrite = 0x02;
inline constexpr FileMode ModeReadShared = 0x20;
inline constexpr FileMode ModeReadWriteShared = 0x22;
// Creates the file or truncates an existing one; read and write, exclusive.
inline constexpr FileMode ModeCreate = 0xFFFF;
// Like ModeCreate, but fails when the file exists already (used for temporary files, so that a file
// of the user's that happens to carry the name is never overwritten).
inline constexpr FileMode ModeCreateNew = 0xFFFE;

// A file opened by a UTF-8 path over a POSIX descriptor. Only regular files are opened: a FIFO or a
// device named like an audio file is refused at once (the open itself never waits for a writer).
//
// Sharing is kept with advisory locks (flock), which only cooperating programs honour: an opener that
// may write, or that lets nobody else in, holds an exclusive lock; a reader that lets others read holds
// a shared lock; a mode that lets others write takes no lock. A lock held by someone else makes the open
// fail at once, as a sharing violation would. File systems without flock support open unlocked.
class TWideFileStream : public TStream {
public:
    TWideFileStream(const std::filesystem::path& path, FileMode mode);
    // Takes over a descriptor that is already open (and locked as the caller needs); closes it.
    TWideFileStream(int fd, const std::filesystem::path& path) : path_(path), fd_(fd) {}
    ~TWideFileStream() override;
    TWideFileStream(const TWideFileStream&) = delete;
    TWideFileStream& operator=(const TWideFileStream&) = delete;

    int64_t Size() const override;
    int64_t Position() const override { return position_; }
    int64_t Seek(int64_t offset, SeekOrigin origin = SeekOrigin::Begin) override;
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    void Truncate() override;

    // Flushes the file's data to the disk (fsync).
    void Sync();
    // Closes now and reports a failing close (some file systems report write errors only here).
    void Close();
    int Handle() const { return fd_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    [[noreturn]] void Fail(const char* what, int error) const;
    std::filesystem::path path_;
    int fd_ = -1;
    int64_t position_ = 0;
};

// A growable byte buffer; writing past the end fills the gap with zero bytes.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
    explicit TMemoryStream(const std::string& bytes) : data_(bytes.begin(), bytes.end()) {}
    TMemoryStream(const void* bytes, size_t count)
        : data_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count) {}

    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t Position() const override { return position_; }
    int64_t Seek(int64_t offset, SeekOrigin origin = SeekOrigin::Begin) override;
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    void Truncate() override;

    const std::vector<uint8_t>& Data() const { return data_; }
    std::string Text() const { return std::string(data_.begin(), data_.end()); }

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

} // namespace tags
