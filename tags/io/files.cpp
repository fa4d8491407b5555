#include "tags/io/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tags {

bool WideFileExists(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool ClearFileAttributes(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (st.st_mode & S_IWUSR) return true;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool WideDeleteFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0;
}

bool WideRenameFile(const std::filesystem::path& oldPath, const std::filesystem::path& newPath) {
    if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name just the same.
    if (::link(oldPath.c_str(), newPath.c_str()) != 0) return false;
    if (::unlink(oldPath.c_str()) != 0) {
        ::unlink(newPath.c_str());
        return false;
    }
    return true;
}

int64_t LeadingTagSize(TStream& stream) {
    const int64_t saved = stream.Position();
    stream.Seek(0);
    uint8_t h[10] = {};
    const size_t got = stream.Read(h, sizeof h);
    stream.Seek(saved);
    if (got < sizeof h || h[0] != 'I' || h[1] != 'D' || h[2] != '3') return 0;
    // The size bytes are taken as they are: a damaged size with top bits set only grows the claim,
    // and the check against the stream below catches it.
    int64_t size = (int64_t(h[6]) << 21) + (int64_t(h[7]) << 14) + (int64_t(h[8]) << 7) + h[9] + 10;
    if (h[5] & 0x10) size += 10;
    return size > stream.Size() ? 0 : size;
}

namespace {

// Syncs the folder so that the rename itself survives a power cut; a folder that cannot be opened
// or synced (some file systems) is no reason to fail a finished rewrite.
void SyncFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool RewriteThroughTempFile(const std::filesystem::path& path, int64_t keepFrom, TStream& newHead,
                            const std::function<void(TWideFileStream& temp)>& extraSteps) {
    if (!WideFileExists(path) || !ClearFileAttributes(path)) return false;
    std::filesystem::path tempPath = path;
    tempPath += "~";
    bool tempCreated = false;
    try {
        // Shared reading lets a caller keep its own reading stream on the file open meanwhile.
        TWideFileStream source(path, ModeReadShared);
        struct stat st {};
        if (::fstat(source.Handle(), &st) != 0) return false;
        const int64_t size = source.Size();
        if (keepFrom < 0 || keepFrom > size) return false;
        TWideFileStream temp(tempPath, ModeCreateNew);
        tempCreated = true;
        temp.CopyFrom(newHead, 0);
        source.Seek(keepFrom);
        if (size > keepFrom) temp.CopyFrom(source, size - keepFrom);
        if (extraSteps) extraSteps(temp);
        // Keep the owner where we may (only root may give a file away), and the permission bits.
        if (::fchown(temp.Handle(), st.st_uid, st.st_gid) != 0) {
            // Not fatal: the file is then ours, as any rewritten file would be.
        }
        if (::fchmod(temp.Handle(), st.st_mode & 07777) != 0)
            throw TFileError("Cannot write file \"" + tempPath.string() + "\".");
        temp.Sync();
        temp.Close();
        source.Close();
        if (::rename(tempPath.c_str(), path.c_str()) != 0)
            throw TFileError("Cannot rename file \"" + tempPath.string() + "\".");
        tempCreated = false;
        SyncFolder(path);
        return true;
    } catch (...) {
        if (tempCreated) ::unlink(tempPath.c_str());
        return false;
    }
}

} // namespace tags
