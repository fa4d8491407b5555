#include "app/inspector.h"

#include "conversion/encoder_apply.h"
#include "conversion/encoder_lists.h"

#include <exception>

namespace quillotone {

namespace {

void showNumber(PropertyItem* item, int32_t number) {
    item->setIndex(FindNumberEntry(item->entries(), number));
}

// A list with no selection leaves its field as it is: nothing the user picked is lost.
void readIndex(const PropertyItem* item, int32_t& field, int offset) {
    if (item->index() >= 0) field = item->index() + offset;
}

} // namespace

Inspector::Inspector(EncoderSettings& settings, IAudioConvertLameMp3Encoder* encoder, ErrorReport report)
    : settings_(settings), encoder_(encoder), report_(std::move(report)), grid_(new PropertyGrid) {
    grid_->setObjectName("Inspector");
    build();
    connect(grid_, &PropertyGrid::itemEdited, this, [this](PropertyItem* item) {
        try {
            edited(item);
        } catch (const std::exception& e) {
            if (!report_) throw;
            report_(QString::fromUtf8(e.what()));
        }
    });
}

Inspector::~Inspector() {
    delete grid_.data();
}

void Inspector::build() {
    PropertyGrid& g = *grid_;
    const QStringList& rates = Bitrates();

    PropertyItem& mp3 = g.addGroup("MP3 Quality");
    PropertyItem& general = g.addGroup("General", &mp3);
    cmbMp3samrate = &g.addList(&general, "cmbMp3samrate", "Sampling Frequency (Hz)", Mp3SampleRates());
    cmbMp3Channel = &g.addList(&general, "cmbMp3Channel", "Channels Mode", ChannelModes());
    cmbMp3bitrate = &g.addList(&general, "cmbMp3bitrate", "Bitrate (kbit)", rates);
    tbMp3Encodequality = &g.addSlider(&general, "tbMp3Encodequality", "Encoder Quality", 0, 9);
    PropertyItem& filtering = g.addGroup("Filtering", &mp3);
    spHighFre = &g.addSpin(&filtering, "spHighFre", "Highpass filtering frequency (in Hz)", 0, 48000, 10);
    spWidHigh = &g.addSpin(&filtering, "spWidHigh", "Width of Highpass filter(in Hz)", 0, 48000, 10);
    spLowfre = &g.addSpin(&filtering, "spLowfre", "Lowpass filtering frequency (in Hz)", 0, 48000, 10);
    spWidlow = &g.addSpin(&filtering, "spWidlow", "Width of Lowpass filter(in Hz)", 0, 48000, 10);
    PropertyItem& vbr = g.addGroup("VBR", &mp3);
    cmbCodingMethod = &g.addList(&vbr, "cmbCodingMethod", "Coding Method", CodingMethods());
    cmbMp3vbrbitrate = &g.addList(&vbr, "cmbMp3vbrbitrate", "VBR bitrate (kbit)", rates);
    chkMp3writeVBR = &g.addCheck(&vbr, "chkMp3writeVBR", "Write VBR Header");
    chkStrictlyenforce = &g.addCheck(&vbr, "chkStrictlyenforce", "Strictly enforce minimum bitrate");
    spMp3vbrQuality = &g.addSpin(&vbr, "spMp3vbrQuality", "VBR Quality", 0, 9, 1);
    spMp3Abr = &g.addSpin(&vbr, "spMp3Abr", "Target bitrate for ABR", 10, 310, 1);
    PropertyItem& presets = g.addGroup("Presets", &mp3);
    cmbPreset = &g.addList(&presets, "cmbPreset", "Preset", PresetNames());
    cmbAltPreset = &g.addList(&presets, "cmbAltPreset", "Alt-Preset", AltPresetNames());

    PropertyItem& ogg = g.addGroup("Ogg Quality");
    cmbOggFrequency = &g.addList(&ogg, "cmbOggFrequency", "Frequency (Hz)", OggSampleRates());
    cmbOggchannel = &g.addList(&ogg, "cmbOggchannel", "Channels", ChannelModes());
    cmbOggbitrate = &g.addList(&ogg, "cmbOggbitrate", "Bitrate", rates);
    chkOggVBR = &g.addCheck(&ogg, "chkOggVBR", "VBR");
    cmbMinbitrate = &g.addList(chkOggVBR, "cmbMinbitrate", "Min Bitrate (kbit)", rates);
    cmbMaxbitrate = &g.addList(chkOggVBR, "cmbMaxbitrate", "Max Bitrate (kbit)", rates);
    chkoggQuality = &g.addCheck(&ogg, "chkoggQuality", "Quality (Compression)");
    tbOggEncodeQuality = &g.addSlider(chkoggQuality, "tbOggEncodeQuality", "Encoder Quality", 0, 1000);

    PropertyItem& wav = g.addGroup("Wav Quality");
    cmbWavFrequency = &g.addList(&wav, "cmbWavFrequency", "Frequency (Hz)", WavSampleRates());
    cmbWavChannel = &g.addList(&wav, "cmbWavChannel", "Channels", ChannelModes());
    cmbWavSamplesize = &g.addList(&wav, "cmbWavSamplesize", "Sample size (bits)", WavSampleSizes());

    PropertyItem& wma = g.addGroup("Wma Quality");
    cmbWmaQuality = &g.addList(&wma, "cmbWmaQuality", "Quality", {});

    groups_ = {&mp3, &ogg, &wav, &wma};
    g.expandAll();
}

void Inspector::SetWmaQualities(const QStringList& descriptions) {
    cmbWmaQuality->setEntries(descriptions);
}

void Inspector::CollapseAll() {
    grid_->collapseAll();
}

void Inspector::Expand(OutFormat format) {
    const auto group = size_t(format);
    if (group >= groups_.size()) return;
    QTreeWidgetItem* item = groups_[group]->treeItem();
    item->setExpanded(true);
    for (int i = 0; i < item->childCount(); ++i)
        item->child(i)->setExpanded(true);
}

void Inspector::cmbCodingMethodSelect() {
    const int method = cmbCodingMethod->index();
    const bool vbr = method != 0;
    cmbMp3vbrbitrate->setEnabled(vbr);
    chkMp3writeVBR->setEnabled(vbr);
    chkStrictlyenforce->setEnabled(vbr);
    spMp3vbrQuality->setEnabled(method >= 1 && method <= 4);
    spMp3Abr->setEnabled(method == 5);
}

void Inspector::chkOggVBRToolButtonClick() {
    const bool on = ReadBoolean(chkOggVBR->text());
    cmbMinbitrate->setEnabled(on);
    cmbMaxbitrate->setEnabled(on);
}

void Inspector::chkoggQualityToolButtonClick() {
    tbOggEncodeQuality->setEnabled(ReadBoolean(chkoggQuality->text()));
}

void Inspector::ShowSettings() {
    const Mp3Settings& m = settings_.mp3;
    showNumber(cmbMp3samrate, m.Mp3SampleRate);
    cmbMp3Channel->setIndex(m.Mp3ChannelMode - 1);
    showNumber(cmbMp3bitrate, m.Mp3Bitrate);
    tbMp3Encodequality->setPosition(m.Mp3EncoderQuality);
    spHighFre->setText(QString::number(m.HighpassFrequency));
    spWidHigh->setText(QString::number(m.HighpassWidth));
    spLowfre->setText(QString::number(m.LowpassFrequency));
    spWidlow->setText(QString::number(m.LowpassWidth));
    cmbCodingMethod->setIndex(m.VbrMethod + 1);
    cmbCodingMethodSelect();
    showNumber(cmbMp3vbrbitrate, m.VbrBitrate);
    chkMp3writeVBR->setChecked(m.WriteVbrHeader);
    chkStrictlyenforce->setChecked(m.StrictMinBitrate);
    spMp3vbrQuality->setText(QString::number(m.VbrQuality));
    spMp3Abr->setText(QString::number(m.AbrBitrate));
    cmbPreset->setIndex(m.Preset);
    cmbAltPreset->setIndex(m.AltPreset);

    const OggSettings& o = settings_.ogg;
    showNumber(cmbOggFrequency, o.OggSampleRate);
    cmbOggchannel->setIndex(o.OggChannels - 1);
    showNumber(cmbOggbitrate, o.OggBitrate);
    chkOggVBR->setChecked(settings_.OggVbr);
    chkOggVBRToolButtonClick();
    showNumber(cmbMinbitrate, settings_.OggMinBitrate);
    showNumber(cmbMaxbitrate, settings_.OggMaxBitrate);
    chkoggQuality->setChecked(o.OggQuality != -1);
    chkoggQualityToolButtonClick();
    // Quality off keeps the slider where it was.
    if (o.OggQuality != -1) tbOggEncodeQuality->setPosition(o.OggQuality);

    showNumber(cmbWavFrequency, settings_.WavSampleRate);
    cmbWavChannel->setIndex(settings_.WavChannels - 1);
    showNumber(cmbWavSamplesize, settings_.WavBitsPerSample);
    cmbWmaQuality->setIndex(settings_.WmaQuality - 1);
}

void Inspector::ReadInspector() {
    Mp3Settings& m = settings_.mp3;
    m.Mp3SampleRate = ReadNumber(cmbMp3samrate->text(), 44100);
    readIndex(cmbMp3Channel, m.Mp3ChannelMode, 1);
    m.Mp3Bitrate = ReadNumber(cmbMp3bitrate->text(), 128);
    m.Mp3EncoderQuality = tbMp3Encodequality->position();
    m.HighpassFrequency = ReadNumber(spHighFre->text(), 30);
    m.HighpassWidth = ReadNumber(spWidHigh->text(), 5);
    m.LowpassFrequency = ReadNumber(spLowfre->text(), 15160);
    m.LowpassWidth = ReadNumber(spWidlow->text(), 750);
    readIndex(cmbCodingMethod, m.VbrMethod, -1);
    m.VbrBitrate = ReadNumber(cmbMp3vbrbitrate->text(), 192);
    m.WriteVbrHeader = ReadBoolean(chkMp3writeVBR->text());
    m.StrictMinBitrate = ReadBoolean(chkStrictlyenforce->text());
    m.VbrQuality = ReadNumber(spMp3vbrQuality->text(), 7);
    m.AbrBitrate = ReadNumber(spMp3Abr->text(), 128);
    readIndex(cmbPreset, m.Preset, 0);
    readIndex(cmbAltPreset, m.AltPreset, 0);

    OggSettings& o = settings_.ogg;
    o.OggSampleRate = ReadNumber(cmbOggFrequency->text(), 44100);
    readIndex(cmbOggchannel, o.OggChannels, 1);
    o.OggBitrate = ReadNumber(cmbOggbitrate->text(), 128);
    settings_.OggVbr = ReadBoolean(chkOggVBR->text());
    settings_.OggMinBitrate = ReadNumber(cmbMinbitrate->text(), 128);
    settings_.OggMaxBitrate = ReadNumber(cmbMaxbitrate->text(), 128);
    o.OggQuality = chkoggQuality->text().compare("false", Qt::CaseInsensitive) == 0
                       ? -1
                       : tbOggEncodeQuality->position();

    settings_.WavSampleRate = ReadNumber(cmbWavFrequency->text(), 44100);
    readIndex(cmbWavChannel, settings_.WavChannels, 1);
    settings_.WavBitsPerSample = ReadNumber(cmbWavSamplesize->text(), 16);
    readIndex(cmbWmaQuality, settings_.WmaQuality, 1);
}

void Inspector::edited(PropertyItem* item) {
    if (item == cmbCodingMethod)
        cmbCodingMethodSelect();
    else if (item == chkOggVBR)
        chkOggVBRToolButtonClick();
    else if (item == chkoggQuality)
        chkoggQualityToolButtonClick();
    else if (item == cmbPreset)
        cmbPresetSelect(cmbPreset->index());
    else if (item == cmbAltPreset)
        cmbAltPresetSelect(cmbAltPreset->index());
}

void Inspector::cmbPresetSelect(int index) {
    pickPreset(index, false);
}

void Inspector::cmbAltPresetSelect(int index) {
    pickPreset(index, true);
}

void Inspector::pickPreset(int index, bool alt) {
    if (index <= 0 || !encoder_) return;
    if (alt)
        encoder_->ApplyAltPreset(index);
    else
        encoder_->ApplyPreset(index);
    // The other list keeps what it shows; a list showing nothing keeps its field.
    const int preset = alt ? cmbPreset->index() : index;
    const int altPreset = alt ? index : cmbAltPreset->index();
    ReadBackEncoder(*encoder_, settings_.mp3, preset >= 0 ? preset : settings_.mp3.Preset,
                    altPreset >= 0 ? altPreset : settings_.mp3.AltPreset);
    ShowSettings();
    (alt ? cmbAltPreset : cmbPreset)->setIndex(index);
}

} // namespace quillotone
