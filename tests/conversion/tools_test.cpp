// The two command-line tools print what the components say.
#include "common/test_files.h"

#include <gtest/gtest.h>

using namespace testutil;

TEST(Tools, ConvertFilePrintsProgressAndResult) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 1.0));
    RunResult ok = run({toolPath("convert-file"), "--format", "ogg", "--ogg-quality", "300",
                        (dir / "in.wav").string(), (dir / "out.ogg").string()});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.out.find("progress: 0\n"), std::string::npos);
    EXPECT_NE(ok.out.find("progress: 100\nresult: 0\n"), std::string::npos) << ok.out;
    EXPECT_EQ(probe(dir / "out.ogg").codec, "vorbis");

    RunResult bad = run({toolPath("convert-file"), (dir / "missing.wav").string(), (dir / "o.mp3").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.out.find("result: -12\n"), std::string::npos) << bad.out;
    EXPECT_EQ(run({toolPath("convert-file"), "--bogus", "a", "b"}).exitCode, 2);
}

TEST(Tools, AudioInfoPrintsEveryAnswer) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.ogg", {"-c:a", "libvorbis"}, 1.0, 1000, 32000, 1,
                         {"-metadata", "title=Hello", "-metadata", "tracknumber=7"}));
    RunResult r = run({toolPath("audio-info"), (dir / "in.ogg").string()});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* line : {"IsOggFile: true\n", "IsMp3File: false\n", "SampleRate: 32000\n",
                             "ChannelMode: 1\n", "Title: Hello\n", "TrackNumber: 7\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
}
