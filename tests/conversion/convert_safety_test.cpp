// The conversion component where the files misbehave: sources that shrink or fail to read, FIFOs,
// names that are not UTF-8, a process killed half way; and its manners: no console chatter, no
// refusal of a conversion started from the handler of the last one's 100.
#include "common/test_files.h"
#include "conversion/conversion_helpers.h"

#include <gtest/gtest.h>

using namespace testutil;
using quillotone::TAudioConvert;

namespace {

TEST(ConvertSafety, TheMp3EncoderKeepsTheConsoleQuiet) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 1.0));
    // the first-start MP3 settings: LAME finds the 30 Hz high-pass too low and says so
    RunResult r =
        run({toolPath("convert-file"), "--quiet", "--mp3-bitrate", "256", "--quality", "7", "--highpass",
             "30", "--lowpass", "15160", (dir / "in.wav").string(), (dir / "out.mp3").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(probe(dir / "out.mp3").codec, "mp3");
}

TEST(ConvertSafety, AConversionStartedFromTheLastOnesHundredIsAccepted) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 0.05));
    const QString src = QString::fromStdString((dir / "in.wav").string());
    const QString dst = QString::fromStdString((dir / "out.wav").string());
    TAudioConvert component;
    constexpr int kChain = 100; // the race is narrow: many short files give it every chance
    int done = 0;
    std::vector<int> errors;
    QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, [&](int percent) {
        if (percent < 100) return;
        if (++done < kChain) component.ConvertToWav(src, dst);
    });
    QObject::connect(&component, &quillotone::IAudioConvert::OnError,
                     [&](int code) { errors.push_back(code); });
    component.ConvertToWav(src, dst);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000 && done < kChain && errors.empty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    EXPECT_EQ(errors, std::vector<int>{});
    EXPECT_EQ(done, kChain);
}

} // namespace
