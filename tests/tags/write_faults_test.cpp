// Every tag writer under faults, on files that ffmpeg made: a write that fails half way (a file size
// limit, a full file system), a kill in the middle of a growing rewrite, a folder or a file the user
// may not write, links. Whatever happens, the file is the old one or the new one, nothing of ours is
// left beside it, and a later write goes through.
#include "common/test_files.h"
#include "tags/apev2/apetag.h"
#include "tags/asf/wma_attributes.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/io/files.h"
#include "tags/riff/riff_info.h"
#include "tags/vorbis/ogg_vorbis.h"
#include "tags_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tags;
using testutil::readFile;
using testutil::writeFile;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Writer {
    const char* name;
    const char* extension;
    // false: the write leaves the file's size as it is (an ID3v2 tag rewritten in its own place)
    bool grows;
    // true: the write builds a new file beside the old one, so it needs a folder it may write
    bool rewrites;
    std::function<bool(const fs::path&)> write; // one edit; false, or a thrown error, when not written
};

bool Caught(const std::function<bool()>& step) {
    try {
        return step();
    } catch (const std::exception&) {
        return false;
    }
}

const std::vector<Writer>& Writers() {
    static const std::vector<Writer> writers = {
        {"ID3v1 and Lyrics3 append", ".mp3", true, false,
         [](const fs::path& p) {
             return Caught([&] {
                 TID3v1 tag;
                 tag.ReadTags(p);
                 tag.SetTitle("A title longer than the thirty bytes of a record");
                 tag.SetLyrics(std::string(20000, 'l'));
                 return tag.WriteTags(p);
             });
         }},
        {"APEv2 append", ".mp3", true, false,
         [](const fs::path& p) {
             return Caught([&] {
                 TAPETag tag;
                 tag.ReadTags(p);
                 tag.SetItem("Title", "Title");
                 tag.SetItem("Comment", std::string(20000, 'c'));
                 return tag.WriteTags(p);
             });
         }},
        {"ID3v2 in place", ".mp3", false, false,
         [](const fs::path& p) {
             return Caught([&] {
                 TID3v2 tag;
                 tag.ReadTags(p);
                 tag.SetTitle("Short");
                 return tag.WriteTags(p);
             });
         }},
        {"ID3v2 rewrite", ".mp3", true, true,
         [](const fs::path& p) {
             return Caught([&] {
                 TID3v2 tag;
                 tag.ReadTags(p);
                 tag.SetComment(std::string(9000, 'c'));
                 return tag.WriteTags(p);
             });
         }},
        {"Ogg Vorbis rewrite", ".ogg", true, true,
         [](const fs::path& p) {
             return Caught([&] {
                 TOggVorbis ogg;
                 if (!ogg.ReadInfo(p)) return false;
                 ogg.Title = "Title";
                 ogg.Comment = std::string(70000, 'c'); // more than the second page holds
                 return ogg.WriteComments(p);
             });
         }},
        {"WMA rewrite", ".wma", true, true,
         [](const fs::path& p) {
             return Caught([&] {
                 TTagsData data;
                 if (!ReadWmaAttributes(p, data)) return false;
                 data.Title = "Title";
                 data.Description = std::string(20000, 'c');
                 return WriteWmaAttributes(p, data);
             });
         }},
        {"RIFF INFO rewrite", ".wav", true, true,
         [](const fs::path& p) {
             return Caught([&] {
                 TRiffInfo info;
                 if (!info.ReadTags(p)) return false;
                 info.Set("INAM", "Title");
                 info.Set("ICMT", std::string(20000, 'c'));
                 return info.WriteTags(p);
             });
         }},
    };
    return writers;
}

// One file per writer as ffmpeg makes it (with its own tags), plus the file each write makes of it.
class WriteFaults : public testing::Test {
protected:
    static void SetUpTestSuite() {
        sources_ = std::make_unique<testutil::TempDir>();
        const fs::path mp3 = *sources_ / "tone.mp3";
        ASSERT_TRUE(testutil::makeTone(mp3, {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440, 44100, 1,
                                       {"-metadata", "title=ffmpeg title", "-metadata", "artist=ffmpeg"}));
        // An ID3v2 tag of 4,096 bytes for the in-place write, an APEv2 tag and an ID3v1 record.
        TID3v2 v2;
        v2.SetAlbum("Album");
        ASSERT_TRUE(v2.WriteTags(mp3));
        TAPETag ape;
        ape.SetItem("Artist", "APE artist");
        ASSERT_TRUE(ape.WriteTags(mp3));
        TID3v1 v1;
        v1.SetArtist("v1 artist");
        ASSERT_TRUE(v1.WriteTags(mp3));
        ASSERT_TRUE(testutil::makeTone(*sources_ / "tone.ogg", {"-c:a", "libvorbis", "-q:a", "1"}, 0.5, 440,
                                       44100, 1, {"-metadata", "title=ffmpeg title"}));
        ASSERT_TRUE(testutil::makeTone(*sources_ / "tone.wma", {"-c:a", "wmav2", "-b:a", "64k"}, 0.5, 440,
                                       44100, 1, {"-metadata", "title=ffmpeg title"}));
        ASSERT_TRUE(testutil::makeTone(*sources_ / "tone.wav", {"-c:a", "pcm_s16le"}, 0.5, 440, 44100, 1,
                                       {"-metadata", "title=ffmpeg title"}));
        for (const Writer& w : Writers()) {
            const fs::path p = *sources_ / (std::string("done ") + w.name + w.extension);
            fs::copy_file(Source(w), p);
            ASSERT_TRUE(w.write(p)) << w.name;
            ASSERT_NE(readFile(p), readFile(Source(w))) << w.name;
            written_[w.name] = readFile(p);
        }
    }
    static void TearDownTestSuite() { sources_.reset(); }

    static fs::path Source(const Writer& w) { return *sources_ / (std::string("tone") + w.extension); }
    static const Bytes& Written(const Writer& w) { return written_[w.name]; }

    // A fresh copy of the writer's file in a folder of its own.
    fs::path Copy(const Writer& w, const std::string& folder = {}) {
        const fs::path dir = work_ / (folder.empty() ? std::string(w.name) : folder);
        fs::create_directories(dir);
        const fs::path p = dir / (std::string("song") + w.extension);
        fs::remove(p);
        fs::copy_file(Source(w), p);
        return p;
    }

    testutil::TempDir work_;
    static std::unique_ptr<testutil::TempDir> sources_;
    static std::map<std::string, Bytes> written_;
};

std::unique_ptr<testutil::TempDir> WriteFaults::sources_;
std::map<std::string, Bytes> WriteFaults::written_;

ino_t Inode(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_ino;
}

} // namespace

// A write that fails half way is undone: the file is the old one byte for byte, nothing of ours stays
// beside it, and a later write goes through.
TEST_F(WriteFaults, SizeLimitHalfWayLeavesTheFile) {
    for (const Writer& w : Writers()) {
        const fs::path p = Copy(w);
        const Bytes before = readFile(p);
        const rlim_t limit = before.size() + 1000; // room for a small journal, not for the new bytes
        const int rc = testsupport::RunInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
            return w.write(p) ? 1 : 0;
        });
        if (w.grows) {
            EXPECT_EQ(rc, 0) << w.name;
            EXPECT_EQ(readFile(p), before) << w.name;
        } else {
            EXPECT_EQ(rc, 1) << w.name;
            EXPECT_EQ(readFile(p), Written(w)) << w.name;
        }
        EXPECT_TRUE(testsupport::AloneInFolder(p)) << w.name;
        EXPECT_TRUE(w.write(p)) << w.name << ": a later write";
        EXPECT_EQ(readFile(p), Written(w)) << w.name;
        EXPECT_TRUE(testsupport::AloneInFolder(p)) << w.name;
    }
}

// The same on a real file system that fills up half way through the write (a small tmpfs of a mount
// namespace of the test's own; needs root, which CI has).
TEST_F(WriteFaults, FullFileSystemHalfWayLeavesTheFile) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    for (const Writer& w : Writers()) {
        const fs::path mount = work_ / "small";
        fs::create_directories(mount);
        const Bytes source = readFile(Source(w));
        const int rc = testsupport::RunInChild([&] {
            if (unshare(CLONE_NEWNS) != 0 ||
                ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=2m") != 0)
                return 77;
            const fs::path p = mount / (std::string("song") + w.extension);
            writeFile(p, source);
            // Fill the file system, then give back a little: the write runs out of room half way.
            const fs::path filler = mount / "filler";
            const int fd = ::open(filler.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            const std::vector<char> chunk(4096, 'f');
            off_t size = 0;
            while (::write(fd, chunk.data(), chunk.size()) == ssize_t(chunk.size()))
                size += off_t(chunk.size());
            if (::ftruncate(fd, size - 12 * 1024) != 0) return 78;
            ::close(fd);
            const bool written = w.write(p);
            const Bytes after = readFile(p);
            const bool alone =
                testsupport::Names(mount) == std::vector<std::string>{"filler", p.filename().string()};
            int result = 0;
            if (written && after != Written(w)) result |= 1;
            if (!written && after != source) result |= 2;
            if (!alone) result |= 4;
            if (written == w.grows) result |= 8;
            return result;
        });
        if (rc == 77) GTEST_SKIP() << "no mount namespace here";
        EXPECT_EQ(rc, 0) << w.name << ": 1 wrong content, 2 changed although failed, 4 leftovers, 8 result";
    }
}

// A folder the user may not write: a rewrite cannot go through and leaves everything as it was; an
// in-place write still does.
TEST_F(WriteFaults, ReadOnlyFolderOfAnUnprivilegedUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    for (const Writer& w : Writers()) {
        const fs::path p = Copy(w, std::string("locked ") + w.name);
        const Bytes before = readFile(p);
        const ino_t inode = Inode(p);
        testsupport::GiveToUnprivilegedUser(work_.path(), p);
        ASSERT_EQ(chown(p.parent_path().c_str(), testsupport::kNobody, testsupport::kNobody), 0);
        fs::permissions(p.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        const int rc = testsupport::RunUnprivileged([&] { return w.write(p) ? 1 : 0; });
        fs::permissions(p.parent_path(), fs::perms::owner_all);
        EXPECT_EQ(rc, w.rewrites ? 0 : 1) << w.name;
        EXPECT_EQ(readFile(p), w.rewrites ? before : Written(w)) << w.name;
        EXPECT_EQ(Inode(p), inode) << w.name;
        EXPECT_TRUE(testsupport::AloneInFolder(p)) << w.name;
    }
}

// Mended: a user who may not write a file (another owner, mode 0644) replaced it through a folder he
// may write. Every writer now refuses, and the file keeps its bytes, owner and inode.
TEST_F(WriteFaults, FileOfAnotherOwnerInAWritableFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    for (const Writer& w : Writers()) {
        const fs::path p = Copy(w, std::string("shared ") + w.name);
        const Bytes before = readFile(p);
        const ino_t inode = Inode(p);
        testsupport::GiveToUnprivilegedUser(work_.path(), p.parent_path());
        fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
        EXPECT_EQ(testsupport::RunUnprivileged([&] { return w.write(p) ? 1 : 0; }), 0) << w.name;
        EXPECT_EQ(readFile(p), before) << w.name;
        EXPECT_EQ(Inode(p), inode) << w.name;
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u) << w.name;
        EXPECT_TRUE(testsupport::AloneInFolder(p)) << w.name;
    }
}

// Mended: the APEv2 writer refused a read-only file of the user's own, which the others write.
TEST_F(WriteFaults, ReadOnlyFileOfTheUsersOwnIsWrittenByEveryWriter) {
    for (const Writer& w : Writers()) {
        const fs::path p = Copy(w);
        fs::permissions(p, fs::perms::owner_read | fs::perms::group_read);
        EXPECT_TRUE(w.write(p)) << w.name;
        EXPECT_EQ(readFile(p), Written(w)) << w.name;
        EXPECT_EQ(fs::status(p).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
            << w.name;
    }
}

// Mended: a write through a symbolic link replaced the link with a copy; a file with two names was
// split in two.
TEST_F(WriteFaults, LinksAreFollowedAndHardLinksStayOneFile) {
    for (const Writer& w : Writers()) {
        const fs::path p = Copy(w);
        const fs::path link = work_ / (std::string("link to ") + w.name + w.extension);
        fs::remove(link);
        fs::create_symlink(p, link);
        EXPECT_TRUE(w.write(link)) << w.name;
        EXPECT_TRUE(fs::is_symlink(link)) << w.name;
        EXPECT_EQ(readFile(p), Written(w)) << w.name;

        const fs::path q = Copy(w, std::string("hard ") + w.name);
        const fs::path second = q.parent_path() / (std::string("second name") + w.extension);
        fs::create_hard_link(q, second);
        EXPECT_TRUE(w.write(second)) << w.name;
        EXPECT_EQ(readFile(q), Written(w)) << w.name;
        EXPECT_EQ(fs::hard_link_count(q), 2u) << w.name;
        EXPECT_EQ(testsupport::Names(q.parent_path()),
                  (std::vector<std::string>{second.filename().string(), q.filename().string()}))
            << w.name;
        fs::remove(second);
    }
}

// A kill -9 at several moments of a growing rewrite of a large file: the file is the old or the new
// one, and a later write goes through (mended: a killed rewrite left "name~", which blocked every
// later write of the file).
TEST_F(WriteFaults, KillDuringAGrowingRewrite) {
    const Writer& w = Writers()[3]; // ID3v2 rewrite
    ASSERT_STREQ(w.name, "ID3v2 rewrite");
    const fs::path p = Copy(w, "large");
    Bytes large = readFile(p);
    for (size_t i = 0; large.size() < (size_t(32) << 20); ++i)
        large.push_back(static_cast<uint8_t>(i * 13 + (i >> 12)));
    const fs::path reference = work_ / "reference.mp3";
    writeFile(reference, large);
    ASSERT_TRUE(w.write(reference));
    const Bytes grown = readFile(reference);
    int old = 0, fresh = 0;
    for (int delayMs : {0, 3, 20, 80, 250, 800}) {
        writeFile(p, large);
        const pid_t pid = fork();
        if (pid == 0) _exit(w.write(p) ? 0 : 1);
        usleep(delayMs * 1000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const Bytes now = readFile(p);
        EXPECT_TRUE(now == large || now == grown) << "killed after " << delayMs << " ms";
        (now == large ? old : fresh)++;
        EXPECT_TRUE(w.write(p)) << "a later write, killed after " << delayMs << " ms";
        EXPECT_TRUE(testsupport::AloneInFolder(p)) << delayMs;
    }
    std::cout << "kills that left the old file: " << old << ", the new one: " << fresh << "\n";
}
