// The conversion component end to end: every input kind into every output kind, checked by
// ffprobe and by the tone surviving; the event contract; the error codes.
#include "common/test_files.h"
#include "conversion/component_error.h"
#include "conversion/conversion_helpers.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testutil;
using quillotone::TAudioConvert;

namespace {

struct Source {
    const char* name;
    std::vector<std::string> codec;
};

const Source kSources[] = {
    {"src.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {"src.ogg", {"-c:a", "libvorbis", "-q:a", "4"}},
    {"src.wav", {"-c:a", "pcm_s16le"}},
    {"src.wma", {"-c:a", "wmav2", "-b:a", "128k"}},
    {"src.v1.wma", {"-c:a", "wmav1", "-b:a", "128k"}},
};

struct TargetInfo {
    Target target;
    const char* ext;
    const char* codec;
};

const TargetInfo kTargets[] = {
    {Target::Mp3, "mp3", "mp3"},
    {Target::Ogg, "ogg", "vorbis"},
    {Target::Wav, "wav", "pcm_s16le"},
    {Target::Wma, "wma", "wmav2"},
};

constexpr double kSeconds = 2.0;

class ConvertTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        for (const Source& s : kSources)
            makeTone(*dir / s.name, s.codec, kSeconds);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    // Files in the folder that are not sources: what a conversion left behind.
    static std::vector<std::string> leftovers(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            std::string n = e.path().filename().string();
            if (n.rfind("src.", 0) != 0 && n != "keep") names.push_back(n);
        }
        return names;
    }
    static TempDir* dir;
};
TempDir* ConvertTest::dir = nullptr;

void expectProgressContract(const ConversionEvents& ev) {
    ASSERT_FALSE(ev.progress.empty());
    EXPECT_EQ(ev.progress.front(), 0);
    EXPECT_EQ(ev.progress.back(), 100);
    EXPECT_EQ(std::count(ev.progress.begin(), ev.progress.end(), 100), 1);
    EXPECT_TRUE(std::is_sorted(ev.progress.begin(), ev.progress.end()));
}

TEST_F(ConvertTest, EveryInputKindIntoEveryOutputKind) {
    TAudioConvert component;
    component.SetWmaProfile(11); // 128 kbps, 44 kHz, stereo
    for (const Source& s : kSources) {
        for (const TargetInfo& t : kTargets) {
            SCOPED_TRACE(std::string(s.name) + " -> " + t.ext);
            fs::path out = *dir / (std::string("out-") + s.name + "." + t.ext);
            ConversionEvents ev = convertAndWait(component, t.target, (*dir / s.name).string(), out.string());
            ASSERT_TRUE(ev.errors.empty()) << "error " << ev.result();
            expectProgressContract(ev);
            ProbeInfo p = probe(out);
            ASSERT_TRUE(p.ok);
            EXPECT_EQ(p.codec, t.codec);
            EXPECT_EQ(p.sampleRate, 44100);
            EXPECT_EQ(p.channels, 2);
            EXPECT_NEAR(p.duration, kSeconds, kSeconds * 0.05);
            EXPECT_GT(energyShareAt(decodeMono(out), 44100, 1000), 0.5) << "the tone did not survive";
        }
    }
    EXPECT_EQ(leftovers(dir->path()).size(), std::size(kSources) * std::size(kTargets))
        << "only the outputs may be there";
}

TEST_F(ConvertTest, WavSampleFormatsRatesAndChannels) {
    struct Case {
        const char* codec;
        int rate, channels; // source
        int outRate, outChannels, outBits;
        const char* outCodec;
    };
    const Case cases[] = {
        {"pcm_u8", 44100, 2, 44100, 2, 16, "pcm_s16le"},
        {"pcm_s24le", 44100, 2, 44100, 2, 16, "pcm_s16le"},
        {"pcm_s32le", 44100, 2, 22050, 1, 16, "pcm_s16le"},
        {"pcm_f32le", 48000, 2, 44100, 2, 8, "pcm_u8"},
        {"pcm_s16le", 22050, 1, 44100, 2, 16, "pcm_s16le"},
        {"pcm_s16le", 44100, 2, 8000, 1, 8, "pcm_u8"},
    };
    TempDir local;
    TAudioConvert component;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.rate) + "/" + std::to_string(c.channels));
        fs::path src = local / "in.wav", out = local / "out.wav";
        ASSERT_TRUE(makeTone(src, {"-c:a", c.codec}, 1.0, 1000, c.rate, c.channels));
        component.SetWavFormat(c.outRate, c.outChannels, c.outBits);
        ConversionEvents ev = convertAndWait(component, Target::Wav, src.string(), out.string());
        ASSERT_EQ(ev.result(), 0);
        ProbeInfo p = probe(out);
        EXPECT_EQ(p.codec, c.outCodec);
        EXPECT_EQ(p.sampleRate, c.outRate);
        EXPECT_EQ(p.channels, c.outChannels);
        EXPECT_NEAR(p.duration, 1.0, 0.02);
        EXPECT_GT(energyShareAt(decodeMono(out, c.outRate), c.outRate, 1000), 0.5);
    }
}

TEST_F(ConvertTest, ReplacesAnExistingDestinationOnlyWhenComplete) {
    TempDir local;
    fs::path out = local / "keep";
    writeFile(out, {1, 2, 3});
    TAudioConvert component;
    // a failed conversion leaves the old file as it was
    ConversionEvents bad =
        convertAndWait(component, Target::Wav, (local / "missing.wav").string(), out.string());
    EXPECT_EQ(bad.result(), -12);
    EXPECT_EQ(readFile(out), (std::vector<uint8_t>{1, 2, 3}));
    ConversionEvents good = convertAndWait(component, Target::Wav, (*dir / "src.wav").string(), out.string());
    EXPECT_EQ(good.result(), 0);
    EXPECT_EQ(probe(out).codec, "pcm_s16le");
    EXPECT_EQ(leftovers(local.path()), std::vector<std::string>{});
}

TEST_F(ConvertTest, StopEndsTheConversionAndNoEventFollows) {
    TempDir local;
    fs::path src = local / "src.long.wav", out = local / "out.mp3";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 120.0));
    TAudioConvert component;
    std::vector<int> events;
    bool stopped = false;
    QObject guard; // ends the connections before the next conversion
    QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, &guard, [&](int p) {
        EXPECT_FALSE(stopped) << "progress " << p << " arrived after StopConversion";
        events.push_back(p);
        if (p > 0 && !stopped) {
            component.StopConversion();
            stopped = true;
        }
    });
    QObject::connect(&component, &quillotone::IAudioConvert::OnError, &guard,
                     [&](int code) { ADD_FAILURE() << "error " << code << " after a stop"; });
    component.ConvertToMp3(QString::fromStdString(src.string()), QString::fromStdString(out.string()));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000 && !stopped)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(stopped);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(component.IsConverting());
    EXPECT_FALSE(std::count(events.begin(), events.end(), 100));
    EXPECT_EQ(leftovers(local.path()), std::vector<std::string>{}) << "the partial output must go";
    // the component is ready for the next conversion
    guard.disconnect();
    QObject::disconnect(&component, nullptr, &guard, nullptr);
    ConversionEvents next = convertAndWait(component, Target::Wav, (*dir / "src.wav").string(), out.string());
    EXPECT_EQ(next.result(), 0);
}

TEST_F(ConvertTest, AStartWhileConvertingReportsBusy) {
    TempDir local;
    fs::path src = local / "src.long.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 60.0));
    TAudioConvert component;
    std::vector<int> errors;
    QObject::connect(&component, &quillotone::IAudioConvert::OnError,
                     [&](int code) { errors.push_back(code); });
    component.ConvertToMp3(QString::fromStdString(src.string()),
                           QString::fromStdString((local / "a.mp3").string()));
    component.ConvertToOgg(QString::fromStdString(src.string()),
                           QString::fromStdString((local / "b.ogg").string()));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000 && errors.empty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(errors, std::vector<int>{-10});
    component.StopConversion();
    EXPECT_EQ(leftovers(local.path()), std::vector<std::string>{});
}

TEST_F(ConvertTest, FailuresGiveTheirCodesAndLeaveNothingBehind) {
    TempDir local;
    writeFile(local / "text.mp3", std::vector<uint8_t>(2000, 'x'));
    ASSERT_TRUE(run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=32x32",
                     "-frames:v", "1", (local / "picture.png").string()})
                    .exitCode == 0);
    fs::create_directory(local / "folder");
    std::string goodSource = (*dir / "src.wav").string();
    struct Case {
        const char* what;
        std::string source, destination;
        int code;
    };
    const Case cases[] = {
        {"missing source", (local / "missing.mp3").string(), (local / "o1.mp3").string(), -12},
        {"text named .mp3", (local / "text.mp3").string(), (local / "o2.mp3").string(), -12},
        {"no audio in it", (local / "picture.png").string(), (local / "o3.mp3").string(), -13},
        {"missing folder", goodSource, (local / "no" / "such" / "o4.mp3").string(), -20},
        {"empty destination", goodSource, "", -20},
        {"destination is a folder", goodSource, (local / "folder").string(), -20},
        {"full disk", goodSource, "/dev/full", -24},
    };
    TAudioConvert component;
    for (Target t : {Target::Mp3, Target::Ogg, Target::Wav, Target::Wma}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " format " + std::to_string(int(t)));
            ConversionEvents ev = convertAndWait(component, t, c.source, c.destination);
            EXPECT_EQ(ev.errors, std::vector<int>{c.code});
            EXPECT_FALSE(std::count(ev.progress.begin(), ev.progress.end(), 100));
        }
    }
    std::vector<std::string> left = leftovers(local.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"folder", "picture.png", "text.mp3"}));
}

TEST_F(ConvertTest, UnwritableFolderIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
    TempDir local;
    fs::create_directory(local / "ro");
    fs::permissions(local / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    TAudioConvert component;
    ConversionEvents ev = convertAndWait(component, Target::Mp3, (*dir / "src.wav").string(),
                                         (local / "ro" / "o.mp3").string());
    EXPECT_EQ(ev.errors, std::vector<int>{-20});
}

TEST_F(ConvertTest, SettingsTheEncoderRefusesAreInvalidParameters) {
    TempDir local;
    TAudioConvert component;
    component.SetWavFormat(44100, 2, 12);
    EXPECT_EQ(convertAndWait(component, Target::Wav, (*dir / "src.wav").string(), (local / "o.wav").string())
                  .errors,
              std::vector<int>{-20});
    component.SetOggFormat(8000, 1, 500, 0, 0, -1);
    EXPECT_EQ(convertAndWait(component, Target::Ogg, (*dir / "src.wav").string(), (local / "o.ogg").string())
                  .errors,
              std::vector<int>{-20});
    EXPECT_THROW(component.SetWmaProfile(0), quillotone::ComponentError);
    EXPECT_THROW(component.SetWmaProfile(48), quillotone::ComponentError);
    EXPECT_EQ(leftovers(local.path()), std::vector<std::string>{});
}

} // namespace
