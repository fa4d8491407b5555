// Helpers of the tag tests: running a step in a child process (with a file size limit or without
// root's right to ignore permissions), and a stream that fails like a full disk.
#pragma once

#include "tags/io/stream.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

// Every name in a folder, hidden ones included, sorted: a write must leave nothing of its own behind.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// True when the file's folder holds nothing but the file itself.
inline bool AloneInFolder(const std::filesystem::path& file) {
    return Names(file.parent_path()) == std::vector<std::string>{file.filename().string()};
}

// Runs step in a forked child and returns its exit code (-1 when it died).
inline int RunInChild(const std::function<int()>& step) {
    pid_t pid = fork();
    if (pid == 0) _exit(step());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr uid_t kNobody = 65534;

// Root ignores permission bits, so permission tests run the step as an ordinary user.
inline int RunUnprivileged(const std::function<int()>& step) {
    return RunInChild([&] {
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return 99;
        return step();
    });
}

// Lets the unprivileged user reach and own a file below root.
inline void GiveToUnprivilegedUser(const std::filesystem::path& root, const std::filesystem::path& file) {
    if (geteuid() != 0) return;
    std::filesystem::permissions(root, std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    if (chown(file.c_str(), kNobody, kNobody) != 0) return;
}

// A memory stream on a disk that holds its initial bytes plus `spare` more: bytes up to that size
// are written (overwriting what the file already has never needs new space), a write past it stores
// what fits and throws like a full disk.
class TFullDiskStream : public tags::TMemoryStream {
public:
    TFullDiskStream(std::vector<uint8_t> bytes, int64_t spare)
        : tags::TMemoryStream(std::move(bytes)), capacity_(Size() + spare) {}
    void Write(const void* buffer, size_t count) override {
        const int64_t room = std::max<int64_t>(0, capacity_ - Position());
        const size_t fits = std::min<size_t>(count, static_cast<size_t>(room));
        tags::TMemoryStream::Write(buffer, fits);
        if (fits < count) throw tags::TFileError("Cannot write file \"memory\". No space left on device");
    }

private:
    int64_t capacity_;
};

} // namespace testsupport
