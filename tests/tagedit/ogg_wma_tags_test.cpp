// Ogg Vorbis and WMA files through the tag layer: the mapping's read-only and missing fields, what a
// write keeps, track limits, and which failures are results and which are errors.
#include "tagedit/carry.h"
#include "tagedit/format_tags.h"

#include "common/test_files.h"
#include "tags/asf/wma_attributes.h"
#include "tags/io/text.h"
#include "tags/vorbis/ogg_vorbis.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace fs = std::filesystem;
using tagedit::TagFields;

const TagFields kFields = {"Artist ü", "Title ü",    11,       "Album",    "2010",
                           "Ambient",  "one\r\ntwo", "(c) me", "some url", "enc"};

fs::path Ogg(const testutil::TempDir& dir, const std::vector<std::string>& metadata = {}) {
    const fs::path p = dir / "song.ogg";
    std::vector<std::string> extra = {"-map_metadata", "-1"};
    extra.insert(extra.end(), metadata.begin(), metadata.end());
    EXPECT_TRUE(testutil::makeTone(p, {"-c:a", "libvorbis", "-q:a", "2"}, 0.5, 440, 44100, 1, extra));
    return p;
}

fs::path Wma(const testutil::TempDir& dir) {
    const fs::path p = dir / "song.wma";
    EXPECT_TRUE(
        testutil::makeTone(p, {"-c:a", "wmav2", "-b:a", "64k"}, 0.5, 440, 44100, 1, {"-map_metadata", "-1"}));
    return p;
}

TEST(OggTags, RoundTripWithoutURLAndEncodedBy) {
    testutil::TempDir dir;
    const fs::path file = Ogg(dir);
    ASSERT_TRUE(tagedit::WriteOggTags(file, kFields));
    const auto read = tagedit::ReadOggTags(file);
    ASSERT_TRUE(read.has_value());
    TagFields expected = kFields;
    expected.URL = expected.EncodedBy = "";
    EXPECT_EQ(*read, expected);
}

TEST(OggTags, CopyrightIsTheCommentAndTheVendorStays) {
    testutil::TempDir dir;
    const fs::path file = Ogg(dir, {"-metadata", "MOOD=calm", "-metadata", "copyright=(c) file"});
    tags::TOggVorbis before;
    ASSERT_TRUE(before.ReadInfo(file));
    ASSERT_FALSE(before.Vendor.empty());
    EXPECT_EQ(tagedit::ReadOggTags(file)->Copyright, "(c) file");

    ASSERT_TRUE(tagedit::WriteOggTags(file, kFields));
    tags::TOggVorbis after;
    ASSERT_TRUE(after.ReadInfo(file));
    EXPECT_EQ(after.Vendor, before.Vendor);
    EXPECT_EQ(after.Copyright, kFields.Copyright);
    // comments outside the field set stay
    EXPECT_NE(std::find(after.OtherComments.begin(), after.OtherComments.end(), "MOOD=calm"),
              after.OtherComments.end());
}

TEST(OggTags, TrackKeepsSixteenBitsThenClampsTo254) {
    testutil::TempDir dir;
    const fs::path file = Ogg(dir, {"-metadata", "track=300"});
    EXPECT_EQ(tagedit::ReadOggTags(file)->Track, 254);
    TagFields f = kFields;
    f.Track = 70000;
    ASSERT_TRUE(tagedit::WriteOggTags(file, f));
    tags::TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadInfo(file));
    EXPECT_EQ(ogg.Track, 254);
}

TEST(OggTags, MissingFileIsAnErrorThatPassesThrough) {
    testutil::TempDir dir;
    EXPECT_THROW(tagedit::ReadOggTags(dir / "missing.ogg"), tags::TFileError);
    EXPECT_THROW(tagedit::WriteOggTags(dir / "missing.ogg", kFields), tags::TFileError);
    EXPECT_THROW(tagedit::TagConvertedFile(dir / "missing.ogg", kFields, 1, 2), tags::TFileError);
    EXPECT_FALSE(fs::exists(dir / "missing.ogg"));
}

TEST(OggTags, NotAnOggStreamReadsEmptyAndWritesNothing) {
    testutil::TempDir dir;
    const fs::path file = dir / "fake.ogg";
    ASSERT_TRUE(testutil::makeTone(file, {"-c:a", "libmp3lame", "-f", "mp3"}, 0.3));
    const auto before = testutil::readFile(file);
    EXPECT_FALSE(tagedit::ReadOggTags(file).has_value());
    EXPECT_FALSE(tagedit::WriteOggTags(file, kFields));
    EXPECT_EQ(testutil::readFile(file), before);
}

TEST(WmaTags, RoundTripOfAllTenFields) {
    testutil::TempDir dir;
    const fs::path file = Wma(dir);
    ASSERT_TRUE(tagedit::WriteWmaTags(file, kFields));
    const auto read = tagedit::ReadWmaTags(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, kFields);
    // Writing empty fields clears them again.
    ASSERT_TRUE(tagedit::WriteWmaTags(file, TagFields{}));
    EXPECT_EQ(*tagedit::ReadWmaTags(file), TagFields{});
}

TEST(WmaTags, ComposerAndLyricsStay) {
    testutil::TempDir dir;
    const fs::path file = Wma(dir);
    tags::TTagsData data;
    data.Composer = "Composer ü";
    data.Lyrics = std::string(2000, 'l');
    data.Title = "old";
    ASSERT_TRUE(tags::WriteWmaAttributes(file, data));
    ASSERT_TRUE(tagedit::WriteWmaTags(file, kFields));
    tags::TTagsData after;
    ASSERT_TRUE(tags::ReadWmaAttributes(file, after));
    EXPECT_EQ(after.Composer, "Composer ü");
    EXPECT_EQ(after.Lyrics, data.Lyrics);
    EXPECT_EQ(after.Title, kFields.Title);
}

TEST(WmaTags, ValuesAreWrittenWhole) {
    testutil::TempDir dir;
    const fs::path file = Wma(dir);
    TagFields f = kFields;
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += "é";
    f.Title = longText;
    f.Comment = longText;
    ASSERT_TRUE(tagedit::WriteWmaTags(file, f));
    const auto read = tagedit::ReadWmaTags(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->Title, longText);
    EXPECT_EQ(read->Comment, longText);
}

TEST(WmaTags, TrackAttributeAsDecimalText) {
    testutil::TempDir dir;
    const fs::path file = Wma(dir);
    const struct {
        const char* text;
        int track;
    } cases[] = {{"7", 7}, {"7/12", 7}, {"300", 254}, {"", 0}, {"x", 0}};
    for (const auto& c : cases) {
        tags::TTagsData data;
        data.TrackNumber = c.text;
        ASSERT_TRUE(tags::WriteWmaAttributes(file, data));
        EXPECT_EQ(tagedit::ReadWmaTags(file)->Track, c.track) << c.text;
    }
    TagFields f = kFields;
    f.Track = 999;
    ASSERT_TRUE(tagedit::WriteWmaTags(file, f));
    tags::TTagsData data;
    ASSERT_TRUE(tags::ReadWmaAttributes(file, data));
    EXPECT_EQ(data.TrackNumber, "254");
}

TEST(WmaTags, FailuresAreResultsNotErrors) {
    testutil::TempDir dir;
    EXPECT_FALSE(tagedit::ReadWmaTags(dir / "missing.wma").has_value());
    EXPECT_FALSE(tagedit::WriteWmaTags(dir / "missing.wma", kFields));
    EXPECT_FALSE(fs::exists(dir / "missing.wma"));

    // An ASF header whose size claims more than the file holds, and a file that is no ASF at all.
    const fs::path good = Wma(dir);
    auto damaged = testutil::readFile(good);
    damaged.resize(200);
    const fs::path cut = dir / "cut.wma";
    testutil::writeFile(cut, damaged);
    const fs::path text = dir / "text.wma";
    testutil::writeFile(text, std::vector<uint8_t>(5000, 'x'));
    tags::TTagsData data;
    EXPECT_THROW(tags::ReadWmaAttributes(cut, data), tags::TFileError); // caught by the tag layer
    for (const fs::path& file : {cut, text}) {
        const auto before = testutil::readFile(file);
        EXPECT_FALSE(tagedit::ReadWmaTags(file).has_value()) << file;
        EXPECT_FALSE(tagedit::WriteWmaTags(file, kFields)) << file;
        EXPECT_FALSE(tagedit::TagConvertedFile(file, kFields, 3, 2).written) << file;
        EXPECT_EQ(testutil::readFile(file), before) << file;
    }
}

} // namespace
