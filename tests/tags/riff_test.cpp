// RIFF INFO in WAV files that ffmpeg made: the list goes to the file's end, one elsewhere is voided in
// place, the audio stays byte for byte, readers see the items, and a file we cannot lay out stays as it is.
#include "common/test_files.h"
#include "tags/io/endian.h"
#include "tags/riff/riff_info.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tags;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// The bytes of the first chunk with the ID (header included); empty when there is none.
Bytes Chunk(const Bytes& file, const char* id) {
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = ReadLe32(file.data() + at + 4);
        if (std::memcmp(file.data() + at, id, 4) == 0)
            return Bytes(file.begin() + long(at), file.begin() + long(std::min(file.size(), at + 8 + size)));
        at += 8 + size + (size & 1);
    }
    return {};
}

TEST(RiffInfo, WritesAtTheEndAndKeepsTheAudio) {
    testutil::TempDir dir;
    const fs::path wav = dir / "tone.wav";
    // ffmpeg puts its INFO list in front of the data chunk
    ASSERT_TRUE(testutil::makeTone(wav, {"-c:a", "pcm_s16le"}, 0.3, 440, 44100, 1,
                                   {"-metadata", "title=ffmpeg title", "-metadata", "artist=ffmpeg"}));
    const Bytes before = testutil::readFile(wav);
    TRiffInfo info;
    ASSERT_TRUE(info.ReadTags(wav));
    EXPECT_TRUE(info.Exists());
    EXPECT_EQ(info.Value("INAM"), "ffmpeg title");

    info.Set("INAM", "Ünïcode 日本"); // odd length with its zero byte: padded
    info.Set("IART", "");             // removed
    info.Set("ICMT", "Comment");
    ASSERT_TRUE(info.WriteTags(wav));
    const Bytes after = testutil::readFile(wav);
    EXPECT_EQ(Chunk(after, "data"), Chunk(before, "data"));
    EXPECT_EQ(ReadLe32(after.data() + 4), after.size() - 8);
    EXPECT_EQ(after.size() % 2, 0u);
    const Bytes list = info.BuildList();
    ASSERT_GE(after.size(), list.size());
    EXPECT_EQ(Bytes(after.end() - long(list.size()), after.end()), list);
    EXPECT_FALSE(Chunk(after, "JUNK").empty()); // the old list, voided in place

    const auto probe = testutil::probe(wav);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.tag("title"), "Ünïcode 日本");
    EXPECT_EQ(probe.tag("comment"), "Comment");
    EXPECT_EQ(probe.tag("artist"), "");
    TRiffInfo again;
    ASSERT_TRUE(again.ReadTags(wav));
    ASSERT_EQ(again.Items().size(), info.Items().size());
    EXPECT_EQ(again.Value("INAM"), "Ünïcode 日本");

    // The same items again change nothing; fewer replace the last list, and the file shrinks.
    ASSERT_TRUE(again.WriteTags(wav));
    EXPECT_EQ(testutil::readFile(wav), after);
    again.Set("ICMT", "");
    ASSERT_TRUE(again.WriteTags(wav));
    const Bytes shrunk = testutil::readFile(wav);
    EXPECT_LT(shrunk.size(), after.size());
    EXPECT_EQ(ReadLe32(shrunk.data() + 4), shrunk.size() - 8);
    EXPECT_EQ(testutil::probe(wav).tag("comment"), "");
    EXPECT_EQ(testutil::probe(wav).tag("title"), "Ünïcode 日本");
}

TEST(RiffInfo, FilesItCannotLayOutStayAsTheyAre) {
    testutil::TempDir dir;
    const fs::path wav = dir / "tone.wav";
    ASSERT_TRUE(testutil::makeTone(wav, {"-c:a", "pcm_s16le"}, 0.2));
    const Bytes good = testutil::readFile(wav);
    Bytes claimsMore = good; // the data chunk says it holds more than the file has
    const Bytes data = Chunk(good, "data");
    ASSERT_FALSE(data.empty());
    const size_t at = size_t(std::search(good.begin(), good.end(), data.begin(), data.end()) - good.begin());
    WriteLe(claimsMore.data() + at + 4, ReadLe32(data.data() + 4) + 1000, 4);
    Bytes notWave = good;
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    for (const Bytes& bytes : {claimsMore, notWave, Bytes{'R', 'I', 'F', 'F'}}) {
        testutil::writeFile(wav, bytes);
        TRiffInfo info;
        info.Set("INAM", "Title");
        EXPECT_FALSE(info.WriteTags(wav));
        EXPECT_EQ(testutil::readFile(wav), bytes);
    }
}

} // namespace
