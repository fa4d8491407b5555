#include "conversion/output_file.h"

#include "conversion/convert_failure.h"
#include "conversion/convert_interface.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace quillotone {

namespace {
constexpr size_t kBufferSize = 1 << 20;
constexpr const char* kTempPrefix = ".quillotone-";
constexpr const char* kTempSuffix = ".part";

std::string systemError(int err) {
    return std::strerror(err);
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The process that wrote a name of the form ".quillotone-<pid>-<n>.part"; 0 for any other name.
pid_t writerOf(const char* name) {
    const size_t prefix = std::strlen(kTempPrefix), suffix = std::strlen(kTempSuffix);
    const size_t length = std::strlen(name);
    if (length <= prefix + suffix || std::strncmp(name, kTempPrefix, prefix) != 0 ||
        std::strcmp(name + length - suffix, kTempSuffix) != 0)
        return 0;
    const std::string middle(name + prefix, length - prefix - suffix);
    size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 9) return 0;
    for (size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < '0' || middle[i] > '9')) return 0;
    return static_cast<pid_t>(std::stol(middle.substr(0, dash)));
}

// Looking through a folder for the leftovers of dead processes costs a listing; a batch writing
// thousands of files into one folder does it once every few seconds, not for every file.
bool cleanedLately(const std::string& folder) {
    static std::mutex mutex;
    static std::map<std::string, std::chrono::steady_clock::time_point> lastClean;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, added] = lastClean.try_emplace(folder, now);
    if (!added && now - it->second < std::chrono::seconds(5)) return true;
    it->second = now;
    return false;
}

} // namespace

int OutputFile::RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    const pid_t self = ::getpid();
    while (dirent* e = ::readdir(dir)) {
        pid_t writer = writerOf(e->d_name);
        // A live process, ours included, may still be writing it; a pid that is reused keeps it too.
        if (writer <= 0 || writer == self || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::unlinkat(::dirfd(dir), e->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

OutputFile::OutputFile(const std::string& destination, Temporary temporary)
    : destination_(destination), folder_(folderOf(destination)) {
    if (destination.empty())
        throw ConvertFailure(ConvertError::InvalidParameters, "The destination path is empty");
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw ConvertFailure(ConvertError::InvalidParameters,
                                 "The destination is a folder: " + destination);
        if (S_ISCHR(st.st_mode)) {
            // e.g. /dev/null; O_NONBLOCK keeps an odd device from holding the open
            direct_ = true;
            fd_ = ::open(destination.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        } else if (!S_ISREG(st.st_mode)) {
            throw ConvertFailure(ConvertError::InvalidParameters,
                                 "The destination is not a regular file: " + destination);
        }
    }
    struct stat lst {};
    replacing_ = ::lstat(destination.c_str(), &lst) == 0;
    if (!direct_) {
        if (!cleanedLately(folder_)) RemoveStaleTemporaries(folder_);
        if (temporary == Temporary::Unnamed)
            fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // file systems without unnamed files say so in one of these ways
        if (temporary == Temporary::Named ||
            (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)))
            openNamed();
    }
    if (fd_ < 0)
        throw ConvertFailure(ConvertError::InvalidParameters,
                             "Cannot create \"" + destination + "\": " + systemError(errno));
    buffer_.reserve(kBufferSize);
}

void OutputFile::openNamed() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = tempName();
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempPath_ = path;
            return;
        }
        if (errno != EEXIST) return;
    }
}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
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

void OutputFile::failCommit(int err) {
    discard();
    throw ConvertFailure(ConvertError::InvalidParameters,
                         "Cannot create \"" + destination_ + "\": " +
                             (err == EEXIST
                                  ? "a file of that name appeared during the conversion; it is left as it is"
                                  : systemError(err)));
}

void OutputFile::closeChecked() {
    int fd = fd_;
    fd_ = -1;
    // some file systems report a failed write only here
    if (::close(fd) != 0) {
        int err = errno;
        discard();
        throw ConvertFailure(ConvertError::Stream,
                             "Cannot write \"" + destination_ + "\": " + systemError(err));
    }
}

std::string OutputFile::tempName() const {
    static std::atomic<unsigned> counter{0};
    return folder_ + "/" + kTempPrefix + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + kTempSuffix;
}

bool OutputFile::linkUnnamed(const std::string& name) {
    if (::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    // AT_EMPTY_PATH needs a privilege that the /proc link to the descriptor does not
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void OutputFile::Commit() {
    // No fsync: a conversion output is regenerated from its source, and the output gets its name
    // only when whole, so no reader ever sees a partial file.
    flush();
    if (direct_) {
        closeChecked();
        committed_ = true;
        return;
    }
    if (tempPath_.empty() && !replacing_) {
        // An unnamed file that replaces nothing gets its name at once; a taken name refuses the link.
        if (!linkUnnamed(destination_)) failCommit(errno);
        try {
            closeChecked();
        } catch (...) {
            ::unlink(destination_.c_str()); // linked by us a moment ago
            throw;
        }
        committed_ = true;
        return;
    }
    if (tempPath_.empty()) {
        // A replacement needs a name to rename from: the unnamed file gets a temporary one first.
        for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
            std::string name = tempName();
            if (linkUnnamed(name))
                tempPath_ = name;
            else if (errno != EEXIST)
                failCommit(errno);
        }
        if (tempPath_.empty()) failCommit(EEXIST);
    }
    closeChecked();
    if (replacing_) {
        if (::rename(tempPath_.c_str(), destination_.c_str()) != 0) failCommit(errno);
    } else if (::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) !=
               0) {
        if (errno != EINVAL && errno != ENOSYS) failCommit(errno);
        // no RENAME_NOREPLACE on this file system: a hard link refuses a taken name just the same
        if (::link(tempPath_.c_str(), destination_.c_str()) != 0) failCommit(errno);
        ::unlink(tempPath_.c_str());
    }
    tempPath_.clear();
    committed_ = true;
}

} // namespace quillotone
