#include "tags/io/files.h"

#include "tags/io/endian.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace tags {

namespace fs = std::filesystem;

bool WideFileExists(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool ClearFileAttributes(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (st.st_mode & S_IWUSR) return true;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool WideDeleteFile(const fs::path& path) {
    return ::unlink(path.c_str()) == 0;
}

namespace {

// rename that fails on an existing target, also where the file system lacks RENAME_NOREPLACE (a hard
// link fails on an existing name just the same).
bool RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::linkat(fromDir, from, toDir, to, 0) != 0) return false;
    if (::unlinkat(fromDir, from, 0) != 0) {
        ::unlinkat(toDir, to, 0);
        return false;
    }
    return true;
}

} // namespace

bool WideRenameFile(const fs::path& oldPath, const fs::path& newPath) {
    return RenameNoReplace(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str());
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

void ApplyInPlace(TStream& stream, const TFileChange& change) {
    const int64_t oldSize = stream.Size();
    if (change.offset < 0 || change.offset > oldSize) throw TFileError("Stream seek error");
    const int64_t dataEnd = change.offset + static_cast<int64_t>(change.data.size());
    const int64_t undoEnd = change.cutAfter ? oldSize : std::min(oldSize, dataEnd);
    stream.Seek(change.offset);
    const std::vector<uint8_t> undo = stream.ReadBytes(static_cast<size_t>(undoEnd - change.offset));
    try {
        stream.Seek(change.offset);
        stream.WriteBytes(change.data);
        if (change.cutAfter) stream.Truncate();
    } catch (...) {
        try {
            stream.Seek(change.offset);
            stream.WriteBytes(undo);
            stream.Seek(oldSize);
            stream.Truncate();
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
}

// ---------------------------------------------------------------------------------------------------
// Changing a file safely

namespace {

constexpr std::string_view kPrefix = ".quillotone-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::string_view kJournalSuffix = ".journal";
constexpr size_t kRandomChars = 10;

bool IsOurs(std::string_view name, std::string_view suffix) {
    if (name.size() != kPrefix.size() + kRandomChars + suffix.size()) return false;
    if (name.substr(0, kPrefix.size()) != kPrefix || name.substr(name.size() - suffix.size()) != suffix)
        return false;
    const std::string_view middle = name.substr(kPrefix.size(), kRandomChars);
    return std::all_of(middle.begin(), middle.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

std::string RandomName(std::string_view suffix) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name(kPrefix);
    for (size_t i = 0; i < kRandomChars; ++i)
        name += kChars[random() % (sizeof kChars - 1)];
    name += suffix;
    return name;
}

[[noreturn]] void Fail(const char* what, const fs::path& path, int error) {
    throw TFileError(std::string(what) + " \"" + path.string() + "\". " + SystemErrorText(error));
}

class TDescriptor {
public:
    explicit TDescriptor(int fd = -1) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Flushes the folder so that a rename or a new name survives a power cut; a folder that cannot be
// synced (some file systems) is no reason to fail a change that is complete.
void SyncFolder(int dir) {
    ::fsync(dir);
}

// A journal ends in this trailer; the bytes in front of it are the new data. Little-endian numbers.
constexpr char kJournalMagic[8] = {'Q', 'L', 'T', 'N', 'J', 'R', 'N', 'L'};
constexpr size_t kTrailerSize = 8 + 6 * 8 + 8;

struct TJournalTrailer {
    uint64_t device = 0, inode = 0;
    int64_t offset = 0, dataSize = 0, finalSize = 0;
    int64_t oldSize = 0; // the file's size before the change began
};

std::vector<uint8_t> EncodeTrailer(const TJournalTrailer& t) {
    std::vector<uint8_t> out(kJournalMagic, kJournalMagic + 8);
    for (uint64_t v : {t.device, t.inode, uint64_t(t.offset), uint64_t(t.dataSize), uint64_t(t.finalSize),
                       uint64_t(t.oldSize)})
        AppendLe(out, v, 8);
    out.insert(out.end(), kJournalMagic, kJournalMagic + 8);
    return out;
}

std::optional<TJournalTrailer> DecodeTrailer(const std::vector<uint8_t>& b) {
    if (b.size() != kTrailerSize || !std::equal(kJournalMagic, kJournalMagic + 8, b.begin()) ||
        !std::equal(kJournalMagic, kJournalMagic + 8, b.end() - 8))
        return std::nullopt;
    TJournalTrailer t;
    t.device = ReadLe64(&b[8]);
    t.inode = ReadLe64(&b[16]);
    t.offset = static_cast<int64_t>(ReadLe64(&b[24]));
    t.dataSize = static_cast<int64_t>(ReadLe64(&b[32]));
    t.finalSize = static_cast<int64_t>(ReadLe64(&b[40]));
    t.oldSize = static_cast<int64_t>(ReadLe64(&b[48]));
    return t;
}

// A temporary file in the target's folder. Unnamed where the file system allows it, so that a kill
// leaves nothing behind; otherwise under a name of ours. It is locked from its creation on, so that
// no other writer takes it for a stale one; unless kept, it is gone when this object goes.
class TTempFile {
public:
    TTempFile(int dir, const fs::path& folder) : dir_(dir), folder_(folder) {
        int fd = ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            Fail("Cannot create file", folder / RandomName(kTempSuffix), errno);
        if (fd < 0) {
            // File systems without unnamed files: a fresh name of ours, never an existing file.
            do {
                name_ = RandomName(kTempSuffix);
                fd = ::openat(dir, name_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
            } while (fd < 0 && errno == EEXIST);
            if (fd < 0) {
                const int error = errno;
                name_.clear();
                Fail("Cannot create file", folder / RandomName(kTempSuffix), error);
            }
        }
        ::flock(fd, LOCK_EX | LOCK_NB);
        stream_ = std::make_unique<TWideFileStream>(fd, folder / (name_.empty() ? "(unnamed)" : name_));
    }
    ~TTempFile() {
        if (!name_.empty() && !kept_) ::unlinkat(dir_, name_.c_str(), 0);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    TWideFileStream& Stream() { return *stream_; }
    const std::string& Name() const { return name_; }

    // Gives the file a fresh name of ours with the suffix (linking an unnamed file into the folder).
    void GiveName(std::string_view suffix) {
        for (;;) {
            const std::string name = RandomName(suffix);
            bool done;
            if (name_.empty()) {
                const std::string self = "/proc/self/fd/" + std::to_string(stream_->Handle());
                done = ::linkat(AT_FDCWD, self.c_str(), dir_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
                if (!done && errno == ENOENT) // no /proc: the direct way needs a privilege, but try
                    done = ::linkat(stream_->Handle(), "", dir_, name.c_str(), AT_EMPTY_PATH) == 0;
            } else {
                done = RenameNoReplace(dir_, name_.c_str(), dir_, name.c_str());
            }
            if (done) {
                name_ = name;
                return;
            }
            if (errno != EEXIST) Fail("Cannot create file", folder_ / name, errno);
        }
    }
    // The name now stands for something else (the file was renamed over the target), or must stay
    // (a journal that a later change still needs).
    void Forget() { name_.clear(); }
    void Keep() { kept_ = true; }
    // The change is made: the journal goes, for good, before anything else may touch the file (an old
    // journal left by a power cut would otherwise be applied again later).
    void Discard() {
        if (name_.empty()) return;
        ::unlinkat(dir_, name_.c_str(), 0);
        name_.clear();
        ::fsync(dir_);
    }

private:
    int dir_;
    fs::path folder_;
    std::string name_;
    bool kept_ = false;
    std::unique_ptr<TWideFileStream> stream_;
};

// The file a change is made to: symbolic links followed, open for reading and writing under an
// exclusive lock, with its folder open beside it.
struct TTarget {
    fs::path path; // with every symbolic link resolved
    std::string name;
    TDescriptor dir;
    std::unique_ptr<TWideFileStream> file;
    struct stat st {};
};

std::unique_ptr<TTarget> OpenTarget(const fs::path& given) {
    auto t = std::make_unique<TTarget>();
    std::error_code ec;
    t->path = fs::canonical(given, ec);
    if (ec) {
        const int error = ec.value();
        Fail("Cannot open file", fs::absolute(given, ec), error);
    }
    struct stat st {};
    if (::stat(t->path.c_str(), &st) != 0) Fail("Cannot open file", t->path, errno);
    if (!S_ISREG(st.st_mode))
        throw TFileError("Cannot open file \"" + t->path.string() + "\". " + NotRegularText(st, 0));
    // A read-only file of the user's own is written, as for the read-only attribute elsewhere; a file
    // of someone else's is written only when the file itself lets us.
    if (st.st_uid == ::geteuid() && !(st.st_mode & S_IWUSR))
        ::chmod(t->path.c_str(), (st.st_mode & 07777) | S_IWUSR); // a failure shows in the open below
    int fd = ::open(t->path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) Fail("Cannot open file", t->path, errno);
    TDescriptor owned(fd);
    if (::fstat(fd, &t->st) != 0 || !S_ISREG(t->st.st_mode))
        throw TFileError("Cannot open file \"" + t->path.string() + "\". " + NotRegularText(t->st, errno));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN))
        Fail("Cannot open file", t->path, errno);
    fs::path folder = t->path.parent_path();
    t->name = t->path.filename().string();
    t->dir.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (t->dir.Get() < 0) Fail("Cannot open file", folder, errno);
    t->file = std::make_unique<TWideFileStream>(owned.Release(), t->path);
    return t;
}

void CopyRange(TStream& from, int64_t fromAt, TStream& to, int64_t toAt, int64_t count) {
    from.Seek(fromAt);
    to.Seek(toAt);
    if (count > 0) to.CopyFrom(from, count);
}

// Makes room for the file to grow before anything is overwritten, so that a full disk or a size
// limit shows before the first byte changes.
void Reserve(TTarget& t, int64_t from, int64_t to) {
    if (to <= from) return;
    const int rc = ::posix_fallocate(t.file->Handle(), from, to - from);
    if (rc != 0) {
        if (::ftruncate(t.file->Handle(), from) != 0) {
            // The reserved bytes lie past the old end; the next change cuts them.
        }
        Fail("Cannot write file", t.path, rc);
    }
}

void SetSize(TTarget& t, int64_t size) {
    if (t.file->Size() == size) return;
    t.file->Seek(size);
    t.file->Truncate();
}

// Applies a complete journal of this file and removes it; false when the journal is not one for this
// file (or another writer still holds it).
bool ApplyJournal(TTarget& t, const std::string& name) {
    TDescriptor fd(::openat(t.dir.Get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN)) return false;
    TWideFileStream journal(fd.Release(), t.path.parent_path() / name);
    const int64_t size = journal.Size();
    if (size < static_cast<int64_t>(kTrailerSize)) return false;
    journal.Seek(size - static_cast<int64_t>(kTrailerSize));
    const auto trailer = DecodeTrailer(journal.ReadBytes(kTrailerSize));
    if (!trailer || trailer->device != uint64_t(t.st.st_dev) || trailer->inode != uint64_t(t.st.st_ino) ||
        trailer->dataSize != size - static_cast<int64_t>(kTrailerSize) || trailer->offset < 0 ||
        trailer->offset + trailer->dataSize > trailer->finalSize)
        return false;
    // Only on the file as the change left it: a size of neither side means that someone else has
    // changed the file since, and an old journal must not undo that.
    const int64_t now = t.file->Size();
    if (now != trailer->oldSize && now != trailer->finalSize) return false;
    CopyRange(journal, 0, *t.file, trailer->offset, trailer->dataSize);
    SetSize(t, trailer->finalSize);
    t.file->Sync();
    ::unlinkat(t.dir.Get(), name.c_str(), 0);
    SyncFolder(t.dir.Get());
    return true;
}

// Removes a temporary file of ours that no writer holds any more.
void RemoveIfStale(int dir, const std::string& name) {
    TDescriptor fd(::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return;
    ::unlinkat(dir, name.c_str(), 0);
}

bool FinishInterrupted(TTarget& t) {
    std::vector<std::string> temps, journals;
    if (DIR* d = ::fdopendir(::fcntl(t.dir.Get(), F_DUPFD_CLOEXEC, 0))) {
        ::rewinddir(d);
        while (const dirent* e = ::readdir(d)) {
            const std::string_view name = e->d_name;
            if (IsOurTemporaryName(name)) temps.emplace_back(name);
            if (IsOurJournalName(name)) journals.emplace_back(name);
        }
        ::closedir(d);
    }
    for (const auto& name : temps)
        RemoveIfStale(t.dir.Get(), name);
    bool finished = false;
    for (const auto& name : journals)
        finished = ApplyJournal(t, name) || finished;
    return finished;
}

// Writes a journal of an in-place change. Without one (a folder we may not write, a full disk) the
// change still goes ahead: an error is undone all the same, only a kill is not covered.
std::unique_ptr<TTempFile> TryJournal(TTarget& t, const TFileChange& c, int64_t finalSize) {
    try {
        auto journal = std::make_unique<TTempFile>(t.dir.Get(), t.path.parent_path());
        TWideFileStream& out = journal->Stream();
        out.WriteBytes(c.data);
        out.WriteBytes(EncodeTrailer({uint64_t(t.st.st_dev), uint64_t(t.st.st_ino), c.offset,
                                      int64_t(c.data.size()), finalSize, t.file->Size()}));
        out.Sync();
        journal->GiveName(kJournalSuffix);
        SyncFolder(t.dir.Get());
        return journal;
    } catch (const TFileError&) {
        return nullptr;
    }
}

constexpr int64_t kUndoInMemory = 16 << 20;

void ChangeInPlace(TTarget& t, const TFileChange& c) {
    const int64_t oldSize = t.file->Size();
    if (c.offset < 0 || c.offset > oldSize) Fail("Cannot write file", t.path, EINVAL);
    const int64_t dataEnd = c.offset + static_cast<int64_t>(c.data.size());
    const int64_t finalSize = c.cutAfter ? dataEnd : std::max(oldSize, dataEnd);
    const int64_t undoEnd = c.cutAfter ? oldSize : std::min(oldSize, dataEnd);
    auto journal = TryJournal(t, c, finalSize);
    // The old bytes, to put back after an error. With a journal, a large change does without them: the
    // room is reserved first, so an error after that is rare, and the journal finishes the change.
    const bool undoable = !journal || undoEnd - c.offset <= kUndoInMemory;
    std::vector<uint8_t> undo;
    if (undoable) {
        t.file->Seek(c.offset);
        undo = t.file->ReadBytes(static_cast<size_t>(undoEnd - c.offset));
    }
    Reserve(t, oldSize, finalSize);
    try {
        t.file->Seek(c.offset);
        t.file->WriteBytes(c.data);
        SetSize(t, finalSize);
        t.file->Sync();
    } catch (...) {
        try {
            if (!undoable) throw;
            t.file->Seek(c.offset);
            t.file->WriteBytes(undo);
            SetSize(t, oldSize);
            t.file->Sync();
            if (journal) journal->Discard(); // the change is undone; its journal must not redo it
        } catch (...) {
            // The old bytes could not be put back: the journal finishes the change instead.
            if (journal) journal->Keep();
        }
        throw;
    }
    if (journal) journal->Discard();
}

bool CanKeepOwner(const struct stat& st) {
    if (::geteuid() == 0) return true;
    if (st.st_uid != ::geteuid()) return false;
    if (st.st_gid == ::getegid()) return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(n, 0)));
    const int got = n > 0 ? ::getgroups(n, groups.data()) : 0;
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), st.st_gid) != groups.end();
}

// Extended attributes (access lists, labels, user data) go with the content; what the file system
// refuses to copy is left out.
void CopyExtendedAttributes(int from, int to) {
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) return;
    std::string names(static_cast<size_t>(size), '\0');
    const ssize_t got = ::flistxattr(from, names.data(), names.size());
    if (got <= 0) return;
    names.resize(static_cast<size_t>(got));
    for (size_t pos = 0; pos < names.size();) {
        const std::string name = names.c_str() + pos;
        pos += name.size() + 1;
        const ssize_t valueSize = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (valueSize < 0) continue;
        std::string value(static_cast<size_t>(valueSize), '\0');
        const ssize_t valueGot = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (valueGot < 0) continue;
        if (::fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(valueGot), 0) != 0) {
            // not ours to set (a security label, say)
        }
    }
}

void ChangeByRewrite(TTarget& t, const TFileChange& c) {
    const int64_t oldSize = t.file->Size();
    if (c.keepFrom < 0 || c.keepFrom > oldSize) Fail("Cannot write file", t.path, EINVAL);
    TTempFile temp(t.dir.Get(), t.path.parent_path());
    TWideFileStream& out = temp.Stream();
    out.WriteBytes(c.data);
    CopyRange(*t.file, c.keepFrom, out, out.Position(), oldSize - c.keepFrom);
    if (c.extraSteps) c.extraSteps(out);
    const int64_t newSize = out.Size();

    // One name, one owner: the new file takes the old one's place. A file with other names (hard
    // links) or an owner we could not give the new file keeps its inode and gets the content copied.
    bool replace = t.st.st_nlink == 1 && CanKeepOwner(t.st);
    if (replace && ::fchown(out.Handle(), t.st.st_uid, t.st.st_gid) != 0) replace = false;
    if (replace) {
        if (::fchmod(out.Handle(), t.st.st_mode & 07777) != 0) Fail("Cannot write file", t.path, errno);
        CopyExtendedAttributes(t.file->Handle(), out.Handle());
        out.Sync();
        if (temp.Name().empty()) temp.GiveName(kTempSuffix);
        if (::renameat(t.dir.Get(), temp.Name().c_str(), t.dir.Get(), t.name.c_str()) != 0)
            Fail("Cannot write file", t.path, errno);
        temp.Forget();
        SyncFolder(t.dir.Get());
        return;
    }

    out.Seek(newSize);
    out.WriteBytes(
        EncodeTrailer({uint64_t(t.st.st_dev), uint64_t(t.st.st_ino), 0, newSize, newSize, oldSize}));
    out.Sync();
    temp.GiveName(kJournalSuffix);
    SyncFolder(t.dir.Get());
    Reserve(t, oldSize, newSize);
    try {
        CopyRange(out, 0, *t.file, 0, newSize);
        SetSize(t, newSize);
        t.file->Sync();
    } catch (...) {
        temp.Keep(); // the old bytes are partly gone; the complete journal finishes the change later
        throw;
    }
    temp.Discard();
}

// Runs a change; with stalePlan set, a change that had to finish an interrupted one first makes no
// change and gives false, because the caller's plan was made from older bytes.
bool Change(const fs::path& path, const std::function<std::optional<TFileChange>(TStream&)>& plan,
            bool stalePlan) {
    auto target = OpenTarget(path);
    if (FinishInterrupted(*target) && stalePlan) return false;
    target->file->Seek(0);
    const auto change = plan(*target->file);
    if (!change) return true;
    if (change->kind == TFileChange::Kind::InPlace)
        ChangeInPlace(*target, *change);
    else
        ChangeByRewrite(*target, *change);
    return true;
}

} // namespace

bool IsOurTemporaryName(std::string_view name) {
    return IsOurs(name, kTempSuffix);
}

bool IsOurJournalName(std::string_view name) {
    return IsOurs(name, kJournalSuffix);
}

void ChangeFile(const fs::path& path, const std::function<std::optional<TFileChange>(TStream& file)>& plan) {
    Change(path, plan, false);
}

bool FinishInterruptedChanges(const fs::path& path) {
    auto target = OpenTarget(path);
    return FinishInterrupted(*target);
}

bool RewriteThroughTempFile(const fs::path& path, int64_t keepFrom, TStream& newHead,
                            const std::function<void(TWideFileStream& temp)>& extraSteps) {
    if (!WideFileExists(path)) return false;
    try {
        TFileChange change;
        change.kind = TFileChange::Kind::Rewrite;
        newHead.Seek(0);
        change.data = newHead.ReadBytes(static_cast<size_t>(newHead.Size()));
        change.keepFrom = keepFrom;
        change.extraSteps = extraSteps;
        return Change(
            path, [&](TStream&) { return std::optional<TFileChange>(std::move(change)); }, true);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace tags
