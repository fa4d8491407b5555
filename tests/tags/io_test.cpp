#include "common/test_files.h"
#include "tags/io/files.h"
#include "tags/io/stream.h"
#include "tags/io/text.h"
#include "tags_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tags;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;
namespace fs = std::filesystem;

// ---- text helpers ----------------------------------------------------------------------------------

TEST(TextHelpers, TrimmingRemovesLowBytesAtTheEndsOnly) {
    const std::string padded("\0 \t a\0b \x01\0", 10);
    EXPECT_EQ(Trim(padded), std::string("a\0b", 3));
    EXPECT_EQ(TrimRight(padded), std::string("\0 \t a\0b", 7));
    EXPECT_EQ(TrimLeft(padded), std::string("a\0b \x01\0", 6));
    EXPECT_EQ(Trim("  \x1f "), "");
    EXPECT_EQ(Trim("K\xc3\xa4se "), "K\xc3\xa4se"); // UTF-8 bytes are above 0x20
}

TEST(TextHelpers, CaseCompareFoldsAsciiLettersOnly) {
    EXPECT_TRUE(SameTextAscii("rOcK", "ROCK"));
    EXPECT_FALSE(SameTextAscii("rock", "rocks"));
    EXPECT_FALSE(SameTextAscii("\xc3\xa4", "\xc3\x84")); // a-umlaut vs A-umlaut: not folded
    EXPECT_FALSE(SameTextAscii("[", "{"));               // neighbours of the letter ranges
    EXPECT_EQ(UpperCaseAscii("abz{`\xc3\xa4"), "ABZ{`\xc3\xa4");
}

TEST(TextHelpers, IntegerParseNeedsTheWholeText) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"0", 0},
        {"000210", 210},
        {"-12", -12},
        {"+7", 7},
        {"", -1},
        {"-", -1},
        {" 5", -1},
        {"5 ", -1},
        {"12a", -1},
        {"0x10", -1},
        {"2147483647", 2147483647},
        {"2147483648", -1},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999999", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInt(c.text, -1), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(ParseInt64("-9223372036854775808", 1), INT64_MIN);
    EXPECT_EQ(ParseInt64("9223372036854775808", 1), 1);
}

TEST(TextHelpers, Latin1Edge) {
    EXPECT_EQ(Latin1ToUtf8("Caf\xe9 \xff"), "Caf\xc3\xa9 \xc3\xbf");
    // Euro sign, Japanese and a four-byte character do not fit Latin-1; a broken sequence is "?" per byte.
    EXPECT_EQ(Utf8ToLatin1("\xc3\xa9\xe2\x82\xac\xe6\x97\xa5\xf0\x9f\x8e\xb5"), "\xe9???");
    EXPECT_EQ(Utf8ToLatin1("a\xc3"), "a?");
    EXPECT_EQ(Utf8ToLatin1("\xc0\xaf"), "??"); // overlong "/"
    EXPECT_TRUE(FitsLatin1("Caf\xc3\xa9"));
    EXPECT_FALSE(FitsLatin1("\xd0\x96")); // Cyrillic Zhe
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToLatin1(Latin1ToUtf8(one)), one);
    }
}

TEST(TextHelpers, Utf16RoundTripAndBrokenSurrogates) {
    const std::string text = "A\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xb5";
    EXPECT_EQ(Utf8ToUtf16(text), u"A\u00e9\u65e5\U0001F3B5");
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xef\xbf\xbd");
}

TEST(TextHelpers, CutNeverSplitsACharacter) {
    const std::string text = "ab\xc3\xa9\xe6\x97\xa5\xf0\x9f\x8e\xb5"; // a b é 日 🎵 = 2+2+3+4 bytes
    struct Case {
        size_t max;
        size_t length;
    } cases[] = {{0, 0}, {2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 4}, {7, 7}, {8, 7}, {10, 7}, {11, 11}, {50, 11}};
    for (const auto& c : cases)
        EXPECT_EQ(CutUtf8(text, c.max), text.substr(0, c.length)) << c.max;
    EXPECT_EQ(CutUtf8("\x80\x80\x80\x80\x80", 3), "\x80\x80\x80"); // no character to respect
}

// ---- streams ---------------------------------------------------------------------------------------

TEST(MemoryStream, ReadPastTheEndWriteGapAndTruncate) {
    TMemoryStream m(std::string("hello"));
    m.Seek(3);
    char buf[10];
    EXPECT_EQ(m.Read(buf, sizeof buf), 2u);
    EXPECT_EQ(m.Read(buf, sizeof buf), 0u);
    m.Seek(8);
    m.WriteText("!");
    EXPECT_EQ(m.Text(), std::string("hello\0\0\0!", 9));
    m.Seek(2);
    m.Truncate();
    EXPECT_EQ(m.Text(), "he");
    EXPECT_THROW(m.Seek(-1), TFileError);
    EXPECT_EQ(m.Seek(0, SeekOrigin::End), 2);
}

TEST(MemoryStream, ReadBytesIsBoundedByWhatIsLeft) {
    TMemoryStream m(std::string("abc"));
    auto bytes = m.ReadBytes(size_t(1) << 40); // a damaged length must not allocate a terabyte
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abc");
    m.Seek(10);
    EXPECT_TRUE(m.ReadBytes(5).empty());
}

TEST(MemoryStream, CopyFromWholeSourceAndShortSource) {
    TMemoryStream src(std::string("0123456789")), dst;
    src.Seek(7);
    dst.CopyFrom(src, 0); // whole source, from its start
    EXPECT_EQ(dst.Text(), "0123456789");
    src.Seek(4);
    TMemoryStream part;
    part.CopyFrom(src, 3);
    EXPECT_EQ(part.Text(), "456");
    EXPECT_THROW(part.CopyFrom(src, 10), TFileError);
}

TEST(FileStream, OpenErrorsCarryPathAndSystemText) {
    TempDir dir;
    const fs::path missing = dir / "missing.mp3";
    try {
        TWideFileStream s(missing, ModeReadShared);
        FAIL() << "opened a missing file";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    try {
        TWideFileStream s(dir / "no" / "such" / "x.mp3", ModeCreate);
        FAIL() << "created in a missing folder";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
    }
    EXPECT_THROW(TWideFileStream(dir.path(), ModeReadShared), TFileError); // a folder is not a file
    EXPECT_THROW(TWideFileStream(dir / "missing.mp3", ModeReadWriteShared), TFileError);
    EXPECT_FALSE(fs::exists(missing)); // opening never creates
}

TEST(FileStream, NonAsciiPathCreateWriteReadTruncate) {
    TempDir dir;
    const fs::path path = dir / "\xe6\x97\xa5\xe6\x9c\xac \xd0\x96 caf\xc3\xa9.mp3";
    {
        TWideFileStream s(path, ModeCreate);
        s.WriteText("0123456789");
        s.Seek(4);
        s.Truncate();
        s.Seek(0, SeekOrigin::End);
        s.WriteText("xy");
        EXPECT_EQ(s.Size(), 6);
    }
    EXPECT_EQ(readFile(path), (std::vector<uint8_t>{'0', '1', '2', '3', 'x', 'y'}));
    {
        TWideFileStream s(path, ModeReadShared);
        s.Seek(4);
        char buf[8];
        EXPECT_EQ(s.Read(buf, sizeof buf), 2u); // past the end: fewer bytes, no error
        EXPECT_EQ(s.Read(buf, sizeof buf), 0u);
        EXPECT_THROW(s.Write("z", 1), TFileError); // opened for reading only
    }
    {
        TWideFileStream s(path, ModeCreate); // truncates an existing file
        EXPECT_EQ(s.Size(), 0);
    }
    EXPECT_THROW(TWideFileStream(path, ModeCreateNew), TFileError);
}

TEST(FileStream, AdvisoryLocksFollowTheSharingBits) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    writeFile(path, {1, 2, 3});
    {
        TWideFileStream reader(path, ModeReadShared);
        TWideFileStream reader2(path, ModeReadShared);                        // read + read: fine
        EXPECT_THROW(TWideFileStream(path, ModeReadWriteShared), TFileError); // a writer is refused
    }
    {
        TWideFileStream writer(path, ModeReadWriteShared);
        EXPECT_THROW(TWideFileStream(path, ModeReadWriteShared), TFileError);
        EXPECT_THROW(TWideFileStream(path, ModeRead), TFileError);
    }
    TWideFileStream again(path, ModeReadWrite); // locks go with the streams
}

// ---- whole-file helpers ----------------------------------------------------------------------------

TEST(FileHelpers, ExistsAttributesDeleteRename) {
    TempDir dir;
    const fs::path a = dir / "a.mp3", b = dir / "b.mp3";
    writeFile(a, {1});
    writeFile(b, {2});
    EXPECT_TRUE(WideFileExists(a));
    EXPECT_FALSE(WideFileExists(dir.path()));
    EXPECT_FALSE(WideFileExists(dir / "none"));

    fs::permissions(a, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(ClearFileAttributes(a));
    EXPECT_EQ(fs::status(a).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(ClearFileAttributes(dir / "none"));

    EXPECT_FALSE(WideRenameFile(a, b)); // the target exists
    EXPECT_EQ(readFile(b), std::vector<uint8_t>{2});
    EXPECT_TRUE(WideRenameFile(a, dir / "c \xc3\xa9.mp3"));
    EXPECT_FALSE(WideFileExists(a));
    EXPECT_TRUE(WideDeleteFile(dir / "c \xc3\xa9.mp3"));
    EXPECT_FALSE(WideDeleteFile(dir / "c \xc3\xa9.mp3"));
}

TEST(FileHelpers, LeadingTagSize) {
    struct Case {
        const char* name;
        std::string head;
        size_t fileSize;
        int64_t expected;
    } cases[] = {
        {"no tag", std::string("XYZ\x03\0\0\0\0\0\x10", 10), 100, 0},
        {"plain", std::string("ID3\x03\0\0\0\0\0\x10", 10), 100, 26},
        {"exactly the file", std::string("ID3\x03\0\0\0\0\0\x10", 10), 26, 26},
        {"footer flag", std::string("ID3\x04\0\x10\0\0\0\x10", 10), 100, 36},
        {"syncsafe digits", std::string("ID3\x03\0\0\0\0\x01\x00", 10), 200, 138},
        {"claims more than the file", std::string("ID3\x03\0\0\0\0\x01\x00", 10), 137, 0},
        {"top bits not masked", std::string("ID3\x03\0\0\0\0\0\x80", 10), 200, 138},
        {"short file", std::string("ID3\x03\0", 5), 5, 0},
    };
    for (const auto& c : cases) {
        std::string bytes = c.head;
        bytes.resize(std::max(c.fileSize, bytes.size()), 'a');
        TMemoryStream m(bytes);
        m.Seek(3);
        EXPECT_EQ(LeadingTagSize(m), c.expected) << c.name;
        EXPECT_EQ(m.Position(), 3) << c.name;
    }
}

// ---- rewrite through a temporary file --------------------------------------------------------------

namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

} // namespace

TEST(Rewrite, ReplacesTheHeadKeepsTheRestAndThePermissions) {
    TempDir dir;
    const fs::path path = dir / "song \xe6\x97\xa5.mp3";
    auto original = Pattern(300000);
    writeFile(path, original);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    TMemoryStream head(std::string("NEWHEAD"));
    ASSERT_TRUE(RewriteThroughTempFile(path, 1000, head, [](TWideFileStream& temp) {
        temp.Seek(0);
        temp.WriteText("n"); // callers patch the finished file (an Ogg page checksum, for instance)
    }));
    auto now = readFile(path);
    ASSERT_EQ(now.size(), 7 + original.size() - 1000);
    EXPECT_EQ(std::string(now.begin(), now.begin() + 7), "nEWHEAD");
    EXPECT_TRUE(std::equal(now.begin() + 7, now.end(), original.begin() + 1000));
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(testsupport::AloneInFolder(path));
}

TEST(Rewrite, ReadOnlyFileIsWrittenAndStaysWritable) {
    TempDir dir;
    const fs::path path = dir / "ro.mp3";
    writeFile(path, Pattern(100));
    fs::permissions(path, fs::perms::owner_read);
    TMemoryStream head(std::string("H"));
    ASSERT_TRUE(RewriteThroughTempFile(path, 50, head));
    EXPECT_EQ(readFile(path).size(), 51u);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(Rewrite, RefusalsLeaveEverythingAsItWas) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const auto original = Pattern(5000);
    writeFile(path, original);
    TMemoryStream head(std::string("H"));
    EXPECT_FALSE(RewriteThroughTempFile(dir / "missing.mp3", 0, head));
    EXPECT_FALSE(RewriteThroughTempFile(dir.path(), 0, head));
    EXPECT_FALSE(RewriteThroughTempFile(path, 5001, head)); // keep-from past the end
    EXPECT_EQ(readFile(path), original);
}

// Mended: an editor's backup "name~" made every rewrite of "name" fail. Our temporary files have names
// of their own; a file of the user's is neither overwritten nor removed, whatever its name.
TEST(Rewrite, FilesOfTheUsersNeverBlockOrGetTouched) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    writeFile(path, Pattern(5000));
    const std::vector<std::string> theirs = {"a.mp3~", ".quillotone-abc.tmp",
                                             ".quillotone-0123456789.tmp.bak", "quillotone-0123456789.tmp"};
    for (const auto& name : theirs)
        writeFile(dir / name, {9, 9});
    TMemoryStream head(std::string("H"));
    ASSERT_TRUE(RewriteThroughTempFile(path, 10, head));
    EXPECT_EQ(readFile(path).size(), 4991u);
    for (const auto& name : theirs)
        EXPECT_EQ(readFile(dir / name), (std::vector<uint8_t>{9, 9})) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

TEST(Rewrite, FailingExtraStepRemovesTheTemporaryFile) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const auto original = Pattern(5000);
    writeFile(path, original);
    TMemoryStream head(std::string("H"));
    EXPECT_FALSE(RewriteThroughTempFile(path, 10, head, [](TWideFileStream&) { throw TFileError("patch"); }));
    EXPECT_EQ(readFile(path), original);
    EXPECT_TRUE(testsupport::AloneInFolder(path));
}

TEST(Rewrite, UnwritableFolderLeavesTheOriginal) {
    TempDir dir;
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const fs::path path = folder / "a.mp3";
    const auto original = Pattern(20000);
    writeFile(path, original);
    testsupport::GiveToUnprivilegedUser(dir.path(), path);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    int rc = testsupport::RunUnprivileged([&] {
        TMemoryStream head(std::string("HEAD"));
        return RewriteThroughTempFile(path, 100, head) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(path), original);
    EXPECT_TRUE(testsupport::AloneInFolder(path));
}

TEST(Rewrite, DiskFullHalfWayLeavesTheOriginal) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const auto original = Pattern(400000);
    writeFile(path, original);
    // The file size limit stands in for a full disk: writes past it fail with EFBIG half way.
    int rc = testsupport::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{150000, 150000};
        setrlimit(RLIMIT_FSIZE, &limit);
        TMemoryStream head(std::string(2000, 'h'));
        return RewriteThroughTempFile(path, 0, head) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(path), original);
    EXPECT_TRUE(testsupport::AloneInFolder(path));
}

// ---- changing files safely -------------------------------------------------------------------------

namespace {

TFileChange InPlace(int64_t offset, const std::string& data, bool cutAfter = true) {
    TFileChange c;
    c.offset = offset;
    c.data.assign(data.begin(), data.end());
    c.cutAfter = cutAfter;
    return c;
}

TFileChange Rewrite(const std::string& head, int64_t keepFrom) {
    TFileChange c = InPlace(0, head);
    c.kind = TFileChange::Kind::Rewrite;
    c.keepFrom = keepFrom;
    return c;
}

void Change(const fs::path& path, const TFileChange& change) {
    ChangeFile(path, [&](TStream&) { return std::optional<TFileChange>(change); });
}

std::vector<uint8_t> Expected(const std::vector<uint8_t>& old, const TFileChange& c) {
    std::vector<uint8_t> out;
    if (c.kind == TFileChange::Kind::Rewrite) {
        out = c.data;
        out.insert(out.end(), old.begin() + c.keepFrom, old.end());
        return out;
    }
    out.assign(old.begin(), old.begin() + c.offset);
    out.insert(out.end(), c.data.begin(), c.data.end());
    if (!c.cutAfter && out.size() < old.size())
        out.insert(out.end(), old.begin() + long(out.size()), old.end());
    return out;
}

struct stat Stat(const fs::path& p, bool follow = true) {
    struct stat st {};
    EXPECT_EQ(follow ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st), 0) << p;
    return st;
}

} // namespace

// The kinds of change, each on a file with one name, through a symbolic link, and with a second hard
// link. Mended: a write through a link replaced the link with a copy and left the real file as it was;
// a file with two names was split into two files.
TEST(ChangeFile, LinksAreFollowedAndHardLinkedFilesStayOneFile) {
    const auto original = Pattern(200000);
    const TFileChange changes[] = {InPlace(199000, "TAILTAG"), InPlace(0, "HEAD", false),
                                   InPlace(150000, std::string(60000, 't')),
                                   Rewrite(std::string(9000, 'h'), 4000), Rewrite("h", 150000)};
    for (const auto& change : changes) {
        for (const char* how : {"plain", "symlink", "hardlink"}) {
            TempDir dir;
            fs::create_directory(dir / "music");
            const fs::path file = dir / "music" / "song.mp3";
            writeFile(file, original);
            fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
            fs::path name = file;
            if (std::string(how) == "symlink") {
                name = dir / "link.mp3";
                fs::create_symlink("music/song.mp3", name);
            } else if (std::string(how) == "hardlink") {
                name = dir / "music" / "other name.mp3";
                fs::create_hard_link(file, name);
            }
            const ino_t inode = Stat(file).st_ino;
            const std::string what = std::string(how) + ", " + std::to_string(change.data.size()) + " bytes";
            ASSERT_NO_THROW(Change(name, change)) << what;
            EXPECT_EQ(readFile(file), Expected(original, change)) << what;
            EXPECT_EQ(readFile(name), readFile(file)) << what;
            EXPECT_EQ(Stat(file).st_mode & 07777, 0640u) << what;
            if (std::string(how) == "symlink") {
                EXPECT_TRUE(fs::is_symlink(name)) << what;
                EXPECT_EQ(testsupport::Names(dir.path()), (std::vector<std::string>{"link.mp3", "music"}));
                EXPECT_TRUE(testsupport::AloneInFolder(file)) << what;
            } else if (std::string(how) == "hardlink") {
                EXPECT_EQ(Stat(file).st_ino, inode) << what;
                EXPECT_EQ(Stat(file).st_nlink, 2u) << what;
                EXPECT_EQ(testsupport::Names(file.parent_path()),
                          (std::vector<std::string>{"other name.mp3", "song.mp3"}));
            } else {
                EXPECT_TRUE(testsupport::AloneInFolder(file)) << what;
            }
        }
    }
}

// Mended: a user who may not write a file (another owner, mode 0644) replaced it through a folder he
// may write. The right to write the file itself decides; a file he may write keeps its owner.
TEST(ChangeFile, AFileOfAnotherOwnerIsWrittenOnlyWhenItLetsUs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    TempDir dir;
    const fs::path folder = dir / "shared";
    fs::create_directory(folder);
    const auto original = Pattern(30000);
    const fs::path theirs = folder / "theirs.mp3", group = folder / "group.mp3";
    writeFile(theirs, original);
    writeFile(group, original);
    testsupport::GiveToUnprivilegedUser(dir.path(), folder); // the folder is the unprivileged user's
    ASSERT_EQ(chown(group.c_str(), 0, testsupport::kNobody), 0);
    fs::permissions(theirs, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
    fs::permissions(group, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::group_write | fs::perms::others_read);
    const int rc = testsupport::RunUnprivileged([&] {
        TMemoryStream head(std::string(5000, 'h'));
        int result = RewriteThroughTempFile(theirs, 100, head) ? 1 : 0;
        try {
            Change(theirs, InPlace(29000, "TAG"));
            result |= 2;
        } catch (const TFileError& e) {
            if (std::string(e.what()).find("Permission denied") == std::string::npos) result |= 4;
        }
        result |= RewriteThroughTempFile(group, 100, head) ? 8 : 0;
        return result;
    });
    EXPECT_EQ(rc, 8);
    EXPECT_EQ(readFile(theirs), original);
    EXPECT_EQ(Stat(theirs).st_uid, 0u);
    EXPECT_EQ(readFile(group), Expected(original, Rewrite(std::string(5000, 'h'), 100)));
    EXPECT_EQ(Stat(group).st_uid, 0u); // written in place: still root's file
    EXPECT_EQ(Stat(group).st_mode & 07777, 0664u);
    EXPECT_EQ(testsupport::Names(folder), (std::vector<std::string>{"group.mp3", "theirs.mp3"}));
}

TEST(ChangeFile, ReadOnlyFileOfTheUsersOwnIsWrittenInPlaceToo) {
    TempDir dir;
    const fs::path path = dir / "ro.mp3";
    writeFile(path, Pattern(1000));
    fs::permissions(path, fs::perms::owner_read);
    ASSERT_NO_THROW(Change(path, InPlace(900, "TAG")));
    EXPECT_EQ(readFile(path).size(), 903u);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// Mended (issue 14, item 9): a FIFO named like an audio file made every open wait for a writer.
TEST(ChangeFile, NothingButRegularFilesIsOpened) {
    TempDir dir;
    const fs::path fifo = dir / "pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const int rc = testsupport::RunInChild([&] {
        alarm(10); // a hang kills the child, which the parent sees
        int refused = 0;
        for (FileMode mode : {ModeRead, ModeReadShared, ModeReadWrite, ModeReadWriteShared, ModeCreate}) {
            try {
                TWideFileStream s(fifo, mode);
            } catch (const TFileError& e) {
                refused += std::string(e.what()).find("not a regular file") != std::string::npos;
            }
        }
        try {
            Change(fifo, InPlace(0, "x"));
        } catch (const TFileError& e) {
            refused += std::string(e.what()).find("not a regular file") != std::string::npos;
        }
        TMemoryStream head(std::string("h"));
        refused += !RewriteThroughTempFile(fifo, 0, head);
        return refused;
    });
    EXPECT_EQ(rc, 7);
    try {
        TWideFileStream s("/dev/null", ModeRead);
        ADD_FAILURE() << "a device was opened";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"/dev/null\". It is a device, not a regular file.");
    }
}

// Mended: a killed rewrite left a "name~" behind for good. Ours are gone with the next change of a
// file in the folder; one that a live writer holds stays.
TEST(ChangeFile, StaleTemporaryFilesOfOursGoWithTheNextChange) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    writeFile(path, Pattern(1000));
    writeFile(dir / ".quillotone-AAAAAAAAAA.tmp", Pattern(500));
    writeFile(dir / ".quillotone-BBBBBBBBBB.tmp", Pattern(500));
    const int held = ::open((dir / ".quillotone-BBBBBBBBBB.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_NO_THROW(Change(path, InPlace(990, "T")));
    EXPECT_EQ(testsupport::Names(dir.path()),
              (std::vector<std::string>{".quillotone-BBBBBBBBBB.tmp", "a.mp3"}));
    close(held);
    EXPECT_TRUE(IsOurTemporaryName(".quillotone-AAAAAAAAAA.tmp"));
    EXPECT_FALSE(IsOurTemporaryName(".quillotone-AAAAAAAAA.tmp"));
    EXPECT_FALSE(IsOurTemporaryName(".quillotone-AAAAAAAAA-.tmp"));
    EXPECT_FALSE(IsOurJournalName(".quillotone-AAAAAAAAAA.tmp"));
}

// A change in a folder we may not write goes ahead in place without a journal; a rewrite cannot.
TEST(ChangeFile, UnwritableFolderStillTakesInPlaceChanges) {
    TempDir dir;
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const fs::path path = folder / "a.mp3";
    const auto original = Pattern(3000);
    writeFile(path, original);
    testsupport::GiveToUnprivilegedUser(dir.path(), path);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const int rc = testsupport::RunUnprivileged([&] {
        try {
            Change(path, InPlace(2900, "TAIL"));
            return 0;
        } catch (const TFileError&) {
            return 1;
        }
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(path), Expected(original, InPlace(2900, "TAIL")));
    EXPECT_TRUE(testsupport::AloneInFolder(path));
}

// A file with two names is copied back in place through a journal. A kill during the copy leaves the
// complete journal, and the next change of the file (through any of its names) finishes it first.
TEST(ChangeFile, AKilledCopyBackIsFinishedByTheNextChange) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const auto original = Pattern(16 << 20);
    const TFileChange change = Rewrite(std::string(70000, 'n'), 1000);
    const auto expected = Expected(original, change);
    auto hasJournal = [&] {
        const auto names = testsupport::Names(dir.path());
        return std::any_of(names.begin(), names.end(),
                           [](const std::string& n) { return IsOurJournalName(n); });
    };
    int recovered = 0, partial = 0;
    for (int delayMs : {0, 5, 15, 40}) {
        writeFile(path, original);
        if (!fs::exists(dir / "b.mp3")) fs::create_hard_link(path, dir / "b.mp3");
        const pid_t pid = fork();
        if (pid == 0) {
            Change(path, change);
            _exit(0);
        }
        for (int spin = 0; spin < 1000000 && !hasJournal(); ++spin) {
        }
        usleep(delayMs * 1000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const auto now = readFile(path);
        if (!hasJournal()) {
            EXPECT_TRUE(now == original || now == expected) << delayMs;
            continue;
        }
        partial += now != original && now != expected;
        EXPECT_TRUE(FinishInterruptedChanges(dir / "b.mp3")) << delayMs;
        EXPECT_EQ(readFile(path), expected) << delayMs;
        EXPECT_EQ(testsupport::Names(dir.path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
        ++recovered;
    }
    EXPECT_GT(recovered, 0) << "no kill fell after the journal was complete";
    std::cout << "kills after the journal: " << recovered
              << ", of them in the middle of the copy: " << partial << "\n";
}

// A plan made from bytes that an interrupted change then replaced is not applied.
TEST(ChangeFile, APlanFromOlderBytesIsNotAppliedAfterARecovery) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    writeFile(path, Pattern(2000));
    fs::create_hard_link(path, dir / "b.mp3");
    const struct stat st = Stat(path);
    // A journal as a killed copy-back leaves it: the new content, then the trailer.
    auto journal = [&](const std::vector<uint8_t>& data, int64_t finalSize, int64_t oldSize) {
        std::vector<uint8_t> j = data;
        j.insert(j.end(), {'Q', 'L', 'T', 'N', 'J', 'R', 'N', 'L'});
        for (uint64_t v : {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(0), uint64_t(data.size()),
                           uint64_t(finalSize), uint64_t(oldSize)})
            for (int i = 0; i < 8; ++i)
                j.push_back(static_cast<uint8_t>(v >> (8 * i)));
        j.insert(j.end(), {'Q', 'L', 'T', 'N', 'J', 'R', 'N', 'L'});
        return j;
    };
    const std::vector<uint8_t> fresh = Pattern(1500);
    writeFile(dir / ".quillotone-CCCCCCCCCC.journal", journal(fresh, 1500, 2000));
    // Not journals of this file as it stands: a piece of one, and one for sizes the file never had
    // (someone else changed it since); both stay where they are.
    const auto piece = journal(fresh, 1500, 2000);
    writeFile(dir / ".quillotone-DDDDDDDDDD.journal",
              std::vector<uint8_t>(piece.begin() + 1500, piece.end()));
    writeFile(dir / ".quillotone-EEEEEEEEEE.journal", journal(Pattern(10), 7777, 8888));
    TMemoryStream head(std::string("H"));
    EXPECT_FALSE(RewriteThroughTempFile(dir / "b.mp3", 10, head));
    EXPECT_EQ(readFile(path), fresh);
    EXPECT_EQ(testsupport::Names(dir.path()),
              (std::vector<std::string>{".quillotone-DDDDDDDDDD.journal", ".quillotone-EEEEEEEEEE.journal",
                                        "a.mp3", "b.mp3"}));
    EXPECT_TRUE(RewriteThroughTempFile(dir / "b.mp3", 10, head));
    EXPECT_EQ(readFile(path).size(), 1491u);
}
