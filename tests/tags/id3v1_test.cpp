#include "common/test_files.h"
#include "tags/id3v1/id3v1.h"
#include "tags/io/stream.h"
#include "tags/io/text.h"
#include "tags_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace tags;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;
namespace fs = std::filesystem;

namespace {

// A 128-byte record from its fields, padded with zero bytes as writers do.
std::string Record(const std::string& title, const std::string& artist, const std::string& album,
                   const std::string& year, const std::string& comment30, int genre) {
    std::string r(128, '\0');
    r.replace(0, 3, "TAG");
    r.replace(3, title.size(), title);
    r.replace(33, artist.size(), artist);
    r.replace(63, album.size(), album);
    r.replace(93, year.size(), year);
    r.replace(97, comment30.size(), comment30);
    r[127] = static_cast<char>(genre);
    return r;
}

std::string Field(const std::string& id, const std::string& data) {
    char digits[6];
    std::snprintf(digits, sizeof digits, "%05zu", data.size());
    return id + digits + data;
}

std::string Lyrics3(const std::string& fields) {
    std::string block = "LYRICSBEGIN" + fields;
    char size[7];
    std::snprintf(size, sizeof size, "%06zu", block.size());
    return block + size + "LYRICS200";
}

const std::string kAudio = "\xff\xfb\x90\x64" + std::string(400, '\x55'); // stands for MPEG frames

TID3v1 ReadBytes(const std::string& bytes) {
    TMemoryStream m(bytes);
    TID3v1 tag;
    tag.ReadFrom(m);
    return tag;
}

} // namespace

// ---- reading ---------------------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string bytes;
    bool exists;
    int version;
    std::string title, artist, comment;
    int track, genreId;
    std::string genre;
};

class ID3v1Read : public testing::TestWithParam<ReadCase> {};

TEST_P(ID3v1Read, Fields) {
    const ReadCase& c = GetParam();
    TID3v1 tag = ReadBytes(c.bytes);
    EXPECT_EQ(tag.Exists(), c.exists);
    EXPECT_EQ(tag.Version(), c.version);
    EXPECT_EQ(tag.Title(), c.title);
    EXPECT_EQ(tag.Artist(), c.artist);
    EXPECT_EQ(tag.Comment(), c.comment);
    EXPECT_EQ(tag.Track(), c.track);
    EXPECT_EQ(tag.GenreID(), c.genreId);
    EXPECT_EQ(tag.Genre(), c.genre);
    EXPECT_EQ(tag.TrailerSize(), c.exists ? 128 : 0);
}

std::string WithBytes125And126(std::string record, char b125, char b126) {
    record[125] = b125;
    record[126] = b126;
    return record;
}

const std::string kComment30 = "abcdefghijklmnopqrstuvwxyz0123";

INSTANTIATE_TEST_SUITE_P(
    Layouts, ID3v1Read,
    testing::Values(
        ReadCase{"four letters then zero bytes", kAudio + Record("Song", "Band", "", "1999", "", 17), true, 1,
                 "Song", "Band", "", 0, 17, "Rock"},
        ReadCase{"spaces trimmed on the right only", kAudio + Record("  Song   ", "", "", "", "", 255), true,
                 1, "  Song", "", "", 0, 255, ""},
        ReadCase{"1.1 with track after a zero byte",
                 kAudio + WithBytes125And126(Record("T", "", "", "", kComment30, 0), '\0', 12), true, 2, "T",
                 "", kComment30.substr(0, 28), 12, 0, "Blues"},
        ReadCase{"1.1 marked by a space: track 53",
                 kAudio + WithBytes125And126(Record("T", "", "", "", kComment30, 147), 0x20, 0x35), true, 2,
                 "T", "", kComment30.substr(0, 28), 53, 147, "Synthpop"},
        ReadCase{"two spaces: 1.0 with a 30-byte comment",
                 kAudio + WithBytes125And126(Record("T", "", "", "", kComment30, 148), 0x20, 0x20), true, 1,
                 "T", "", kComment30.substr(0, 28), 0, 148, ""},
        ReadCase{"Latin-1 bytes become UTF-8", kAudio + Record("Caf\xe9", "\xc6sop", "", "", "", 255), true,
                 1, "Caf\xc3\xa9", "\xc3\x86sop", "", 0, 255, ""},
        ReadCase{"no TAG", kAudio + std::string(128, 'x'), false, 1, "", "", "", 0, 255, ""},
        ReadCase{"shorter than a record", Record("Song", "", "", "", "", 1).substr(0, 127), false, 1, "", "",
                 "", 0, 255, ""}),
    [](const auto& info) {
        std::string n;
        for (char c : std::string(info.param.name))
            n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(ID3v1Lyrics3, BlockFieldsOverrideTheRecord) {
    const std::string title40 = "A title of exactly forty bytes, long one";
    ASSERT_EQ(title40.size(), 40u);
    const std::string block =
        Lyrics3(Field("IND", "10") + Field("ETT", title40 + "  ") + Field("EAR", " Artist ") +
                Field("LYR", " line one\rline two\r\nline three\n ") + Field("AUT", "Writer\xe9") +
                Field("IMG", " cover.jpg||  ") + Field("INF", "Full comment") + Field("EAL", "Album"));
    TID3v1 tag = ReadBytes(kAudio + block + Record(title40.substr(0, 30), "Short", "Alb", "2001", "Com", 13));
    EXPECT_TRUE(tag.Exists());
    EXPECT_TRUE(tag.LyricsExists());
    EXPECT_EQ(tag.LyricsSize(), static_cast<int32_t>(block.size() - 15));
    EXPECT_EQ(tag.TrailerSize(), static_cast<int64_t>(block.size() + 128));
    EXPECT_EQ(tag.Title(), title40);
    EXPECT_EQ(tag.Artist(), "Artist");
    EXPECT_EQ(tag.Album(), "Album");
    EXPECT_EQ(tag.Comment(), "Full comment");
    EXPECT_EQ(tag.Year(), "2001");
    EXPECT_EQ(tag.Lyrics(), "line one\r\nline two\r\nline three");
    EXPECT_EQ(tag.LyricsAuthor(), "Writer\xc3\xa9");
    EXPECT_EQ(tag.LyricsImage(), " cover.jpg||  "); // kept exactly as stored
}

TEST(ID3v1Lyrics3, BlockWithoutRecordAndDamagedBlocks) {
    struct Case {
        const char* name;
        std::string tail;
        bool lyricsExists;
        int32_t lyricsSize;
        std::string lyrics;
    } cases[] = {
        {"block at the very end", Lyrics3(Field("LYR", "words")), true, 24, "words"},
        {"begin mark missing", "LYRICSBEGON" + Lyrics3(Field("LYR", "words")).substr(11), false, 0, ""},
        {"size larger than the file", std::string("999999LYRICS200"), false, 0, ""},
        {"size not a number", "LYRICSBEGIN" + Field("LYR", "w") + "0000x9LYRICS200", false, 0, ""},
        {"size smaller than the begin mark", std::string("LYRICSBEGIN000005LYRICS200"), false, 0, ""},
        // A field length that runs past the block ends the field loop inside the block.
        {"field longer than the block", Lyrics3("LYR99999ab"), true, 21, ""},
        {"unknown field id stops the loop", Lyrics3(Field("XYZ", "q") + Field("LYR", "never")), true, 33, ""},
    };
    for (const auto& c : cases) {
        TID3v1 tag = ReadBytes(kAudio + c.tail);
        EXPECT_FALSE(tag.Exists()) << c.name;
        EXPECT_EQ(tag.LyricsExists(), c.lyricsExists) << c.name;
        EXPECT_EQ(tag.LyricsSize(), c.lyricsSize) << c.name;
        EXPECT_EQ(tag.Lyrics(), c.lyrics) << c.name;
    }
}

// ---- writing ---------------------------------------------------------------------------------------

TEST(ID3v1Write, RecordLayout) {
    TID3v1 tag;
    tag.SetTitle("Title \xe6\x97\xa5 caf\xc3\xa9   ");
    tag.SetArtist(std::string(35, 'a'));
    tag.SetAlbum("Album");
    tag.SetYear("20245 ");
    tag.SetComment(kComment30);
    tag.SetTrack(7);
    tag.SetGenre("rOCK");
    const auto r = tag.BuildRecord();
    std::string expected = Record("Title ? caf\xe9", std::string(30, 'a'), "Album", "2024", kComment30, 17);
    expected[125] = 0;
    expected[126] = 7;
    EXPECT_EQ(std::string(r.begin(), r.end()), expected);
    EXPECT_EQ(tag.Year(), "2024");

    tag.SetGenre("Alternative Rock"); // not in the table
    tag.SetTrack(0);
    const auto r2 = tag.BuildRecord();
    EXPECT_EQ(r2[127], 255);
    EXPECT_EQ(r2[125], kComment30[28]); // no track: the comment keeps all 30 bytes
    tag.SetGenre("");
    EXPECT_EQ(tag.GenreID(), 255);

    // Without a track, a comment whose last bytes look like the 1.1 marker must not come back as a track.
    const std::string ambiguous[] = {"abcdefghijklmnopqrstuvwxyz01 3", std::string(28, 'c') + '\0' + "T"};
    for (const auto& comment : ambiguous) {
        TID3v1 t;
        t.SetComment(comment);
        const auto rec = t.BuildRecord();
        TID3v1 back = ReadBytes(kAudio + std::string(rec.begin(), rec.end()));
        EXPECT_EQ(back.Track(), 0) << comment;
        EXPECT_EQ(back.Version(), 1) << comment;
        EXPECT_EQ(back.Comment(), TrimRight(comment.substr(0, 28))) << comment;
    }
}

TEST(ID3v1Write, Lyrics3BlockRules) {
    const std::string title40 = std::string(36, 't') + "\xc3\xa9xyz"; // 40 characters, 40 Latin-1 bytes
    struct Case {
        const char* name;
        std::string title, lyrics, author, image;
        std::string expectedBlock;
    } cases[] = {
        {"long title alone: no block", title40, "", "", "", ""},
        {"short fields, no lyrics: no block", "T", "", "", "", ""},
        {"long title with lyrics", title40, "la la", "", "",
         Lyrics3("IND0000210" + Field("ETT", std::string(36, 't') + "\xe9xyz") + Field("LYR", "la la"))},
        {"author only", "T", "", "Me", "", Lyrics3("IND0000200" + Field("AUT", "Me"))},
        // The writer never edits the image reference, so it keeps its block.
        {"image reference only", "T", "", "", "img.jpg", Lyrics3("IND0000200" + Field("IMG", "img.jpg"))},
        {"blank values are left out", "T", "lyr", " ", "", Lyrics3("IND0000210" + Field("LYR", "lyr"))},
    };
    for (const auto& c : cases) {
        TID3v1 tag;
        tag.SetTitle(c.title);
        tag.SetLyrics(c.lyrics);
        tag.SetLyricsAuthor(c.author);
        tag.SetLyricsImage(c.image);
        EXPECT_EQ(tag.BuildLyrics3(), c.expectedBlock) << c.name;
    }
}

TEST(ID3v1Write, OversizedLyricsAreCutToTheDigitCounts) {
    TID3v1 tag;
    tag.SetLyrics(std::string(100005, 'l'));
    tag.SetComment(std::string(120000, 'c'));
    const std::string block = tag.BuildLyrics3();
    EXPECT_NE(block.find("INF99999"), std::string::npos);
    EXPECT_NE(block.find("LYR99999"), std::string::npos);
    const auto record = tag.BuildRecord();
    TID3v1 back = ReadBytes(kAudio + block + std::string(record.begin(), record.end()));
    EXPECT_EQ(back.Lyrics(), std::string(99999, 'l'));
    EXPECT_EQ(back.Comment(), std::string(99999, 'c'));
}

TEST(ID3v1Write, ReplacesTheTrailerAndKeepsWhatStandsBefore) {
    const std::string ape = "APETAGEX-stands-for-an-APE-tag";
    const std::string oldTrailer = Lyrics3(Field("LYR", "old")) + Record("Old", "", "", "", "", 1);
    TMemoryStream m(kAudio + ape + oldTrailer);
    TID3v1 tag;
    tag.ReadFrom(m);
    EXPECT_EQ(tag.Lyrics(), "old");
    tag.SetTitle("New");
    tag.SetLyrics("");
    tag.WriteTo(m);
    EXPECT_EQ(m.Text(), kAudio + ape + Record("New", "", "", "", "", 1));
    EXPECT_FALSE(tag.LyricsExists());
    EXPECT_EQ(tag.TrailerSize(), 128);

    tag.SetLyrics("again");
    tag.WriteTo(m);
    const std::string block = Lyrics3("IND0000210" + Field("LYR", "again"));
    EXPECT_EQ(m.Text(), kAudio + ape + block + Record("New", "", "", "", "", 1));
    EXPECT_EQ(tag.TrailerSize(), static_cast<int64_t>(block.size() + 128));

    tag.RemoveFrom(m);
    EXPECT_EQ(m.Text(), kAudio + ape);
    tag.RemoveFrom(m); // nothing left to remove
    EXPECT_EQ(m.Text(), kAudio + ape);
}

TEST(ID3v1Write, LyricsBlockWithoutRecordIsRemoved) {
    TMemoryStream m(kAudio + Lyrics3(Field("LYR", "x")));
    TID3v1 tag;
    tag.RemoveFrom(m);
    EXPECT_EQ(m.Text(), kAudio);
}

// A write whose append fails must put the old trailer back.
TEST(ID3v1Write, FullDiskPutsTheOldTrailerBack) {
    const std::string before = kAudio + Lyrics3(Field("LYR", "keep me")) + Record("Old", "", "", "", "", 1);
    for (int64_t spare : {0, 10, 100, 400}) {
        testsupport::TFullDiskStream m(std::vector<uint8_t>(before.begin(), before.end()), spare);
        TID3v1 tag;
        tag.ReadFrom(m);
        tag.SetLyrics(std::string(500, 'n'));
        EXPECT_THROW(tag.WriteTo(m), TFileError) << spare;
        EXPECT_EQ(m.Text(), before) << spare;
    }
}

// ---- files -----------------------------------------------------------------------------------------

TEST(ID3v1File, ReadWriteRemoveOnDisk) {
    TempDir dir;
    const fs::path path = dir / "\xd0\x96 song.mp3";
    writeFile(path, std::vector<uint8_t>(kAudio.begin(), kAudio.end()));
    fs::permissions(path, fs::perms::owner_read); // read-only files are written too
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadTags(path));
    EXPECT_FALSE(tag.Exists());
    tag.SetTitle("Song");
    tag.SetTrack(3);
    ASSERT_TRUE(tag.WriteTags(path));
    EXPECT_TRUE(tag.Exists());
    TID3v1 back;
    ASSERT_TRUE(back.ReadTags(path));
    EXPECT_EQ(back.Title(), "Song");
    EXPECT_EQ(back.Track(), 3);
    EXPECT_EQ(back.Version(), 2);
    ASSERT_TRUE(back.RemoveTags(path));
    auto bytes = readFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kAudio);

    EXPECT_FALSE(tag.ReadTags(dir / "missing.mp3"));
    EXPECT_FALSE(tag.WriteTags(dir / "missing.mp3"));
    EXPECT_FALSE(tag.RemoveTags(dir / "missing.mp3"));
    EXPECT_FALSE(fs::exists(dir / "missing.mp3"));
}

TEST(ID3v1File, DiskFullOnAFileLosesNoTags) {
    TempDir dir;
    const fs::path path = dir / "a.mp3";
    const std::string before = kAudio + Record("Old title", "Old artist", "", "", "", 1);
    writeFile(path, std::vector<uint8_t>(before.begin(), before.end()));
    int rc = testsupport::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(before.size() + 50), static_cast<rlim_t>(before.size() + 50)};
        setrlimit(RLIMIT_FSIZE, &limit);
        TID3v1 tag;
        tag.ReadTags(path);
        tag.SetLyrics(std::string(1000, 'x'));
        return tag.WriteTags(path) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0);
    auto bytes = readFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), before);
}

// Independent readers: mutagen for Latin-1 text, ffprobe for ASCII (it passes Latin-1 bytes undecoded).
TEST(ID3v1File, IndependentReadersAgree) {
    TempDir dir;
    const fs::path path = dir / "tone.mp3";
    ASSERT_TRUE(testutil::makeTone(path, {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440, 44100, 1,
                                   {"-id3v2_version", "0", "-write_xing", "0", "-map_metadata", "-1"}));
    const auto audio = readFile(path);
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadTags(path));
    tag.SetTitle("Caf\xc3\xa9 del Mar");
    tag.SetArtist("Artist");
    tag.SetAlbum("Album");
    tag.SetYear("2003");
    tag.SetComment("Comment");
    tag.SetTrack(9);
    tag.SetGenre("Jazz");
    tag.SetLyrics("words");
    ASSERT_TRUE(tag.WriteTags(path));
    const auto after = readFile(path);
    ASSERT_GT(after.size(), audio.size());
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), after.begin())); // audio untouched

    auto r = testutil::run({"/usr/bin/python3", "-c",
                            "import sys, mutagen.id3 as m\n"
                            "t = m.ID3(sys.argv[1])\n"
                            "for k in ('TIT2','TPE1','TALB','TDRC','TRCK','TCON'): print(k, t[k].text[0])\n"
                            "print('COMM', t.getall('COMM')[0].text[0])\n",
                            path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "TIT2 Caf\xc3\xa9 del Mar\nTPE1 Artist\nTALB Album\nTDRC 2003\nTRCK 9\nTCON Jazz\nCOMM Comment\n");

    auto info = testutil::probe(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.tag("artist"), "Artist");
    EXPECT_EQ(info.tag("album"), "Album");
    EXPECT_EQ(info.tag("track"), "9");
    EXPECT_EQ(info.tag("genre"), "Jazz");
}
