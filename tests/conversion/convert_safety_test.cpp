// The conversion component where the files misbehave: sources that shrink or fail to read, FIFOs,
// names that are not UTF-8, a process killed half way; and its manners: no console chatter, no
// refusal of a conversion started from the handler of the last one's 100.
#include "common/test_files.h"
#include "conversion/audio_decoder.h"
#include "conversion/conversion_helpers.h"
#include "conversion/convert_failure.h"
#include "conversion/source_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testutil;
using quillotone::TAudioConvert;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A hang shows as the exit code of `timeout` (137 after its KILL) instead of a test that never ends.
RunResult runWithin(int seconds, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(seconds)});
    return run(argv);
}

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

TEST(ConvertSafety, ASourceCutWhileItIsConvertedFailsTheConversion) {
    TempDir dir;
    fs::path src = dir / "long.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 120.0));
    const auto fullSize = fs::file_size(src);
    TAudioConvert component;
    bool cut = false;
    QObject guard;
    QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, &guard, [&](int percent) {
        if (percent >= 5 && !cut) {
            cut = true; // another program cuts the file, far ahead of what was read
            fs::resize_file(src, fullSize * 6 / 10);
        }
    });
    ConversionEvents ev = convertAndWait(component, Target::Mp3, src.string(), (dir / "out.mp3").string());
    ASSERT_TRUE(cut);
    EXPECT_EQ(ev.errors, std::vector<int>{-24});
    EXPECT_FALSE(std::count(ev.progress.begin(), ev.progress.end(), 100));
    EXPECT_TRUE(component.LastErrorText().contains("became shorter"))
        << component.LastErrorText().toStdString();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"long.wav"}) << "no short output";
}

TEST(ConvertSafety, ASourceThatIsShortFromTheStartConvertsWhatItHolds) {
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> codec;
    };
    const Case cases[] = {{"cut.wav", {"-c:a", "pcm_s16le"}}, {"cut.mp3", {"-c:a", "libmp3lame"}}};
    TAudioConvert component;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path src = dir / c.name;
        ASSERT_TRUE(makeTone(src, c.codec, 4.0));
        fs::resize_file(src,
                        fs::file_size(src) / 2 + 333); // a download that broke off: the header claims more
        fs::path out = dir / (std::string(c.name) + ".wav");
        ConversionEvents ev = convertAndWait(component, Target::Wav, src.string(), out.string());
        EXPECT_EQ(ev.result(), 0) << component.LastErrorText().toStdString();
        EXPECT_NEAR(probe(out).duration, 2.0, 0.2);
    }
}

// Fails every read from `failAt` on, as a disk with a bad sector does.
class FailingSource : public quillotone::SourceFile {
public:
    FailingSource(const std::string& path, int64_t failAt) : SourceFile(path), failAt_(failAt) {}

protected:
    int64_t readSome(void* buffer, size_t count, int64_t offset) override {
        if (offset + static_cast<int64_t>(count) > failAt_) {
            errno = EIO;
            return -1;
        }
        return SourceFile::readSome(buffer, count, offset);
    }

private:
    int64_t failAt_;
};

TEST(ConvertSafety, AReadErrorHalfWayIsAFailureNotTheEnd) {
    TempDir dir;
    fs::path src = dir / "in.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 10.0));
    auto source =
        std::make_unique<FailingSource>(src.string(), static_cast<int64_t>(fs::file_size(src) * 4 / 10));
    quillotone::AudioDecoder decoder(std::move(source));
    int64_t samples = 0;
    try {
        decoder.Run(
            {44100, 2, AV_SAMPLE_FMT_S16}, [&](const uint8_t* const*, int n) { samples += n; },
            [](double) { return true; });
        ADD_FAILURE() << "decoded " << samples << " samples as if that were all";
    } catch (const quillotone::ConvertFailure& e) {
        EXPECT_EQ(e.code(), -24);
        EXPECT_NE(std::string(e.what()).find("Input/output error"), std::string::npos) << e.what();
    }
    EXPECT_LT(samples, 44100 * 5);
}

TEST(ConvertSafety, FifosAndDevicesAreRefusedWithoutHanging) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "good.wav", {"-c:a", "pcm_s16le"}, 0.5));
    ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0644), 0);
    struct Case {
        std::string source, destination;
        const char* result;
    };
    const Case cases[] = {
        {(dir / "fifo.mp3").string(), (dir / "o.wav").string(), "result: -12\n"},
        {"/dev/zero", (dir / "o.wav").string(), "result: -12\n"},
        {dir.path().string(), (dir / "o.wav").string(), "result: -12\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.destination);
        RunResult r = runWithin(20, {toolPath("convert-file"), "--format", "wav", c.source, c.destination});
        EXPECT_EQ(r.exitCode, 1) << "137 is a hang";
        EXPECT_NE(r.out.find(c.result), std::string::npos) << r.out;
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"fifo.mp3", "good.wav"}));
}

TEST(ConvertSafety, ANameWithoutAnExactByteFormIsRefusedNotReplaced) {
    TempDir dir;
    // "?" is what toStdString makes of a lone surrogate: a file of that name must not stand in
    ASSERT_TRUE(makeTone(dir / "in?.wav", {"-c:a", "pcm_s16le"}, 0.5));
    const QString loneSurrogate(QChar(0xD800));
    TAudioConvert component;
    auto convert = [&](const QString& source, const QString& destination) {
        QEventLoop loop;
        std::vector<int> errors;
        QObject guard;
        QObject::connect(&component, &quillotone::IAudioConvert::OnError, &guard, [&](int code) {
            errors.push_back(code);
            loop.quit();
        });
        QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, &guard, [&](int percent) {
            if (percent >= 100) loop.quit();
        });
        component.ConvertToWav(source, destination);
        loop.exec();
        return errors;
    };
    EXPECT_EQ(convert(q(dir / "in") + loneSurrogate + ".wav", q(dir / "a.wav")), std::vector<int>{-12});
    EXPECT_EQ(convert(q(dir / "in?.wav"), q(dir / "out") + loneSurrogate + ".wav"), std::vector<int>{-20});
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"in?.wav"})
        << "nothing written under another name";
}

} // namespace
