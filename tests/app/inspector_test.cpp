// The property grid and the encoder settings inspector, offscreen: layout, the transfers both
// ways with their fall-backs, the enabling rules and the presets.
#include "app/inspector.h"
#include "common/first_start_settings.h"
#include "conversion/convert_component.h"
#include "conversion/quality_choices.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace quillotone;

namespace {

using testutil::firstStart;

std::string captionsUnder(const PropertyItem& group) {
    std::string out;
    QTreeWidgetItem* t = group.treeItem();
    for (int i = 0; i < t->childCount(); ++i)
        out += (i ? "|" : "") + t->child(i)->text(0).toStdString();
    return out;
}

class InspectorTest : public ::testing::Test {
protected:
    EncoderSettings settings = firstStart();
    TAudioConvert convert;
    Inspector inspector{settings, &convert.Mp3Encoder()};

    InspectorTest() {
        QStringList wma;
        ReadWmaQualities(convert, wma);
        inspector.SetWmaQualities(wma);
        inspector.ShowSettings();
    }
    // As the user picks an entry.
    void pick(PropertyItem* item, int index) {
        auto* combo = static_cast<QComboBox*>(item->editor());
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
};

} // namespace

TEST_F(InspectorTest, GroupsAndItemsInOrder) {
    PropertyGrid& g = inspector.Grid();
    ASSERT_EQ(g.topLevelItemCount(), 4);
    EXPECT_EQ(g.topLevelItem(0)->text(0), "MP3 Quality");
    EXPECT_EQ(g.topLevelItem(1)->text(0), "Ogg Quality");
    EXPECT_EQ(g.topLevelItem(2)->text(0), "Wav Quality");
    EXPECT_EQ(g.topLevelItem(3)->text(0), "Wma Quality");
    EXPECT_EQ(captionsUnder(*g.group("MP3 Quality")), "General|Filtering|VBR|Presets");
    EXPECT_EQ(captionsUnder(*g.group("General")),
              "Sampling Frequency (Hz)|Channels Mode|Bitrate (kbit)|Encoder Quality");
    EXPECT_EQ(captionsUnder(*g.group("Filtering")),
              "Highpass filtering frequency (in Hz)|Width of Highpass filter(in Hz)|"
              "Lowpass filtering frequency (in Hz)|Width of Lowpass filter(in Hz)");
    EXPECT_EQ(captionsUnder(*g.group("VBR")),
              "Coding Method|VBR bitrate (kbit)|Write VBR Header|"
              "Strictly enforce minimum bitrate|VBR Quality|Target bitrate for ABR");
    EXPECT_EQ(captionsUnder(*g.group("Presets")), "Preset|Alt-Preset");
    EXPECT_EQ(captionsUnder(*g.group("Ogg Quality")),
              "Frequency (Hz)|Channels|Bitrate|VBR|Quality (Compression)");
    EXPECT_EQ(captionsUnder(*inspector.chkOggVBR), "Min Bitrate (kbit)|Max Bitrate (kbit)");
    EXPECT_EQ(captionsUnder(*inspector.chkoggQuality), "Encoder Quality");
    EXPECT_EQ(captionsUnder(*g.group("Wav Quality")), "Frequency (Hz)|Channels|Sample size (bits)");
    EXPECT_EQ(captionsUnder(*g.group("Wma Quality")), "Quality");

    EXPECT_EQ(inspector.cmbWavFrequency->entries().join(","),
              "48000,44100,32000,24000,22050,16000,11025,8000,6000");
    EXPECT_EQ(inspector.cmbAltPreset->entries().join(","),
              "None,Fast Standard,Standard,Fast Extreme,Extrene,Insane");
    EXPECT_EQ(inspector.cmbWmaQuality->entries().size(), WmaProfileCount);
    EXPECT_FALSE(static_cast<QComboBox*>(inspector.cmbMp3samrate->editor())->isEditable());
    EXPECT_EQ(inspector.spLowfre->step(), 10);
    EXPECT_EQ(inspector.spMp3Abr->minimum(), 10);
    EXPECT_EQ(inspector.spMp3Abr->maximum(), 310);
    EXPECT_EQ(inspector.tbOggEncodeQuality->maximum(), 1000);

    inspector.CollapseAll();
    inspector.Expand(OutFormat::Ogg);
    EXPECT_FALSE(g.topLevelItem(0)->isExpanded());
    EXPECT_TRUE(g.topLevelItem(1)->isExpanded());
}

TEST_F(InspectorTest, ListValuedNumbersSelectTheirEntry) {
    settings.mp3.Mp3SampleRate = 12000;
    settings.mp3.Mp3Bitrate = 8;
    settings.WmaQuality = 1;
    inspector.ShowSettings();
    EXPECT_EQ(inspector.cmbMp3samrate->text(), "12000");
    EXPECT_EQ(inspector.cmbMp3bitrate->text(), "8");
    EXPECT_EQ(inspector.cmbMp3bitrate->index(), 0);
    EXPECT_EQ(inspector.cmbWmaQuality->index(), 0);

    // No entry of that number: the old text stays on show and reads back.
    settings.mp3.Mp3SampleRate = 12345;
    inspector.ShowSettings();
    EXPECT_EQ(inspector.cmbMp3samrate->index(), -1);
    EXPECT_EQ(inspector.cmbMp3samrate->text(), "12000");
    inspector.ReadInspector();
    EXPECT_EQ(settings.mp3.Mp3SampleRate, 12000);
}

TEST_F(InspectorTest, ShowAndReadRoundTrip) {
    EncoderSettings s = firstStart();
    s.mp3 = {22050, 1, 96, 3, 120, 40, 16000, 700, 4, 224, true, true, 2, 210, 0, 0};
    s.ogg = {32000, 1, 112, 650};
    s.OggMinBitrate = 64;
    s.OggMaxBitrate = 192;
    s.WavBitsPerSample = 8;
    s.WavChannels = 1;
    s.WavSampleRate = 6000;
    s.WmaQuality = 47;
    settings = s;
    inspector.ShowSettings();
    EXPECT_EQ(inspector.chkMp3writeVBR->text(), "True");
    EXPECT_EQ(inspector.chkStrictlyenforce->text(), "True");
    settings = firstStart();
    inspector.ReadInspector();
    EXPECT_EQ(settings.mp3.Mp3SampleRate, 22050);
    EXPECT_EQ(settings.mp3.Mp3ChannelMode, 1);
    EXPECT_EQ(settings.mp3.Mp3Bitrate, 96);
    EXPECT_EQ(settings.mp3.Mp3EncoderQuality, 3);
    EXPECT_EQ(settings.mp3.HighpassFrequency, 120);
    EXPECT_EQ(settings.mp3.LowpassWidth, 700);
    EXPECT_EQ(settings.mp3.VbrMethod, 4);
    EXPECT_EQ(settings.mp3.VbrBitrate, 224);
    EXPECT_TRUE(settings.mp3.WriteVbrHeader);
    EXPECT_TRUE(settings.mp3.StrictMinBitrate);
    EXPECT_EQ(settings.mp3.VbrQuality, 2);
    EXPECT_EQ(settings.mp3.AbrBitrate, 210);
    EXPECT_EQ(settings.ogg.OggSampleRate, 32000);
    EXPECT_EQ(settings.ogg.OggChannels, 1);
    EXPECT_EQ(settings.ogg.OggBitrate, 112);
    EXPECT_EQ(settings.ogg.OggQuality, 650);
    EXPECT_EQ(settings.OggMinBitrate, 64);
    EXPECT_EQ(settings.OggMaxBitrate, 192);
    EXPECT_EQ(settings.WavBitsPerSample, 8);
    EXPECT_EQ(settings.WavChannels, 1);
    EXPECT_EQ(settings.WavSampleRate, 6000);
    EXPECT_EQ(settings.WmaQuality, 47);
}

TEST_F(InspectorTest, SpinTextsFallBack) {
    struct {
        PropertyItem* item;
        int32_t Mp3Settings::*field;
        int32_t fallback;
    } spins[] = {
        {inspector.spHighFre, &Mp3Settings::HighpassFrequency, 30},
        {inspector.spWidHigh, &Mp3Settings::HighpassWidth, 5},
        {inspector.spLowfre, &Mp3Settings::LowpassFrequency, 15160},
        {inspector.spWidlow, &Mp3Settings::LowpassWidth, 750},
        {inspector.spMp3vbrQuality, &Mp3Settings::VbrQuality, 7},
        {inspector.spMp3Abr, &Mp3Settings::AbrBitrate, 128},
    };
    for (const char* text : {"", "abc", "12x", " "}) {
        for (auto& s : spins) {
            s.item->setText(text);
            settings.mp3.*s.field = -99;
        }
        inspector.ReadInspector();
        for (auto& s : spins)
            EXPECT_EQ(settings.mp3.*s.field, s.fallback)
                << s.item->name().toStdString() << " '" << text << "'";
    }
    inspector.spHighFre->setText(" 440 ");
    inspector.ReadInspector();
    EXPECT_EQ(settings.mp3.HighpassFrequency, 440);
}

TEST_F(InspectorTest, SpinStepsAndBringsTypedNumbersIntoRange) {
    auto* spin = static_cast<SpinEdit*>(inspector.spHighFre->editor());
    spin->setValueText("100");
    spin->stepBy(1);
    EXPECT_EQ(inspector.spHighFre->text(), "110");
    spin->setValueText("47995");
    spin->stepBy(1);
    EXPECT_EQ(inspector.spHighFre->text(), "48000");
    auto* abr = static_cast<SpinEdit*>(inspector.spMp3Abr->editor());
    abr->setValueText("70000");
    emit abr->editingFinished();
    EXPECT_EQ(inspector.spMp3Abr->text(), "310");
    abr->setValueText("words");
    emit abr->editingFinished();
    EXPECT_EQ(inspector.spMp3Abr->text(), "words"); // read later as its fallback
}

TEST_F(InspectorTest, EnablingRules) {
    pick(inspector.cmbCodingMethod, 0); // "None"
    for (PropertyItem* i : {inspector.cmbMp3vbrbitrate, inspector.chkMp3writeVBR,
                            inspector.chkStrictlyenforce, inspector.spMp3vbrQuality, inspector.spMp3Abr})
        EXPECT_FALSE(i->isEnabled()) << i->name().toStdString();
    pick(inspector.cmbCodingMethod, 5); // "ABR"
    EXPECT_TRUE(inspector.spMp3Abr->isEnabled());
    EXPECT_FALSE(inspector.spMp3vbrQuality->isEnabled());
    EXPECT_TRUE(inspector.cmbMp3vbrbitrate->isEnabled());
    EXPECT_TRUE(inspector.spMp3Abr->editor()->isEnabled());
    for (int method = 1; method <= 4; ++method) {
        pick(inspector.cmbCodingMethod, method);
        EXPECT_TRUE(inspector.spMp3vbrQuality->isEnabled());
        EXPECT_FALSE(inspector.spMp3Abr->isEnabled());
    }

    settings.OggVbr = false;
    inspector.ShowSettings();
    EXPECT_FALSE(inspector.cmbMinbitrate->isEnabled());
    EXPECT_FALSE(inspector.cmbMaxbitrate->editor()->isEnabled());
    static_cast<QAbstractButton*>(inspector.chkOggVBR->editor())->click();
    EXPECT_EQ(inspector.chkOggVBR->text(), "True");
    EXPECT_TRUE(inspector.cmbMinbitrate->isEnabled());
    EXPECT_TRUE(inspector.cmbMaxbitrate->isEnabled());

    EXPECT_FALSE(inspector.tbOggEncodeQuality->isEnabled()); // OggQuality -1
    static_cast<QAbstractButton*>(inspector.chkoggQuality->editor())->click();
    EXPECT_TRUE(inspector.tbOggEncodeQuality->isEnabled());
}

TEST_F(InspectorTest, OggQualityOffReadsMinusOneAndKeepsTheSlider) {
    settings.ogg.OggQuality = 420;
    inspector.ShowSettings();
    EXPECT_EQ(inspector.chkoggQuality->text(), "True");
    EXPECT_EQ(inspector.tbOggEncodeQuality->position(), 420);
    inspector.ReadInspector();
    EXPECT_EQ(settings.ogg.OggQuality, 420);

    static_cast<QAbstractButton*>(inspector.chkoggQuality->editor())->click();
    inspector.ReadInspector();
    EXPECT_EQ(settings.ogg.OggQuality, -1);
    inspector.ShowSettings();
    EXPECT_EQ(inspector.tbOggEncodeQuality->position(), 420);
    EXPECT_EQ(inspector.chkoggQuality->text(), "False");
}

TEST_F(InspectorTest, PresetNoneChangesNothing) {
    convert.Mp3Encoder().ApplyPreset(9);
    const LameSettings encoderBefore = static_cast<TLameMp3Encoder&>(convert.Mp3Encoder()).Settings();
    settings.mp3.Mp3Bitrate = 64;
    inspector.ShowSettings();
    pick(inspector.cmbPreset, 0);
    pick(inspector.cmbAltPreset, 0);
    EXPECT_EQ(static_cast<TLameMp3Encoder&>(convert.Mp3Encoder()).Settings(), encoderBefore);
    EXPECT_EQ(settings.mp3.Mp3Bitrate, 64);
    EXPECT_EQ(inspector.cmbMp3bitrate->text(), "64");
}

TEST_F(InspectorTest, PresetsReadTheEncoderBackAndAltPresetKeepsPreset) {
    pick(inspector.cmbPreset, 1); // "Phone"
    EXPECT_EQ(settings.mp3.Mp3SampleRate, 8000);
    EXPECT_EQ(settings.mp3.Mp3Bitrate, 16);
    EXPECT_EQ(settings.mp3.Mp3ChannelMode, 1);
    EXPECT_EQ(settings.mp3.Preset, 1);
    EXPECT_EQ(inspector.cmbMp3samrate->text(), "8000");
    EXPECT_EQ(inspector.cmbMp3Channel->text(), "Mono");
    EXPECT_EQ(inspector.spLowfre->text(), "3200");

    pick(inspector.cmbAltPreset, 3); // "Fast Extreme"
    EXPECT_EQ(inspector.cmbPreset->text(), "Phone");
    EXPECT_EQ(inspector.cmbAltPreset->text(), "Fast Extreme");
    EXPECT_EQ(settings.mp3.Preset, 1);
    EXPECT_EQ(settings.mp3.AltPreset, 3);
    EXPECT_EQ(settings.mp3.VbrMethod, 2);
    EXPECT_EQ(settings.mp3.VbrQuality, 0);
    EXPECT_EQ(inspector.cmbCodingMethod->text(), "New");
    EXPECT_TRUE(inspector.spMp3vbrQuality->isEnabled());
}

TEST(InspectorAlone, WithoutComponentOrWmaListNothingBreaks) {
    EncoderSettings s = firstStart();
    Inspector inspector(s, nullptr);
    inspector.ShowSettings();
    inspector.cmbPresetSelect(2);
    EXPECT_EQ(s.mp3.Mp3SampleRate, 44100);
    EXPECT_TRUE(inspector.WmaQualities().isEmpty());
    inspector.ReadInspector();
    EXPECT_EQ(s.WmaQuality, 1); // an empty list keeps the stored profile
    EXPECT_EQ(s.mp3.Mp3ChannelMode, 2);
}
