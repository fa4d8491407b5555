// MP3 files through the tag layer: which tag a read takes, which tags a write touches, and the edge
// cases of the field mapping. Files are a short ffmpeg tone with tags put on by our own tag classes.
#include "tagedit/format_tags.h"
#include "tags/tags_test_support.h"

#include "common/test_files.h"
#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/io/text.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using tagedit::TagFields;

// The four field sets: one per tag on the fixture, and the one written by the tests.
enum class Set { V1, V2, Ape, New };

TagFields Fields(Set set) {
    switch (set) {
    case Set::V1:
        return {"v1 artist", "v1 title", 1, "v1 album", "1991", "Rock", "v1 comment", "", "", ""};
    case Set::V2:
        return {"v2 artist", "v2 title",   2,        "v2 album", "1992",
                "Jazz",      "v2 comment", "v2 (c)", "v2 url",   "v2 encoder"};
    case Set::Ape:
        return {"ape artist", "ape title",   3,         "ape album", "1993",
                "Pop",        "ape comment", "ape (c)", "ape url",   "ape encoder"};
    case Set::New:
        break;
    }
    return {"new artist", "new title",   4,         "new album", "2004",
            "Blues",      "new comment", "new (c)", "new url",   "new encoder"};
}

// What each tag gives back after `Set::New` was written into it.
TagFields NewAsID3v1() {
    TagFields f = Fields(Set::New);
    f.Copyright = f.URL = f.EncodedBy = "";
    return f;
}
TagFields NewAsAPEv2() {
    TagFields f = Fields(Set::New);
    f.URL = "ape url"; // read only in APEv2: the write keeps the file's items
    f.EncodedBy = "ape encoder";
    return f;
}

void PutID3v1(const fs::path& file, const TagFields& f) {
    tags::TID3v1 t;
    t.SetTitle(f.Title);
    t.SetArtist(f.Artist);
    t.SetAlbum(f.Album);
    t.SetYear(f.Year);
    t.SetComment(f.Comment);
    t.SetTrack(static_cast<uint8_t>(f.Track));
    t.SetGenre(f.Genre);
    ASSERT_TRUE(t.WriteTags(file));
}

void PutID3v2(const fs::path& file, const TagFields& f, uint16_t track) {
    tags::TID3v2 t;
    t.SetTitle(f.Title);
    t.SetArtist(f.Artist);
    t.SetAlbum(f.Album);
    t.SetYear(f.Year);
    t.SetGenre(f.Genre);
    t.SetComment(f.Comment);
    t.SetCopyright(f.Copyright);
    t.SetLink(f.URL);
    t.SetEncoder(f.EncodedBy);
    t.SetTrack(track);
    ASSERT_TRUE(t.WriteTags(file));
}

void PutAPEv2Items(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& items) {
    tags::TAPETag t;
    ASSERT_TRUE(t.ReadTags(file));
    for (const auto& [key, value] : items)
        t.SetItem(key, value);
    ASSERT_TRUE(t.WriteTags(file));
}

void PutAPEv2(const fs::path& file, const TagFields& f) {
    PutAPEv2Items(file, {{"Title", f.Title},
                         {"Artist", f.Artist},
                         {"Album", f.Album},
                         {"Year", f.Year},
                         {"Track", std::to_string(f.Track)},
                         {"Genre", f.Genre},
                         {"Comment", f.Comment},
                         {"Copyright", f.Copyright},
                         {"URL", f.URL},
                         {"Encodedby", f.EncodedBy}});
}

class Mp3Files : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plain_ = new testutil::TempDir;
        ASSERT_TRUE(testutil::makeTone(*plain_ / "plain.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440,
                                       44100, 1,
                                       {"-map_metadata", "-1", "-id3v2_version", "0", "-write_id3v1", "0"}));
    }
    static void TearDownTestSuite() {
        delete plain_;
        plain_ = nullptr;
    }

    // A fresh copy of the untagged tone.
    fs::path Plain(const std::string& name = "song.mp3") {
        const fs::path p = dir_ / name;
        fs::copy_file(*plain_ / "plain.mp3", p, fs::copy_options::overwrite_existing);
        return p;
    }
    // The tone with all three tags, each holding its own field set.
    fs::path AllThree() {
        const fs::path p = Plain();
        PutID3v1(p, Fields(Set::V1));
        PutID3v2(p, Fields(Set::V2), 2);
        PutAPEv2(p, Fields(Set::Ape));
        return p;
    }

    testutil::TempDir dir_;
    static testutil::TempDir* plain_;
};
testutil::TempDir* Mp3Files::plain_ = nullptr;

// --- read priority after a write, over every pair of read priority and write format ---

enum class Got { OldV1, OldV2, OldApe, NewV1, NewV2, NewApe };

TagFields Expected(Got got) {
    switch (got) {
    case Got::OldV1:
        return Fields(Set::V1);
    case Got::OldV2:
        return Fields(Set::V2);
    case Got::OldApe:
        return Fields(Set::Ape);
    case Got::NewV1:
        return NewAsID3v1();
    case Got::NewV2:
        return Fields(Set::New);
    case Got::NewApe:
        break;
    }
    return NewAsAPEv2();
}

struct PriorityCase {
    int readPriority;
    int writeFormat;
    Got got;
};

class ReadAfterWrite : public Mp3Files, public ::testing::WithParamInterface<PriorityCase> {};

TEST_P(ReadAfterWrite, FirstTagOfThePriorityGivesEveryField) {
    const PriorityCase& c = GetParam();
    const fs::path file = AllThree();
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, Fields(Set::New), c.writeFormat));
    const auto read = tagedit::ReadMp3Tags(file, c.readPriority);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Expected(c.got));
}

// Read priority 0 APE>V2>V1, 1 V2>APE>V1, 2 V1>V2>APE, 3 V1>APE>V2; write format 0 V1, 1 V2, 2 APE,
// 3 V1+V2, 4 V1+APE, 5 V2+APE. All three tags are present, so the first of the priority always wins.
const PriorityCase kPriorityCases[] = {
    {0, 0, Got::OldApe}, {0, 1, Got::OldApe}, {0, 2, Got::NewApe}, {0, 3, Got::OldApe}, {0, 4, Got::NewApe},
    {0, 5, Got::NewApe}, {1, 0, Got::OldV2},  {1, 1, Got::NewV2},  {1, 2, Got::OldV2},  {1, 3, Got::NewV2},
    {1, 4, Got::OldV2},  {1, 5, Got::NewV2},  {2, 0, Got::NewV1},  {2, 1, Got::OldV1},  {2, 2, Got::OldV1},
    {2, 3, Got::NewV1},  {2, 4, Got::NewV1},  {2, 5, Got::OldV1},  {3, 0, Got::NewV1},  {3, 1, Got::OldV1},
    {3, 2, Got::OldV1},  {3, 3, Got::NewV1},  {3, 4, Got::NewV1},  {3, 5, Got::OldV1},
};
INSTANTIATE_TEST_SUITE_P(FourBySix, ReadAfterWrite, ::testing::ValuesIn(kPriorityCases),
                         [](const auto& info) {
                             return "read" + std::to_string(info.param.readPriority) + "_write" +
                                    std::to_string(info.param.writeFormat);
                         });

// --- which tags a write format touches, seen through the tag classes themselves ---

struct FormatCase {
    int writeFormat;
    bool v1, v2, ape; // written (else untouched)
};

class WriteFormat : public Mp3Files, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(WriteFormat, WritesTheNamedTagsAndLeavesTheOthers) {
    const FormatCase& c = GetParam();
    const fs::path file = AllThree();
    tags::TAPETag apeBefore;
    ASSERT_TRUE(apeBefore.ReadTags(file));
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, Fields(Set::New), c.writeFormat));

    tags::TID3v1 v1;
    ASSERT_TRUE(v1.ReadTags(file));
    ASSERT_TRUE(v1.Exists());
    EXPECT_EQ(v1.Title(), c.v1 ? "new title" : "v1 title");
    EXPECT_EQ(v1.Track(), c.v1 ? 4 : 1);
    EXPECT_EQ(v1.Genre(), c.v1 ? "Blues" : "Rock");

    tags::TID3v2 v2;
    ASSERT_TRUE(v2.ReadTags(file));
    ASSERT_TRUE(v2.Exists());
    EXPECT_EQ(v2.Title(), c.v2 ? "new title" : "v2 title");
    EXPECT_EQ(v2.Link(), c.v2 ? "new url" : "v2 url");
    EXPECT_EQ(v2.Track(), c.v2 ? 4 : 2);

    tags::TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(file));
    ASSERT_TRUE(ape.Exists());
    if (c.ape) {
        EXPECT_EQ(ape.ItemValue("Title"), "new title");
        EXPECT_EQ(ape.ItemValue("Track"), "4");
        EXPECT_EQ(ape.ItemValue("Copyright"), "new (c)");
        EXPECT_EQ(ape.Items().size(), apeBefore.Items().size()); // replaced, not appended
    } else {
        ASSERT_EQ(ape.Items().size(), apeBefore.Items().size());
        for (size_t i = 0; i < ape.Items().size(); ++i) {
            EXPECT_EQ(ape.Items()[i].Key, apeBefore.Items()[i].Key);
            EXPECT_EQ(ape.Items()[i].Value, apeBefore.Items()[i].Value);
        }
    }
    // URL and Encodedby are read only in APEv2 whatever was written.
    EXPECT_EQ(ape.ItemValue("URL"), "ape url");
    EXPECT_EQ(ape.ItemValue("Encodedby"), "ape encoder");
}

const FormatCase kFormatCases[] = {
    {0, true, false, false}, {1, false, true, false}, {2, false, false, true},
    {3, true, true, false},  {4, true, false, true},  {5, false, true, true},
};
INSTANTIATE_TEST_SUITE_P(SixFormats, WriteFormat, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return "write" + std::to_string(info.param.writeFormat); });

// --- which tags a file has decides the read ---

struct PresenceCase {
    const char* name;
    bool v1, v2, ape;
    int readPriority;
    std::optional<Set> from;
};

class ReadPresence : public Mp3Files, public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(ReadPresence, FirstPresentTagWins) {
    const PresenceCase& c = GetParam();
    const fs::path file = Plain();
    if (c.v1) PutID3v1(file, Fields(Set::V1));
    if (c.v2) PutID3v2(file, Fields(Set::V2), 2);
    if (c.ape) PutAPEv2(file, Fields(Set::Ape));
    const auto read = tagedit::ReadMp3Tags(file, c.readPriority);
    ASSERT_EQ(read.has_value(), c.from.has_value());
    if (c.from) {
        EXPECT_EQ(*read, Fields(*c.from));
    }
}

const PresenceCase kPresenceCases[] = {
    {"v2_ape_by_v1_first", false, true, true, 2, Set::V2},
    {"v2_ape_by_v1_ape_first", false, true, true, 3, Set::Ape},
    {"v1_ape_by_v2_first", true, false, true, 1, Set::Ape},
    {"v1_only_by_ape_first", true, false, false, 0, Set::V1},
    {"ape_only_by_v1_first", false, false, true, 2, Set::Ape},
    {"v1_v2_by_v1_first", true, true, false, 2, Set::V1},
    {"none", false, false, false, 0, std::nullopt},
    {"out_of_range_priority_is_the_default", true, true, true, 9, Set::V2},
};
INSTANTIATE_TEST_SUITE_P(Presence, ReadPresence, ::testing::ValuesIn(kPresenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- edge cases ---

TEST_F(Mp3Files, BlankID3v1StillCountsAsPresent) {
    const fs::path file = Plain();
    tags::TID3v1 blank;
    ASSERT_TRUE(blank.WriteTags(file));
    PutID3v2(file, Fields(Set::V2), 2);
    PutAPEv2(file, Fields(Set::Ape));
    const auto read = tagedit::ReadMp3Tags(file, 2);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, TagFields{});
}

TEST_F(Mp3Files, ID3v2TrackAbove254ArrivesAs254) {
    const fs::path file = Plain();
    PutID3v2(file, Fields(Set::V2), 300);
    const auto read = tagedit::ReadMp3Tags(file, 1);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->Track, 254);
}

TEST_F(Mp3Files, TrackWrittenAbove254IsStoredAs254) {
    const fs::path file = Plain();
    TagFields f = Fields(Set::New);
    f.Track = 300;
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 3));
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 2));
    for (int priority : {0, 1, 2})
        EXPECT_EQ(tagedit::ReadMp3Tags(file, priority)->Track, 254) << priority;
}

TEST_F(Mp3Files, NoValidFrameReadsEmptyAndWritesNothing) {
    const fs::path file = dir_ / "noise.mp3";
    testutil::writeFile(file, std::vector<uint8_t>(20000, 0));
    PutID3v1(file, Fields(Set::V1));
    PutID3v2(file, Fields(Set::V2), 2);
    PutAPEv2(file, Fields(Set::Ape));
    const auto before = testutil::readFile(file);
    for (int priority = 0; priority < 4; ++priority)
        EXPECT_FALSE(tagedit::ReadMp3Tags(file, priority).has_value()) << priority;
    for (int format = 0; format < 6; ++format)
        EXPECT_FALSE(tagedit::WriteMp3Tags(file, Fields(Set::New), format)) << format;
    EXPECT_EQ(testutil::readFile(file), before);
}

TEST_F(Mp3Files, MissingFileAndBadWriteFormat) {
    EXPECT_FALSE(tagedit::ReadMp3Tags(dir_ / "missing.mp3", 0).has_value());
    EXPECT_FALSE(tagedit::WriteMp3Tags(dir_ / "missing.mp3", Fields(Set::New), 2));
    EXPECT_FALSE(fs::exists(dir_ / "missing.mp3"));
    const fs::path file = AllThree();
    const auto before = testutil::readFile(file);
    EXPECT_FALSE(tagedit::WriteMp3Tags(file, Fields(Set::New), 6));
    EXPECT_FALSE(tagedit::WriteMp3Tags(file, Fields(Set::New), -1));
    EXPECT_EQ(testutil::readFile(file), before);
}

TEST_F(Mp3Files, TwoAPEv2SavesLeaveOneTitle) {
    const fs::path file = Plain();
    TagFields f = Fields(Set::New);
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 2));
    f.Title = "second title";
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 2));
    tags::TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(file));
    int titles = 0;
    for (const auto& item : ape.Items())
        titles += tags::SameTextAscii(item.Key, "Title");
    EXPECT_EQ(titles, 1);
    EXPECT_EQ(tagedit::ReadMp3Tags(file, 0)->Title, "second title");
    // Track goes in as text, after Album, in the order the writer sets its items.
    ASSERT_GE(ape.Items().size(), 4u);
    EXPECT_EQ(ape.Items()[3].Key, "Track");
    EXPECT_EQ(ape.Items()[3].Value, "4");
}

TEST_F(Mp3Files, APEv2KeysMatchWithoutCase) {
    const fs::path file = Plain();
    PutAPEv2Items(file, {{"title", "lower key"}, {"ARTIST", "upper key"}, {"track", "7"}});
    auto read = tagedit::ReadMp3Tags(file, 0);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->Title, "lower key");
    EXPECT_EQ(read->Artist, "upper key");
    EXPECT_EQ(read->Track, 7);
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, Fields(Set::New), 2));
    tags::TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(file));
    ASSERT_FALSE(ape.Items().empty());
    EXPECT_EQ(ape.Items()[0].Key, "title");
    EXPECT_EQ(ape.Items()[0].Value, "new title");
    EXPECT_EQ(tagedit::ReadMp3Tags(file, 0)->Title, "new title");
}

TEST_F(Mp3Files, APEv2TrackIsTheNumberBeforeATotal) {
    const struct {
        const char* text;
        int track;
    } cases[] = {{"7/12", 7}, {"7", 7}, {"300/400", 254}, {"", 0}, {"x", 0}, {"x/12", 0}, {"-3", 0}};
    for (const auto& c : cases) {
        const fs::path file = Plain();
        PutAPEv2Items(file, {{"Title", "t"}, {"Track", c.text}});
        EXPECT_EQ(tagedit::ReadMp3Tags(file, 0)->Track, c.track) << c.text;
    }
}

TEST_F(Mp3Files, TextBeyondAsciiRoundTrips) {
    const fs::path file = Plain();
    TagFields f = Fields(Set::New);
    f.Title = "Café Über 日本 🎵";
    f.Comment = "line one\r\nline two";
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 5));
    EXPECT_EQ(*tagedit::ReadMp3Tags(file, 1), f);
    TagFields ape = f;
    ape.URL = ape.EncodedBy = ""; // never written to APEv2
    EXPECT_EQ(*tagedit::ReadMp3Tags(file, 0), ape);
}

TEST_F(Mp3Files, GenreNotInTheID3v1TableStoresNoGenre) {
    const fs::path file = Plain();
    TagFields f = Fields(Set::New);
    f.Genre = "Native US";
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 0));
    tags::TID3v1 v1;
    ASSERT_TRUE(v1.ReadTags(file));
    EXPECT_EQ(v1.GenreID(), 255);
    f.Genre = "native american"; // the table's spelling, in any case
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, f, 0));
    ASSERT_TRUE(v1.ReadTags(file));
    EXPECT_EQ(v1.Genre(), "Native American");
}

TEST_F(Mp3Files, ID3v1AndAPEv2KeepALyrics3BlockReadable) {
    const fs::path file = Plain();
    {
        tags::TID3v1 t;
        t.SetTitle("old");
        t.SetLyrics("la la la");
        t.SetLyricsAuthor("someone");
        ASSERT_TRUE(t.WriteTags(file));
    }
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, Fields(Set::New), 4));
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, Fields(Set::New), 4)); // and again, over its own result
    tags::TID3v1 v1;
    ASSERT_TRUE(v1.ReadTags(file));
    EXPECT_TRUE(v1.LyricsExists());
    EXPECT_EQ(v1.Lyrics(), "la la la");
    EXPECT_EQ(v1.LyricsAuthor(), "someone");
    EXPECT_EQ(v1.Title(), "new title");
    tags::TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(file));
    EXPECT_TRUE(ape.Exists());
    EXPECT_EQ(tagedit::ReadMp3Tags(file, 0)->Title, "new title");
    EXPECT_EQ(tagedit::ReadMp3Tags(file, 2)->Title, "new title");
    // One APEv2 tag in front of the trailer: its end meets the Lyrics3 block.
    EXPECT_EQ(fs::file_size(file) - static_cast<uintmax_t>(v1.TrailerSize()),
              fs::file_size(*plain_ / "plain.mp3") + static_cast<uintmax_t>(ape.TotalSize()));
}

// The APEv2 save throws when it cannot open the file; the ID3 saves return false, and then the
// second tag is not tried. Root ignores permissions, so these run as an ordinary user.
TEST_F(Mp3Files, ReadOnlyFile) {
    const fs::path file = AllThree();
    // Owned by root, so the user cannot clear the read-only mark as the ID3 writers would.
    fs::permissions(dir_.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto before = testutil::readFile(file);
    auto attempt = [&](int format) {
        return testsupport::RunUnprivileged([&] {
            try {
                return tagedit::WriteMp3Tags(file, Fields(Set::New), format) ? 0 : 1;
            } catch (const tags::TFileError&) {
                return 2;
            }
        });
    };
    EXPECT_EQ(attempt(2), 2);
    EXPECT_EQ(attempt(0), 1);
    EXPECT_EQ(attempt(4), 1); // the failed ID3v1 save stops it before the APEv2 save could throw
    EXPECT_EQ(attempt(1), 1);
    EXPECT_EQ(testutil::readFile(file), before);
    // Reading needs no write permission.
    EXPECT_EQ(testsupport::RunUnprivileged([&] {
                  auto r = tagedit::ReadMp3Tags(file, 0);
                  return r && r->Title == "ape title" ? 0 : 1;
              }),
              0);
}

} // namespace
