// The quality list texts, what each choice writes, which choice the settings select back, and
// how the settings reach the component (ApplyOutputFormat, ReadBackEncoder).
#include "common/first_start_settings.h"
#include "conversion/convert_component.h"
#include "conversion/encoder_apply.h"
#include "conversion/encoder_lists.h"
#include "conversion/quality_choices.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace quillotone;

namespace {

using testutil::firstStart;

QStringList wmaNames() {
    QStringList out;
    for (int i = 1; i <= WmaProfileCount; ++i)
        out << QString("profile %1").arg(i);
    return out;
}

struct EntryCase {
    OutFormat format;
    int index;
    const char* text;
};

} // namespace

TEST(QualityList, EntryTexts) {
    const EntryCase cases[] = {
        {OutFormat::Mp3, 0, "Near CD-Quality"},
        {OutFormat::Mp3, 1, "CD-Quality"},
        {OutFormat::Mp3, 2, "320 kbit/s"},
        {OutFormat::Mp3, 3, "256 kbit/s"},
        {OutFormat::Mp3, 8, "112 kbit/s"},
        {OutFormat::Mp3, 16, "8 kbit/s"},
        {OutFormat::Mp3, 17, "VBR-Quality Level 0 (highest)"},
        {OutFormat::Mp3, 18, "VBR-Quality Level 1"},
        {OutFormat::Mp3, 25, "VBR-Quality Level 8"},
        {OutFormat::Mp3, 26, "VBR-Quality Level 9 (lowest)"},
        {OutFormat::Mp3, 27, "ABR -150 kbit/s"},
        {OutFormat::Mp3, 28, "ABR -200 kbit/s"},
        {OutFormat::Mp3, 29, "ABR -250 kbit/s"},
        {OutFormat::Mp3, 30, "Preset: Phone"},
        {OutFormat::Mp3, 37, "Preset: HiFi"},
        {OutFormat::Mp3, 40, "Preset: R3Mix"},
        {OutFormat::Ogg, 0, "320 kbit/s"},
        {OutFormat::Ogg, 14, "8 kbit/s"},
        {OutFormat::Ogg, 15, "VBR Quality -1(32...48 kbit/s)"},
        {OutFormat::Ogg, 16, "VBR Quality 0(64 kbit/s)"},
        {OutFormat::Ogg, 17, "VBR Quality 2(96 kbit/s)"},
        {OutFormat::Ogg, 20, "VBR Quality 5(160 kbit/s)"},
        {OutFormat::Ogg, 24, "VBR Quality 9(320 kbit/s)"},
        {OutFormat::Wav, 0, "16-bit Stereo 44,100Hz (CD-Quality)"},
        {OutFormat::Wav, 1, "16-bit Stereo 48,000Hz"},
        {OutFormat::Wav, 8, "16-bit Stereo 6,000Hz"},
        {OutFormat::Wav, 9, "16-bit Mono 44,100Hz"},
        {OutFormat::Wav, 18, "8-bit Stereo 44,100Hz"},
        {OutFormat::Wav, 33, "8-bit Mono 11,025Hz"},
        {OutFormat::Wav, 35, "8-bit Mono 6,000Hz"},
        {OutFormat::Wma, 0, "profile 1"},
        {OutFormat::Wma, 46, "profile 47"},
    };
    for (const EntryCase& c : cases) {
        const QStringList list = QualityList(c.format, wmaNames());
        ASSERT_LT(c.index, list.size()) << c.text;
        EXPECT_EQ(list[c.index].toStdString(), c.text) << "format " << int(c.format) << " index " << c.index;
    }
    EXPECT_EQ(QualityList(OutFormat::Mp3, {}).size(), 41);
    EXPECT_EQ(QualityList(OutFormat::Ogg, {}).size(), 25);
    EXPECT_EQ(QualityList(OutFormat::Wav, {}).size(), 36);
    EXPECT_EQ(QualityList(OutFormat::Wma, wmaNames()).size(), 47);
    EXPECT_TRUE(QualityList(OutFormat::Wma, {}).isEmpty());
    // Every WAV text is different, so a selection by text is unique.
    QStringList wav = QualityList(OutFormat::Wav, {});
    wav.removeDuplicates();
    EXPECT_EQ(wav.size(), 36);
}

TEST(ApplyQualityChoice, Mp3Branches) {
    const QStringList list = QualityList(OutFormat::Mp3, {});
    EncoderSettings s = firstStart();
    s.mp3.VbrMethod = 2;
    ApplyQualityChoice(s, OutFormat::Mp3, 1, list[1]);
    EXPECT_EQ(s.mp3.VbrMethod, -1);
    EXPECT_EQ(s.mp3.Mp3SampleRate, 44100);
    EXPECT_EQ(s.mp3.Mp3ChannelMode, 2);
    EXPECT_EQ(s.mp3.Mp3Bitrate, 128);
    EXPECT_EQ(s.mp3.Mp3EncoderQuality, 2);
    ApplyQualityChoice(s, OutFormat::Mp3, 0, list[0]);
    EXPECT_EQ(s.mp3.Mp3Bitrate, 112);

    s.mp3.VbrMethod = 4;
    ApplyQualityChoice(s, OutFormat::Mp3, 14, list[14]); // "24 kbit/s"
    EXPECT_EQ(s.mp3.VbrMethod, -1);
    EXPECT_EQ(s.mp3.Mp3Bitrate, 24);
    ApplyQualityChoice(s, OutFormat::Mp3, 5, "oops kbit/s");
    EXPECT_EQ(s.mp3.Mp3Bitrate, 128);

    ApplyQualityChoice(s, OutFormat::Mp3, 19, list[19]);
    EXPECT_EQ(s.mp3.VbrMethod, 0);
    EXPECT_EQ(s.mp3.VbrQuality, 2);

    ApplyQualityChoice(s, OutFormat::Mp3, 28, list[28]);
    EXPECT_EQ(s.mp3.VbrMethod, 4);
    EXPECT_EQ(s.mp3.AbrBitrate, 200);

    const Mp3Settings before = s.mp3;
    ApplyQualityChoice(s, OutFormat::Mp3, 39, list[39]);
    EXPECT_EQ(s.mp3.Preset, 10); // "Studio"
    EXPECT_EQ(s.mp3.VbrMethod, before.VbrMethod);
}

TEST(ApplyQualityChoice, OggWavWma) {
    const QStringList ogg = QualityList(OutFormat::Ogg, {});
    EncoderSettings s = firstStart();
    s.OggVbr = true;
    ApplyQualityChoice(s, OutFormat::Ogg, 2, ogg[2]); // "224 kbit/s"
    EXPECT_FALSE(s.OggVbr);
    EXPECT_EQ(s.ogg.OggBitrate, 224);
    ApplyQualityChoice(s, OutFormat::Ogg, 15, ogg[15]);
    EXPECT_TRUE(s.OggVbr);
    EXPECT_EQ(s.OggMinBitrate, 32);
    EXPECT_EQ(s.OggMaxBitrate, 48);
    ApplyQualityChoice(s, OutFormat::Ogg, 20, ogg[20]);
    EXPECT_EQ(s.OggMinBitrate, 160);
    EXPECT_EQ(s.OggMaxBitrate, 160);

    ApplyQualityChoice(s, OutFormat::Wav, 33, "8-bit Mono 11,025Hz");
    EXPECT_EQ(s.WavBitsPerSample, 8);
    EXPECT_EQ(s.WavChannels, 1);
    EXPECT_EQ(s.WavSampleRate, 11025);
    ApplyQualityChoice(s, OutFormat::Wav, 0, "16-bit Stereo 44,100Hz (CD-Quality)");
    EXPECT_EQ(s.WavBitsPerSample, 16);
    EXPECT_EQ(s.WavChannels, 2);
    EXPECT_EQ(s.WavSampleRate, 44100);
    // Unreadable parts take their fallbacks; an unknown channel word leaves the channels.
    s.WavChannels = 1;
    ApplyQualityChoice(s, OutFormat::Wav, 0, "x-bit Quad y,zHz");
    EXPECT_EQ(s.WavBitsPerSample, 16);
    EXPECT_EQ(s.WavChannels, 1);
    EXPECT_EQ(s.WavSampleRate, 44100);

    ApplyQualityChoice(s, OutFormat::Wma, 4, "any");
    EXPECT_EQ(s.WmaQuality, 5);
}

// Every entry that the settings can select is selected again after it has been picked.
TEST(SelectQualityFromSettings, EveryPickedEntrySelectsItselfBack) {
    for (OutFormat format : {OutFormat::Mp3, OutFormat::Ogg, OutFormat::Wav, OutFormat::Wma}) {
        const QStringList list = QualityList(format, wmaNames());
        for (int i = 0; i < list.size(); ++i) {
            EncoderSettings s = firstStart();
            ApplyQualityChoice(s, format, i, list[i]);
            const int shownPreset = format == OutFormat::Mp3 ? s.mp3.Preset : 0;
            const int selected = SelectQualityFromSettings(s, format, list, shownPreset);
            if (format == OutFormat::Mp3 && i < 2)
                EXPECT_EQ(selected, i == 0 ? 8 : 7) << "the CD entries select their bitrate's entry";
            else
                EXPECT_EQ(selected, i) << "format " << int(format) << " entry " << list[i].toStdString();
        }
    }
}

TEST(SelectQualityFromSettings, Mp3Cases) {
    const QStringList list = QualityList(OutFormat::Mp3, {});
    EncoderSettings s = firstStart();
    s.mp3.VbrMethod = 4;
    struct {
        int abr, index;
    } abr[] = {{100, -1}, {149, -1}, {150, 27}, {199, 27}, {200, 28},
               {224, 28}, {225, 29}, {250, 29}, {251, -1}};
    for (auto c : abr) {
        s.mp3.AbrBitrate = c.abr;
        EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 0), c.index) << c.abr;
    }
    s.mp3.VbrMethod = 3;
    s.mp3.VbrQuality = 10;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 0), -1);
    s.mp3.VbrQuality = 9;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 0), 26);
    // The preset shown in the inspector comes first.
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 1), 30);
    s.mp3.VbrMethod = -1;
    s.mp3.Mp3Bitrate = 8;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 0), 16);
    s.mp3.Mp3Bitrate = 100;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Mp3, list, 0), -1);
}

TEST(SelectQualityFromSettings, OggWavWmaCases) {
    EncoderSettings s = firstStart();
    const QStringList ogg = QualityList(OutFormat::Ogg, {});
    s.OggVbr = true;
    s.OggMinBitrate = 40;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Ogg, ogg, 0), 15);
    s.OggMinBitrate = 50;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Ogg, ogg, 0), -1);
    s.OggVbr = false;
    s.ogg.OggBitrate = 96;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Ogg, ogg, 0), 7);

    const QStringList wav = QualityList(OutFormat::Wav, {});
    s.WavBitsPerSample = 8;
    s.WavChannels = 1;
    s.WavSampleRate = 11025;
    EXPECT_EQ(wav[SelectQualityFromSettings(s, OutFormat::Wav, wav, 0)], "8-bit Mono 11,025Hz");
    s.WavBitsPerSample = 16;
    s.WavChannels = 2;
    s.WavSampleRate = 44100;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Wav, wav, 0), 0);
    s.WavSampleRate = 12345;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Wav, wav, 0), -1);

    s.WmaQuality = 1;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Wma, wmaNames(), 0), 0);
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Wma, {}, 0), -1);
    s.WmaQuality = 48;
    EXPECT_EQ(SelectQualityFromSettings(s, OutFormat::Wma, wmaNames(), 0), -1);
}

TEST(EncoderLists, TextReading) {
    EXPECT_EQ(ReadNumber(" 42 ", 7), 42);
    EXPECT_EQ(ReadNumber("", 30), 30);
    EXPECT_EQ(ReadNumber("12a", 30), 30);
    EXPECT_EQ(ReadNumber("99999999999", 5), 5);
    EXPECT_TRUE(ReadBoolean("TRUE"));
    EXPECT_FALSE(ReadBoolean("yes"));
    EXPECT_EQ(FindNumberEntry(Mp3SampleRates(), 12000), 2);
    EXPECT_EQ(FindNumberEntry(Bitrates(), 8), 0);
    EXPECT_EQ(FindNumberEntry(Bitrates(), 9), -1);
}

namespace {

// Records the order in which the encoder's properties are written.
class RecordingEncoder final : public IAudioConvertLameMp3Encoder {
public:
    std::vector<std::string> writes;
    int32_t rate = 0, mode = 0, bitrate = 0, hpf = 0, hpw = 0, lpf = 0, lpw = 0, method = 0, vbrRate = 0;
    int16_t quality = 0, vbrQuality = 0, abr = 0, header = 0, strict = 0;
    int32_t Mp3SampleRate() const override { return rate; }
    void SetMp3SampleRate(int32_t v) override { writes.push_back("Mp3SampleRate"), rate = v; }
    int32_t Mp3ChannelMode() const override { return mode; }
    void SetMp3ChannelMode(int32_t v) override { writes.push_back("Mp3ChannelMode"), mode = v; }
    int32_t Mp3Bitrate() const override { return bitrate; }
    void SetMp3Bitrate(int32_t v) override { writes.push_back("Mp3Bitrate"), bitrate = v; }
    int16_t Mp3EncoderQuality() const override { return quality; }
    void SetMp3EncoderQuality(int16_t v) override { writes.push_back("Mp3EncoderQuality"), quality = v; }
    int32_t HighpassFrequency() const override { return hpf; }
    void SetHighpassFrequency(int32_t v) override { writes.push_back("HighpassFrequency"), hpf = v; }
    int32_t HighpassWidth() const override { return hpw; }
    void SetHighpassWidth(int32_t v) override { writes.push_back("HighpassWidth"), hpw = v; }
    int32_t LowpassFrequency() const override { return lpf; }
    void SetLowpassFrequency(int32_t v) override { writes.push_back("LowpassFrequency"), lpf = v; }
    int32_t LowpassWidth() const override { return lpw; }
    void SetLowpassWidth(int32_t v) override { writes.push_back("LowpassWidth"), lpw = v; }
    int32_t VbrMethod() const override { return method; }
    void SetVbrMethod(int32_t v) override { writes.push_back("VbrMethod"), method = v; }
    int32_t VbrBitrate() const override { return vbrRate; }
    void SetVbrBitrate(int32_t v) override { writes.push_back("VbrBitrate"), vbrRate = v; }
    int16_t VbrQuality() const override { return vbrQuality; }
    void SetVbrQuality(int16_t v) override { writes.push_back("VbrQuality"), vbrQuality = v; }
    int16_t AbrBitrate() const override { return abr; }
    void SetAbrBitrate(int16_t v) override { writes.push_back("AbrBitrate"), abr = v; }
    int16_t WriteVbrHeader() const override { return header; }
    void SetWriteVbrHeader(int16_t v) override { writes.push_back("WriteVbrHeader"), header = v; }
    int16_t StrictMinBitrate() const override { return strict; }
    void SetStrictMinBitrate(int16_t v) override { writes.push_back("StrictMinBitrate"), strict = v; }
    void ApplyPreset(int32_t) override {}
    void ApplyAltPreset(int32_t) override {}
};

// The real component's formats with a recording encoder, so the order of writes shows.
class RecordingConvert final : public IAudioConvert {
public:
    RecordingEncoder encoder;
    TAudioConvert real;
    std::vector<std::vector<int>> mp3Formats, oggFormats, wavFormats;
    void SetMp3Format(int32_t r, int32_t b, int32_t c) override { mp3Formats.push_back({r, b, c}); }
    void SetOggFormat(int32_t r, int32_t c, int32_t b, int32_t mn, int32_t mx, int16_t q) override {
        oggFormats.push_back({r, c, b, mn, mx, q});
    }
    void SetWavFormat(int32_t r, int32_t c, int32_t b) override { wavFormats.push_back({r, c, b}); }
    void SetWmaProfile(int32_t p) override { real.SetWmaProfile(p); }
    int32_t WmaProfile() const override { return real.WmaProfile(); }
    QString Mp3FormatDescription() const override { return "mp3"; }
    QString OggFormatDescription() const override { return "ogg"; }
    QString WavFormatDescription() const override { return "wav"; }
    QString WmaProfileDescription() const override { return real.WmaProfileDescription(); }
    void ConvertToMp3(const QString&, const QString&) override {}
    void ConvertToOgg(const QString&, const QString&) override {}
    void ConvertToWav(const QString&, const QString&) override {}
    void ConvertToWma(const QString&, const QString&) override {}
    void StopConversion() override {}
    IAudioConvertLameMp3Encoder& Mp3Encoder() override { return encoder; }
    void SetCreationSetting(int32_t) override {}
};

} // namespace

TEST(ApplyOutputFormat, Mp3WritesEveryPropertyInOrderThenTheFormat) {
    RecordingConvert c;
    EncoderSettings s = firstStart();
    s.mp3.WriteVbrHeader = true;
    s.mp3.AbrBitrate = 0x10000 + 200; // only the low 16 bits reach the encoder
    s.mp3.Preset = 3;
    EXPECT_EQ(ApplyOutputFormat(c, s, OutFormat::Mp3), "mp3");
    const std::vector<std::string> order{
        "Mp3SampleRate",  "Mp3ChannelMode",   "Mp3Bitrate",   "Mp3EncoderQuality", "HighpassFrequency",
        "HighpassWidth",  "LowpassFrequency", "LowpassWidth", "VbrMethod",         "VbrBitrate",
        "WriteVbrHeader", "StrictMinBitrate", "VbrQuality",   "AbrBitrate"};
    EXPECT_EQ(c.encoder.writes, order);
    EXPECT_EQ(c.encoder.header, -1);
    EXPECT_EQ(c.encoder.strict, 0);
    EXPECT_EQ(c.encoder.abr, 200);
    ASSERT_EQ(c.mp3Formats.size(), 1u);
    EXPECT_EQ(c.mp3Formats[0], (std::vector<int>{44100, 256, 2}));
}

TEST(ApplyOutputFormat, OggVbrPassesQualityMinusOne) {
    RecordingConvert c;
    EncoderSettings s = firstStart();
    s.ogg.OggQuality = 500;
    s.OggVbr = true;
    s.OggMinBitrate = 96;
    s.OggMaxBitrate = 160;
    EXPECT_EQ(ApplyOutputFormat(c, s, OutFormat::Ogg), "ogg");
    s.OggVbr = false;
    ApplyOutputFormat(c, s, OutFormat::Ogg);
    ASSERT_EQ(c.oggFormats.size(), 2u);
    EXPECT_EQ(c.oggFormats[0], (std::vector<int>{44100, 2, 256, 96, 160, -1}));
    EXPECT_EQ(c.oggFormats[1], (std::vector<int>{44100, 2, 256, 0, 0, 500}));
}

TEST(ApplyOutputFormat, WavAndWma) {
    RecordingConvert c;
    EncoderSettings s = firstStart();
    s.WavBitsPerSample = 8;
    s.WavChannels = 1;
    s.WavSampleRate = 22050;
    EXPECT_EQ(ApplyOutputFormat(c, s, OutFormat::Wav), "wav");
    EXPECT_EQ(c.wavFormats.at(0), (std::vector<int>{22050, 1, 8}));
    s.WmaQuality = 3;
    const QString description = ApplyOutputFormat(c, s, OutFormat::Wma);
    EXPECT_EQ(c.real.WmaProfile(), 3);
    EXPECT_FALSE(description.isEmpty());
    s.WmaQuality = 0;
    EXPECT_ANY_THROW(ApplyOutputFormat(c, s, OutFormat::Wma));
}

TEST(ReadBackEncoder, TakesAPresetsValues) {
    TAudioConvert c;
    c.Mp3Encoder().ApplyPreset(1); // "Phone"
    Mp3Settings m = firstStart().mp3;
    ReadBackEncoder(c.Mp3Encoder(), m, 1, 4);
    EXPECT_EQ(m.Mp3SampleRate, 8000);
    EXPECT_EQ(m.Mp3ChannelMode, 1);
    EXPECT_EQ(m.Mp3Bitrate, 16);
    EXPECT_EQ(m.LowpassFrequency, 3200);
    EXPECT_EQ(m.HighpassFrequency, 260);
    EXPECT_EQ(m.VbrMethod, -1);
    EXPECT_FALSE(m.WriteVbrHeader);
    EXPECT_EQ(m.Preset, 1);
    EXPECT_EQ(m.AltPreset, 4);
    c.Mp3Encoder().ApplyAltPreset(1);
    ReadBackEncoder(c.Mp3Encoder(), m, 1, 1);
    EXPECT_TRUE(m.WriteVbrHeader);
    EXPECT_EQ(m.VbrMethod, 2);
}
