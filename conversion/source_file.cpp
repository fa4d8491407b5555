#include "conversion/source_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillotone {

std::optional<std::string> NativePath(const QString& path) {
    QByteArray bytes = QFile::encodeName(path);
    if (QFile::decodeName(bytes) != path) return std::nullopt;
    return bytes.toStdString();
}

namespace {

std::string inQuotes(const std::string& path) {
    return "\"" + path + "\"";
}

std::string notRegular(const std::string& path, mode_t mode) {
    const char* what = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "not a regular file";
    return inQuotes(path) + " is " + what + ", not an audio file";
}

} // namespace

SourceFile::SourceFile(const std::string& path) : path_(path) {
    if (path.empty()) throw OpenError("The source path is empty");
    // Looked at before it is opened: opening some devices alone has effects.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw OpenError("Cannot open " + inQuotes(path) + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw OpenError(notRegular(path, st.st_mode));
    // O_NONBLOCK: should a FIFO take the file's place meanwhile, the open returns at once.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw OpenError("Cannot open " + inQuotes(path) + ": " + std::strerror(errno));
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw OpenError(notRegular(path, st.st_mode));
    }
    size_ = st.st_size;
}

SourceFile::~SourceFile() {
    ::close(fd_);
}

int64_t SourceFile::readSome(void* buffer, size_t count, int64_t offset) {
    ssize_t n;
    do
        n = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n;
}

int64_t SourceFile::ReadAt(void* buffer, size_t count, int64_t offset) {
    if (Failed()) return -1;
    if (offset < 0 || offset >= size_ || count == 0) return 0;
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - offset));
    errno = 0;
    int64_t n = readSome(buffer, count, offset);
    if (n > 0) return n;
    if (n < 0)
        failure_ = "Cannot read " + inQuotes(path_) + ": " + std::strerror(errno ? errno : EIO);
    else // the end came before the size the file had: it was cut while we read it
        failure_ = inQuotes(path_) + " became shorter while it was read";
    return -1;
}

int64_t SourceStream::Seek(int64_t offset, tags::SeekOrigin origin) {
    int64_t base = origin == tags::SeekOrigin::Begin     ? 0
                   : origin == tags::SeekOrigin::Current ? position_
                                                         : Size();
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : INT64_MAX;
    position_ = std::max<int64_t>(0, target);
    return position_;
}

size_t SourceStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        int64_t n = file_.ReadAt(bytes + done, count - done, position_);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        position_ += n;
    }
    return done;
}

void SourceStream::Write(const void*, size_t) {
    throw tags::TFileError("Cannot write \"" + file_.Path() + "\": it is open for reading only");
}

void SourceStream::Truncate() {
    throw tags::TFileError("Cannot cut \"" + file_.Path() + "\": it is open for reading only");
}

} // namespace quillotone
