#include "common/test_files.h"
#include "tags/io/files.h"
#include "tags/io/stream.h"
#include "tags/io/text.h"
#include "tags_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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
    EXPECT_FALSE(fs::exists(path.string() + "~"));
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
    // A file of the user's that happens to carry the temporary name is neither overwritten nor removed.
    writeFile(path.string() + "~", {9, 9});
    EXPECT_FALSE(RewriteThroughTempFile(path, 10, head));
    EXPECT_EQ(readFile(path.string() + "~"), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(readFile(path), original);
}

TEST(Rewrite, FailingExtraStepRemovesTheTemporaryFile) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const auto original = Pattern(5000);
    writeFile(path, original);
    TMemoryStream head(std::string("H"));
    EXPECT_FALSE(RewriteThroughTempFile(path, 10, head, [](TWideFileStream&) { throw TFileError("patch"); }));
    EXPECT_EQ(readFile(path), original);
    EXPECT_FALSE(fs::exists(path.string() + "~"));
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
    EXPECT_FALSE(fs::exists(path.string() + "~"));
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
    EXPECT_FALSE(fs::exists(path.string() + "~"));
}
