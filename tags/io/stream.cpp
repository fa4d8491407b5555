#include "tags/io/stream.h"

#include "tags/io/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tags {

namespace {

std::string SystemText(int error) {
    const char* text = std::strerror(error);
    std::string trimmed = text ? Trim(text) : std::string();
    if (trimmed.empty() || trimmed.rfind("Unknown error", 0) == 0)
        return "Unspecified error (" + std::to_string(error) + ") from system.";
    return trimmed;
}

std::string FullPath(const std::filesystem::path& path) {
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    return (ec ? path : full).string();
}

} // namespace

std::string NotRegularText(const struct stat& st, int error) {
    if (S_ISDIR(st.st_mode)) return SystemText(EISDIR);
    if (S_ISFIFO(st.st_mode)) return "It is a pipe (FIFO), not a regular file.";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "It is a device, not a regular file.";
    if (S_ISSOCK(st.st_mode)) return "It is a socket, not a regular file.";
    if (!S_ISREG(st.st_mode) && st.st_mode != 0) return "It is not a regular file.";
    return SystemText(error);
}

std::string SystemErrorText(int error) {
    return SystemText(error);
}

int64_t TStream::Remaining() const {
    int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

std::vector<uint8_t> TStream::ReadBytes(size_t count) {
    size_t want = std::min<uint64_t>(count, static_cast<uint64_t>(Remaining()));
    std::vector<uint8_t> bytes(want);
    size_t got = want ? Read(bytes.data(), want) : 0;
    bytes.resize(got);
    return bytes;
}

void TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.Seek(0);
        count = source.Size();
    }
    if (count < 0) throw TFileError("Stream read error");
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(buffer.size())));
        size_t got = source.Read(buffer.data(), chunk);
        if (got != chunk) throw TFileError("Stream read error");
        Write(buffer.data(), got);
        count -= static_cast<int64_t>(got);
    }
}

// ---------------------------------------------------------------------------------------------------

TWideFileStream::TWideFileStream(const std::filesystem::path& path, FileMode mode) : path_(path) {
    const bool create = mode == ModeCreate || mode == ModeCreateNew;
    int flags = O_CLOEXEC;
    int lock = LOCK_EX;
    if (create) {
        // Not O_TRUNC: an existing file is cut only once we hold its lock.
        flags |= O_RDWR | O_CREAT | (mode == ModeCreateNew ? O_EXCL : 0);
    } else {
        const int access = mode & 0x3;
        const int share = (mode >> 4) & 0xF;
        if (access == 0)
            flags |= O_RDONLY;
        else if (access == 1)
            flags |= O_WRONLY;
        else if (access == 2)
            flags |= O_RDWR;
        else
            throw TFileError("Cannot open file \"" + FullPath(path) + "\". " + SystemText(EINVAL));
        if (share == 3 || share == 4)
            lock = 0;
        else if (share == 2 && access == 0)
            lock = LOCK_SH;
    }
    const char* verb = create ? "Cannot create file \"" : "Cannot open file \"";
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is cleared once the descriptor
    // is known to be a regular file.
    flags |= O_NONBLOCK | O_NOCTTY;
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw TFileError(verb + FullPath(path) + "\". " + SystemText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        throw TFileError(verb + FullPath(path) + "\". " + NotRegularText(st, error));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (lock != 0) {
        int rc;
        do
            rc = ::flock(fd, lock | LOCK_NB);
        while (rc < 0 && errno == EINTR);
        if (rc < 0 && (errno == EWOULDBLOCK || errno == EAGAIN)) {
            int error = errno;
            ::close(fd);
            throw TFileError(verb + FullPath(path) + "\". " + SystemText(error));
        }
    }
    if (mode == ModeCreate && ::ftruncate(fd, 0) < 0) {
        int error = errno;
        ::close(fd);
        throw TFileError(verb + FullPath(path) + "\". " + SystemText(error));
    }
    fd_ = fd;
}

TWideFileStream::~TWideFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

void TWideFileStream::Fail(const char* what, int error) const {
    throw TFileError(std::string(what) + " \"" + FullPath(path_) + "\". " + SystemText(error));
}

int64_t TWideFileStream::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) < 0) Fail("Cannot read file", fd_ < 0 ? EBADF : errno);
    return st.st_size;
}

int64_t TWideFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
    int64_t target = base + offset;
    if (target < 0) Fail("Cannot seek in file", EINVAL);
    position_ = target;
    return position_;
}

size_t TWideFileStream::Read(void* buffer, size_t count) {
    if (fd_ < 0) Fail("Cannot read file", EBADF);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, out + done, count - done, position_);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read file", errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
        position_ += n;
    }
    return done;
}

void TWideFileStream::Write(const void* buffer, size_t count) {
    if (fd_ < 0) Fail("Cannot write file", EBADF);
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, in + done, count - done, position_);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write file", errno);
        }
        if (n == 0) Fail("Cannot write file", ENOSPC);
        done += static_cast<size_t>(n);
        position_ += n;
    }
}

void TWideFileStream::Truncate() {
    if (fd_ < 0 || ::ftruncate(fd_, position_) < 0) Fail("Cannot write file", fd_ < 0 ? EBADF : errno);
}

void TWideFileStream::Sync() {
    if (fd_ < 0 || ::fsync(fd_) < 0) Fail("Cannot write file", fd_ < 0 ? EBADF : errno);
}

void TWideFileStream::Close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) < 0 && errno != EINTR) Fail("Cannot write file", errno);
}

// ---------------------------------------------------------------------------------------------------

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
    int64_t target = base + offset;
    if (target < 0) throw TFileError("Stream seek error");
    position_ = target;
    return position_;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    // an empty read may come with no buffer at all, which memcpy must not see
    if (count == 0 || position_ >= Size()) return 0;
    size_t n = std::min<size_t>(count, static_cast<size_t>(Size() - position_));
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return;
    size_t end = static_cast<size_t>(position_) + count;
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ = static_cast<int64_t>(end);
}

void TMemoryStream::Truncate() {
    data_.resize(static_cast<size_t>(position_));
}

} // namespace tags
