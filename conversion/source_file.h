// A file that the components read: only a regular file is opened, and never in a way that can block
// (a FIFO or a device named like audio would hang an open or a read for ever). Reads that fail, or
// that end before the size the file had when it was opened, are failures, not the end of the file.
#pragma once

#include "tags/io/stream.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillotone {

// The bytes of a path for the file system (QFile::encodeName). None when the text has no exact byte
// form (a lone surrogate): such a name must be refused, never used under another name.
std::optional<std::string> NativePath(const QString& path);

class SourceFile {
public:
    // Why a file cannot be opened; the text names the file and says why.
    class OpenError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Throws OpenError for a missing, unreadable or non-regular file.
    explicit SourceFile(const std::string& path);
    virtual ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const std::string& Path() const { return path_; }
    // The size when opened: what the file holds for us, even if it grows meanwhile.
    int64_t Size() const { return size_; }
    // Reads up to `count` bytes at `offset`; 0 at Size() and beyond. -1 on a failure, which Failure()
    // then describes and which stays: the file is not read from again.
    int64_t ReadAt(void* buffer, size_t count, int64_t offset);
    bool Failed() const { return !failure_.empty(); }
    const std::string& Failure() const { return failure_; }

protected:
    // One read of the system (pread); tests put a failing one in its place.
    virtual int64_t readSome(void* buffer, size_t count, int64_t offset);

private:
    std::string path_;
    int fd_ = -1;
    int64_t size_ = 0;
    std::string failure_;
};

// A SourceFile as a read-only stream of the tag layer; a failed read ends the stream.
class SourceStream final : public tags::TStream {
public:
    explicit SourceStream(SourceFile& file) : file_(file) {}
    int64_t Size() const override { return file_.Size(); }
    int64_t Position() const override { return position_; }
    int64_t Seek(int64_t offset, tags::SeekOrigin origin = tags::SeekOrigin::Begin) override;
    size_t Read(void* buffer, size_t count) override;
    void Write(const void*, size_t) override;
    void Truncate() override;

private:
    SourceFile& file_;
    int64_t position_ = 0;
};

} // namespace quillotone
