// Encoder settings reaching the output: the MP3 VBR header, presets, Ogg bitrate modes and
// every WMA profile.
#include "common/test_files.h"
#include "conversion/component_error.h"
#include "conversion/conversion_helpers.h"
#include "conversion/wma_profiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace testutil;
using quillotone::TAudioConvert;

namespace {

class EncoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        // music-like: a tone under noise, so that VBR has something to vary on
        ASSERT_EQ(run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                       "sine=frequency=1000:duration=3", "-f", "lavfi", "-i", "anoisesrc=d=3:a=0.05",
                       "-filter_complex", "amix=inputs=2:normalize=0", "-ac", "2", "-ar", "44100",
                       (*dir / "src.wav").string()})
                      .exitCode,
                  0);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static std::string source() { return (*dir / "src.wav").string(); }
    static TempDir* dir;
};
TempDir* EncoderTest::dir = nullptr;

// The tag word of the first frame's Xing/Info header, or "" when there is none.
std::string vbrHeaderWord(const std::vector<uint8_t>& mp3) {
    for (const char* word : {"Xing", "Info"})
        for (size_t i = 0; i + 4 <= std::min<size_t>(mp3.size(), 200); ++i)
            if (std::memcmp(&mp3[i], word, 4) == 0) return word;
    return "";
}

TEST_F(EncoderTest, Mp3VbrHeaderFollowsTheSetting) {
    struct Case {
        int method;
        bool header;
        const char* word;
    };
    const Case cases[] = {
        {0, true, "Xing"}, {4, true, "Xing"}, {-1, true, "Info"}, {0, false, ""}, {-1, false, ""}};
    TAudioConvert component;
    auto& enc = component.Mp3Encoder();
    for (const Case& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.method) + (c.header ? " with header" : " without"));
        enc.SetVbrMethod(c.method);
        enc.SetVbrQuality(2);
        enc.SetAbrBitrate(200);
        enc.SetWriteVbrHeader(c.header ? -1 : 0);
        fs::path out = *dir / "vbr.mp3";
        ASSERT_EQ(convertAndWait(component, Target::Mp3, source(), out.string()).result(), 0);
        std::vector<uint8_t> bytes = readFile(out);
        EXPECT_EQ(vbrHeaderWord(bytes), c.word);
        if (c.header) {
            // LAME's info frame carries its encoder string, written back at the end
            std::string head(bytes.begin(), bytes.begin() + 200);
            EXPECT_NE(head.find("LAME"), std::string::npos);
        }
        // with the header a player knows the length of a VBR file
        if (c.header || c.method == -1) {
            EXPECT_NEAR(probe(out).duration, 3.0, 0.15);
        }
    }
}

TEST_F(EncoderTest, Mp3SettingsReachTheStream) {
    struct Case {
        int rate, channelMode, kbps;
    };
    const Case cases[] = {{44100, 2, 192}, {22050, 1, 64}, {12000, 1, 8}, {48000, 2, 320}};
    TAudioConvert component;
    component.Mp3Encoder().SetVbrMethod(-1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.kbps) + " kbit/s");
        component.SetMp3Format(c.rate, c.kbps, c.channelMode);
        fs::path out = *dir / "cbr.mp3";
        ASSERT_EQ(convertAndWait(component, Target::Mp3, source(), out.string()).result(), 0);
        ProbeInfo p = probe(out);
        EXPECT_EQ(p.sampleRate, c.rate);
        EXPECT_EQ(p.channels, c.channelMode == 1 ? 1 : 2);
        EXPECT_NEAR(double(p.bitRate), c.kbps * 1000.0, c.kbps * 1000.0 * 0.05);
        EXPECT_GT(energyShareAt(decodeMono(out), 44100, 1000), 0.3);
    }
}

TEST_F(EncoderTest, PresetsSetTheirPropertiesAndEncode) {
    TAudioConvert component;
    auto& enc = component.Mp3Encoder();
    for (int i = 1; i <= 11; ++i) {
        enc.ApplyPreset(i);
        const quillotone::LameSettings& want = quillotone::FindPreset(i)->settings;
        EXPECT_EQ(enc.Mp3SampleRate(), want.sampleRate);
        EXPECT_EQ(enc.Mp3Bitrate(), want.bitrate);
        EXPECT_EQ(enc.VbrMethod(), want.vbrMethod);
        EXPECT_EQ(enc.LowpassFrequency(), want.lowpassFrequency);
    }
    EXPECT_THROW(enc.ApplyPreset(0), quillotone::ComponentError);
    EXPECT_THROW(enc.ApplyPreset(12), quillotone::ComponentError);
    EXPECT_THROW(enc.ApplyAltPreset(6), quillotone::ComponentError);

    enc.ApplyPreset(1); // "Phone": telephone speech
    EXPECT_EQ(quillotone::FindPreset(1)->name, "Phone");
    EXPECT_EQ(enc.Mp3SampleRate(), 8000);
    EXPECT_EQ(enc.Mp3ChannelMode(), 1);
    component.SetMp3Format(enc.Mp3SampleRate(), enc.Mp3Bitrate(), enc.Mp3ChannelMode());
    fs::path out = *dir / "phone.mp3";
    ASSERT_EQ(convertAndWait(component, Target::Mp3, source(), out.string()).result(), 0);
    EXPECT_EQ(probe(out).sampleRate, 8000);
    EXPECT_EQ(probe(out).channels, 1);

    enc.ApplyAltPreset(5); // "Insane"
    EXPECT_EQ(quillotone::FindAltPreset(5)->name, "Insane");
    EXPECT_EQ(enc.VbrMethod(), -1);
    EXPECT_EQ(enc.Mp3Bitrate(), 320);
    enc.ApplyAltPreset(1); // "Fast Standard": VBR level 2
    EXPECT_EQ(enc.VbrQuality(), 2);
    EXPECT_NE(enc.VbrMethod(), -1);
    component.SetMp3Format(enc.Mp3SampleRate(), enc.Mp3Bitrate(), enc.Mp3ChannelMode());
    ASSERT_EQ(convertAndWait(component, Target::Mp3, source(), out.string()).result(), 0);
    EXPECT_EQ(vbrHeaderWord(readFile(out)), "Xing");
}

TEST_F(EncoderTest, OggBitrateModes) {
    struct Case {
        int bitrate, minimum, maximum, quality;
        double lowKbps, highKbps;
    };
    const Case cases[] = {
        {128, 0, 0, -1, 100, 160},                             // nominal
        {128, 64, 64, -1, 55, 80},                             // managed at 64
        {128, 192, 192, -1, 170, 220}, {128, 0, 0, 0, 40, 90}, // quality 0
        {128, 0, 0, 1000, 250, 600},                           // quality 10
    };
    TAudioConvert component;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bitrate) + " " + std::to_string(c.minimum) + "-" +
                     std::to_string(c.maximum) + " q" + std::to_string(c.quality));
        component.SetOggFormat(44100, 2, c.bitrate, c.minimum, c.maximum, static_cast<int16_t>(c.quality));
        fs::path out = *dir / "o.ogg";
        ASSERT_EQ(convertAndWait(component, Target::Ogg, source(), out.string()).result(), 0);
        ProbeInfo p = probe(out);
        EXPECT_EQ(p.codec, "vorbis");
        double kbps = fs::file_size(out) * 8.0 / p.duration / 1000;
        EXPECT_GE(kbps, c.lowKbps);
        EXPECT_LE(kbps, c.highKbps);
    }
}

TEST_F(EncoderTest, EveryWmaProfileEncodes) {
    TAudioConvert component;
    std::set<std::string> descriptions;
    for (int n = 1; n <= quillotone::WmaProfileCount; ++n) {
        SCOPED_TRACE("profile " + std::to_string(n));
        component.SetWmaProfile(n);
        const quillotone::WmaProfileInfo& info = *quillotone::FindWmaProfile(n);
        std::string text = component.WmaProfileDescription().toStdString();
        EXPECT_NE(text.find(std::to_string(info.bitrateKbps) + " kbps"), std::string::npos) << text;
        descriptions.insert(text);
        fs::path out = *dir / "o.wma";
        ASSERT_EQ(convertAndWait(component, Target::Wma, source(), out.string()).result(), 0);
        ProbeInfo p = probe(out);
        EXPECT_EQ(p.codec, "wmav2");
        EXPECT_EQ(p.sampleRate, info.sampleRate);
        EXPECT_EQ(p.channels, info.channels);
        EXPECT_NEAR(p.duration, 3.0, 0.15);
        if (info.sampleRate >= 16000) {
            EXPECT_GT(energyShareAt(decodeMono(out), 44100, 1000), 0.3);
        }
    }
    EXPECT_EQ(descriptions.size(), size_t(quillotone::WmaProfileCount))
        << "descriptions must tell profiles apart";
}

TEST(FormatDescriptions, DescribeTheCurrentSettings) {
    TAudioConvert component;
    component.Mp3Encoder().SetVbrMethod(-1);
    component.SetMp3Format(44100, 128, 2);
    EXPECT_EQ(component.Mp3FormatDescription().toStdString(),
              "MPEG 1 Layer 3, 128 kbit/s CBR, 44100 Hz, joint stereo");
    component.SetMp3Format(22050, 64, 1);
    EXPECT_EQ(component.Mp3FormatDescription().toStdString(),
              "MPEG 2 Layer 3, 64 kbit/s CBR, 22050 Hz, mono");
    component.SetOggFormat(44100, 2, 128, 0, 0, 500);
    EXPECT_EQ(component.OggFormatDescription().toStdString(), "Ogg Vorbis, quality 5.0, 44100 Hz, stereo");
    component.SetOggFormat(32000, 1, 128, 64, 96, -1);
    EXPECT_EQ(component.OggFormatDescription().toStdString(),
              "Ogg Vorbis, 64-96 kbit/s managed, 32000 Hz, mono");
    component.SetWavFormat(11025, 1, 8);
    EXPECT_EQ(component.WavFormatDescription().toStdString(), "PCM WAV, 8 bit, 11025 Hz, mono");
    component.SetWmaProfile(11);
    EXPECT_EQ(component.WmaProfileDescription().toStdString(), "128 kbps, 44 kHz, stereo CBR");
}

} // namespace
