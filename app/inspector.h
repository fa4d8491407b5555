// The encoder settings inspector on the "Settings" tab: shows the window's EncoderSettings in a
// property grid, reads them back, keeps the enabling rules and applies the MP3 presets.
#pragma once

#include "app/property_grid.h"
#include "app/window_parts.h"
#include "conversion/convert_interface.h"
#include "conversion/encoder_settings.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace quillotone {

class Inspector final : public QObject, public IInspector {
    Q_OBJECT
public:
    // `encoder` may be null (no conversion component): presets then change nothing. Without a
    // report, errors of the preset handlers are thrown on.
    Inspector(EncoderSettings& settings, IAudioConvertLameMp3Encoder* encoder, ErrorReport report = {});
    ~Inspector() override;

    QWidget* Widget() override { return grid_; }
    PropertyGrid& Grid() { return *grid_; }
    void SetWmaQualities(const QStringList& descriptions) override;
    QStringList WmaQualities() const override { return cmbWmaQuality->entries(); }
    void ShowSettings() override;
    void ReadInspector() override;
    void CollapseAll() override;
    void Expand(OutFormat format) override;

    // The enabling rules.
    void cmbCodingMethodSelect();
    void chkOggVBRToolButtonClick();
    void chkoggQualityToolButtonClick();
    // A preset picked (from the list or by a quality choice); 0 changes nothing.
    void cmbPresetSelect(int index) override;
    void cmbAltPresetSelect(int index);
    int ShownPreset() const override { return cmbPreset->index(); }

    // The items, by their form names.
    PropertyItem* cmbMp3samrate;
    PropertyItem* cmbMp3Channel;
    PropertyItem* cmbMp3bitrate;
    PropertyItem* tbMp3Encodequality;
    PropertyItem* spHighFre;
    PropertyItem* spWidHigh;
    PropertyItem* spLowfre;
    PropertyItem* spWidlow;
    PropertyItem* cmbCodingMethod;
    PropertyItem* cmbMp3vbrbitrate;
    PropertyItem* chkMp3writeVBR;
    PropertyItem* chkStrictlyenforce;
    PropertyItem* spMp3vbrQuality;
    PropertyItem* spMp3Abr;
    PropertyItem* cmbPreset;
    PropertyItem* cmbAltPreset;
    PropertyItem* cmbOggFrequency;
    PropertyItem* cmbOggchannel;
    PropertyItem* cmbOggbitrate;
    PropertyItem* chkOggVBR;
    PropertyItem* cmbMinbitrate;
    PropertyItem* cmbMaxbitrate;
    PropertyItem* chkoggQuality;
    PropertyItem* tbOggEncodeQuality;
    PropertyItem* cmbWavFrequency;
    PropertyItem* cmbWavChannel;
    PropertyItem* cmbWavSamplesize;
    PropertyItem* cmbWmaQuality;

private:
    void build();
    void edited(PropertyItem* item);
    void pickPreset(int index, bool alt);

    EncoderSettings& settings_;
    IAudioConvertLameMp3Encoder* encoder_;
    ErrorReport report_;
    // The window takes the grid into its layout and may delete it first.
    QPointer<PropertyGrid> grid_;
    std::vector<PropertyItem*> groups_;
};

} // namespace quillotone
