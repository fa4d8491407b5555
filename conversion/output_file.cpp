#include "conversion/output_file.h"

#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quillotone {

namespace {
constexpr size_t kBufferSize = 1 << 20;

std::string systemError(int err) {
    return std::strerror(err);
}
} // namespace

OutputFile::OutputFile(const std::string& destination) : destination_(destination) {
    if (destination.empty())
        throw ConvertFailure(ConvertError::InvalidParameters, "The destination path is empty");
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw ConvertFailure(ConvertError::InvalidParameters, "The destination is a folder: " + destination);
    if (::stat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        direct_ = true;
        writePath_ = destination;
        fd_ = ::open(writePath_.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        std::random_device rd;
        for (int attempt = 0; attempt < 20 && fd_ < 0; ++attempt) {
            writePath_ = destination + ".part" + std::to_string(rd() % 1000000);
            fd_ = ::open(writePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
    }
    if (fd_ < 0)
        throw ConvertFailure(ConvertError::InvalidParameters,
                             "Cannot create \"" + destination + "\": " + systemError(errno));
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!direct_ && !writePath_.empty()) ::unlink(writePath_.c_str());
}

void OutputFile::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                             static_cast<off_t>(bufferStart_ + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw ConvertFailure(ConvertError::Stream, "Cannot write \"" + destination_ +
                                                           "\": " + systemError(n < 0 ? errno : ENOSPC));
        done += static_cast<size_t>(n);
    }
    bufferStart_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
}

void OutputFile::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (position_ != bufferStart_ + static_cast<int64_t>(buffer_.size())) {
        flush();
        bufferStart_ = position_;
    }
    while (size > 0) {
        size_t room = kBufferSize - buffer_.size();
        size_t chunk = std::min(room, size);
        buffer_.insert(buffer_.end(), bytes, bytes + chunk);
        bytes += chunk;
        size -= chunk;
        position_ += static_cast<int64_t>(chunk);
        size_ = std::max(size_, position_);
        if (buffer_.size() == kBufferSize) flush();
    }
}

void OutputFile::WriteAt(int64_t position, const void* data, size_t size) {
    int64_t keep = position_;
    Seek(position);
    Write(data, size);
    Seek(keep);
}

void OutputFile::Seek(int64_t position) {
    flush();
    bufferStart_ = position_ = position;
}

void OutputFile::Commit() {
    // No fsync: a conversion output is regenerated from its source, and the rename alone keeps
    // readers from ever seeing a partial file.
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && !direct_)
        throw ConvertFailure(ConvertError::Stream,
                             "Cannot write \"" + destination_ + "\": " + systemError(errno));
    if (!direct_ && ::rename(writePath_.c_str(), destination_.c_str()) != 0)
        throw ConvertFailure(ConvertError::InvalidParameters,
                             "Cannot replace \"" + destination_ + "\": " + systemError(errno));
    committed_ = true;
}

} // namespace quillotone
