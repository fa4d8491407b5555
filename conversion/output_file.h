// The destination of a conversion: written into an unnamed file in the destination's folder
// (O_TMPFILE) that gets its name only when complete, so a failed, stopped or killed conversion
// leaves nothing behind and an existing file survives until its replacement is whole. Where the
// file system has no unnamed files, a named temporary ".quillotone-<pid>-<n>.part" stands in; one
// whose process is gone is removed by the next conversion into that folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillotone {

class OutputFile {
public:
    enum class Temporary { Unnamed, Named }; // Named: as on file systems without O_TMPFILE

    // Throws ConvertFailure(InvalidParameters) when the file cannot be created, or when the
    // destination is neither a regular file nor a character device (a FIFO would block).
    explicit OutputFile(const std::string& destination, Temporary temporary = Temporary::Unnamed);
    ~OutputFile(); // discards the output unless Commit ran
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // All throw ConvertFailure(Stream) on a write error (a full disk, an I/O error).
    void Write(const void* data, size_t size);
    void WriteAt(int64_t position, const void* data, size_t size);
    int64_t Position() const { return position_; }
    int64_t Size() const { return size_; }
    void Seek(int64_t position);
    // Flushes, closes and gives the file the destination's name. An existing destination is replaced
    // only when it existed already when this object was made: that is the one the caller chose to
    // replace. One that appeared meanwhile is left alone and the commit fails
    // (ConvertFailure(InvalidParameters)); so does any failing step, leaving no output.
    void Commit();

    // Removes the named temporaries of dead processes in `folder`; returns how many went.
    static int RemoveStaleTemporaries(const std::string& folder);

private:
    void flush();
    void discard();
    void openNamed();
    void closeChecked();
    std::string tempName() const;
    bool linkUnnamed(const std::string& name);
    [[noreturn]] void failCommit(int err);

    std::string destination_;
    std::string folder_;
    std::string tempPath_;   // the named temporary, while it has a name
    bool direct_ = false;    // a character device (e.g. /dev/full): written in place
    bool replacing_ = false; // something had the destination's name when we started
    int fd_ = -1;
    int64_t position_ = 0; // logical position
    int64_t size_ = 0;
    int64_t bufferStart_ = 0; // file position of buffer_[0]
    std::vector<uint8_t> buffer_;
    bool committed_ = false;
};

} // namespace quillotone
