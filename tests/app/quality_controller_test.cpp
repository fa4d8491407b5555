// The quality drop-down's controller on real combo boxes, the inspector and the real conversion
// component: picks, the status pane, the preset re-applied, and outputs that match the pick.
#include "app/inspector.h"
#include "app/quality_controller.h"
#include "common/first_start_settings.h"
#include "common/test_files.h"
#include "conversion/conversion_helpers.h"
#include "conversion/convert_component.h"
#include "conversion/encoder_lists.h"
#include "conversion/quality_choices.h"
#include "conversion/wma_profiles.h"

#include <QComboBox>
#include <QLabel>
#include <gtest/gtest.h>

using namespace quillotone;
using testutil::Target;

namespace {

using testutil::firstStart;

class QualityTest : public ::testing::Test {
protected:
    EncoderSettings settings = firstStart();
    TAudioConvert convert;
    QComboBox cmboutFormat, cmbQuality;
    QLabel spQuality;
    Inspector inspector{settings, &convert.Mp3Encoder()};
    QualityController quality{cmboutFormat, cmbQuality, spQuality, inspector, settings, &convert};

    explicit QualityTest(bool withWma = true) {
        for (const char* name : OutFormatNames)
            cmboutFormat.addItem(name);
        if (withWma) {
            QStringList wma;
            ReadWmaQualities(convert, wma);
            inspector.SetWmaQualities(wma);
        }
        inspector.ShowSettings();
    }
    void format(int index) {
        cmboutFormat.setCurrentIndex(index);
        quality.cmboutFormatChange();
    }
    void format(OutFormat f) { format(int(f)); }
    void pick(const QString& text) {
        const int i = cmbQuality.findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        cmbQuality.setCurrentIndex(i);
        emit cmbQuality.activated(i);
    }
};

} // namespace

TEST_F(QualityTest, FormatChangeFillsSelectsAndShowsTheDescription) {
    format(OutFormat::Mp3);
    EXPECT_EQ(cmbQuality.count(), 41);
    EXPECT_EQ(cmbQuality.currentText(), "256 kbit/s");
    EXPECT_EQ(spQuality.text(), "Quality: " + convert.Mp3FormatDescription());
    EXPECT_EQ(convert.Mp3Encoder().Mp3Bitrate(), 256);
    format(OutFormat::Wav);
    EXPECT_EQ(cmbQuality.count(), 36);
    EXPECT_EQ(cmbQuality.currentText(), "16-bit Stereo 44,100Hz (CD-Quality)");
    EXPECT_EQ(spQuality.text(), "Quality: " + convert.WavFormatDescription());
    format(OutFormat::Wma);
    EXPECT_EQ(cmbQuality.count(), 47);
    EXPECT_EQ(cmbQuality.currentIndex(), 0);
    EXPECT_EQ(convert.WmaProfile(), 1);
    format(OutFormat::Ogg);
    EXPECT_EQ(cmbQuality.count(), 25);
    EXPECT_EQ(cmbQuality.currentText(), "256 kbit/s");
    // No format selected: an empty list and nothing applied.
    format(-1);
    EXPECT_EQ(cmbQuality.count(), 0);
    EXPECT_EQ(spQuality.text(), "Quality: ");

    settings.mp3.VbrMethod = 4;
    settings.mp3.AbrBitrate = 100;
    inspector.ShowSettings();
    format(OutFormat::Mp3);
    EXPECT_EQ(cmbQuality.currentIndex(), -1);
}

TEST_F(QualityTest, CdQualitySetsTheFieldsAndThePane) {
    settings.mp3.VbrMethod = 2;
    inspector.ShowSettings();
    format(OutFormat::Mp3);
    pick("CD-Quality");
    EXPECT_EQ(settings.mp3.Mp3SampleRate, 44100);
    EXPECT_EQ(settings.mp3.Mp3ChannelMode, 2);
    EXPECT_EQ(settings.mp3.Mp3Bitrate, 128);
    EXPECT_EQ(settings.mp3.Mp3EncoderQuality, 2);
    EXPECT_EQ(settings.mp3.VbrMethod, -1);
    EXPECT_EQ(inspector.cmbCodingMethod->text(), "None");
    EXPECT_EQ(inspector.cmbMp3bitrate->text(), "128");
    EXPECT_EQ(cmbQuality.currentText(), "CD-Quality");
    EXPECT_EQ(convert.Mp3Encoder().Mp3Bitrate(), 128);
    EXPECT_EQ(spQuality.text(), "Quality: " + convert.Mp3FormatDescription());
    EXPECT_TRUE(spQuality.text().contains("128 kbit/s CBR"));
}

TEST_F(QualityTest, APresetOnShowIsAppliedAgain) {
    inspector.cmbPresetSelect(9); // "CD": 192 kbit/s
    format(OutFormat::Mp3);
    EXPECT_EQ(cmbQuality.currentText(), "Preset: CD");
    pick("64 kbit/s");
    EXPECT_EQ(cmbQuality.currentText(), "64 kbit/s");
    EXPECT_EQ(settings.mp3.Mp3Bitrate, 192);
    EXPECT_EQ(convert.Mp3Encoder().Mp3Bitrate(), 192);
    pick("Preset: Phone");
    EXPECT_EQ(settings.mp3.Preset, 1);
    EXPECT_EQ(settings.mp3.Mp3SampleRate, 8000);
    EXPECT_EQ(inspector.cmbPreset->text(), "Phone");
}

namespace {
class NoWmaTest : public QualityTest {
protected:
    NoWmaTest() : QualityTest(false) {}
};
} // namespace

TEST_F(NoWmaTest, EmptyWmaListLeavesTheDropDownEmpty) {
    format(OutFormat::Wma);
    EXPECT_EQ(cmbQuality.count(), 0);
    EXPECT_EQ(cmbQuality.currentIndex(), -1);
    emit cmbQuality.activated(-1); // nothing selected: nothing happens
    EXPECT_EQ(settings.WmaQuality, 1);
}

TEST(QualityAlone, ComponentErrorIsReportedNotThrown) {
    EncoderSettings s = firstStart();
    s.WmaQuality = 99;
    TAudioConvert convert;
    QComboBox out, q;
    QLabel pane;
    out.addItems({"a", "b", "c", "d"});
    QStringList reported;
    Inspector inspector(s, &convert.Mp3Encoder());
    QualityController quality(out, q, pane, inspector, s, &convert,
                              [&](const QString& text) { reported << text; });
    out.setCurrentIndex(int(OutFormat::Wma));
    quality.cmboutFormatChange();
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("99"));
    EXPECT_EQ(pane.text(), "");
}

// A pick, converted by the real component, gives what it says.
struct EndToEnd {
    OutFormat format;
    const char* entry;
    Target target;
    const char* ext;
    const char* codec;
    int rate, channels;
    int64_t minBitRate, maxBitRate;
};

TEST_F(QualityTest, PickedQualitiesConvertToMatchingFiles) {
    testutil::TempDir dir;
    const auto src = dir / "src.wav";
    // Noise, so that the average-bitrate encoders have something to spend their bits on.
    const auto made =
        testutil::run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                       "anoisesrc=d=2:c=pink:r=44100:a=0.3", "-ac", "2", "-c:a", "pcm_s16le", src.string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    int wmaProfile = 0;
    for (int p = 1; p <= WmaProfileCount && !wmaProfile; ++p) {
        const WmaProfileInfo* info = FindWmaProfile(p);
        if (info && info->sampleRate == 44100 && info->channels == 2 && info->bitrateKbps >= 64)
            wmaProfile = p;
    }
    ASSERT_GT(wmaProfile, 0);
    const WmaProfileInfo wma = *FindWmaProfile(wmaProfile);
    const EndToEnd cases[] = {
        {OutFormat::Mp3, "CD-Quality", Target::Mp3, "mp3", "mp3", 44100, 2, 120000, 136000},
        {OutFormat::Mp3, "VBR-Quality Level 2", Target::Mp3, "mp3", "mp3", 44100, 2, 64000, 320000},
        {OutFormat::Mp3, "ABR -200 kbit/s", Target::Mp3, "mp3", "mp3", 44100, 2, 150000, 260000},
        {OutFormat::Ogg, "VBR Quality 5(160 kbit/s)", Target::Ogg, "ogg", "vorbis", 44100, 2, 120000, 200000},
        {OutFormat::Wav, "8-bit Mono 11,025Hz", Target::Wav, "wav", "pcm_u8", 11025, 1, 88200, 88200},
        {OutFormat::Wma, nullptr, Target::Wma, "wma", "wmav2", wma.sampleRate, wma.channels,
         wma.bitrateKbps * 1000 * 7 / 10, wma.bitrateKbps * 1000 * 13 / 10},
    };
    int n = 0;
    for (const EndToEnd& c : cases) {
        format(c.format);
        const QString entry = c.entry ? QString(c.entry) : cmbQuality.itemText(wmaProfile - 1);
        pick(entry);
        SCOPED_TRACE(entry.toStdString());
        const auto out = dir / ("out" + std::to_string(n++) + "." + c.ext);
        const auto ev = testutil::convertAndWait(convert, c.target, src.string(), out.string());
        ASSERT_EQ(ev.result(), 0);
        ASSERT_FALSE(ev.timedOut);
        const testutil::ProbeInfo p = testutil::probe(out);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.codec, c.codec);
        EXPECT_EQ(p.sampleRate, c.rate);
        EXPECT_EQ(p.channels, c.channels);
        EXPECT_GE(p.bitRate, c.minBitRate);
        EXPECT_LE(p.bitRate, c.maxBitRate);
    }
    EXPECT_EQ(settings.WmaQuality, wmaProfile);
}
