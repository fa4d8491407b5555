#include "common/test_files.h"
#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"

#include <gtest/gtest.h>

using testutil::readFile;
using testutil::run;
using testutil::TempDir;
using testutil::toolPath;
using testutil::writeFile;

namespace {

const std::vector<uint8_t> kAudio(500, 0x55);

} // namespace

TEST(Tagdump, WritesThroughTheNamedClassesAndPrintsThem) {
    TempDir dir;
    const auto path = dir / "\xe6\x97\xa5 song.mp3";
    writeFile(path, kAudio);
    auto r = run({toolPath("tagdump"), "--write", "id3v1,ape", "--set", "Title=Caf\xc3\xa9 \xe6\x97\xa5",
                  "--set", "Track=4", "--set", "Lyrics=la \"la\"", "--set", "Encodedby=me", path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Sections in class order, fields under the classes' own names, text as UTF-8 with JSON escapes.
    const size_t v1 = r.out.find("\"id3v1\": {"), ape = r.out.find("\"ape\": {");
    ASSERT_NE(v1, std::string::npos) << r.out;
    ASSERT_NE(ape, std::string::npos) << r.out;
    EXPECT_LT(v1, ape);
    EXPECT_NE(r.out.find("\"Title\": \"Caf\xc3\xa9 ?\""), std::string::npos) << r.out; // Latin-1 edge
    EXPECT_NE(r.out.find("\"Lyrics\": \"la \\\"la\\\"\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Key\": \"Encodedby\",\n        \"Flags\": 0,\n        \"Value\": \"me\""),
              std::string::npos)
        << r.out;

    tags::TID3v1 id3;
    ASSERT_TRUE(id3.ReadTags(path));
    EXPECT_EQ(id3.Track(), 4);
    EXPECT_EQ(id3.Lyrics(), "la \"la\"");
    tags::TAPETag apeTag;
    ASSERT_TRUE(apeTag.ReadTags(path));
    EXPECT_EQ(apeTag.ItemValue("Title"), "Caf\xc3\xa9 \xe6\x97\xa5");
    EXPECT_EQ(apeTag.ItemValue("Track"), "4");
    auto bytes = readFile(path);
    EXPECT_TRUE(std::equal(kAudio.begin(), kAudio.end(), bytes.begin()));
}

TEST(Tagdump, RefusesBeforeWriting) {
    TempDir dir;
    const auto path = dir / "a.mp3";
    writeFile(path, kAudio);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string error;
    } cases[] = {
        {{"--write", "id3v1", "--set", "Encodedby=x"},
         2,
         "no class in \"id3v1\" has the field \"Encodedby\""},
        {{"--write", "id3v1", "--set", "Track=256"}, 1, "Track must be a number from 0 to 255"},
        {{"--write", "nosuch", "--set", "Title=x"}, 2, "cannot write class \"nosuch\""},
        {{"--set", "Title=x"}, 2, "--set needs --write CLASSES"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{toolPath("tagdump")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.push_back(path.string());
        auto r = run(argv);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(readFile(path), kAudio) << c.error;
    }
    auto r = run({toolPath("tagdump"), (dir / "missing.mp3").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot open file \"" + (dir / "missing.mp3").string() + "\""), std::string::npos);
}

TEST(Tagdump, FileWithoutTagsPrintsOnlyItsName) {
    TempDir dir;
    const auto path = dir / "plain.bin";
    writeFile(path, kAudio);
    auto r = run({toolPath("tagdump"), path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("\"id3v1\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"ape\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"file\": "), std::string::npos) << r.out;
}
