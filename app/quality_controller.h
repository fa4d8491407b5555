// The quality drop-down below the tabs and the "Quality: " pane: rebuilds the list for the output
// format, applies a picked quality to the settings and the component, and selects the entry that
// matches the settings.
#pragma once

#include "app/window_parts.h"
#include "conversion/convert_interface.h"
#include "conversion/encoder_settings.h"
#include "conversion/output_format.h"

#include <QObject>

class QComboBox;
class QLabel;

namespace quillotone {

class QualityController final : public QObject, public IQualityChoices {
    Q_OBJECT
public:
    // Connects itself to the user's picks in `cmbQuality`; the window calls cmboutFormatChange.
    // `convert` may be null: nothing is applied and the pane shows no description. Without a
    // report, component errors are thrown on.
    QualityController(QComboBox& cmboutFormat, QComboBox& cmbQuality, QLabel& spQuality,
                      IInspector& inspector, EncoderSettings& settings, IAudioConvert* convert,
                      ErrorReport report = {});

    void cmboutFormatChange() override;
    void cmbQualityChange();
    void FillQualityList();
    void ApplyQualityChoice();
    void SelectQualityFromSettings();

private:
    std::optional<OutFormat> format() const;
    QString applyOutputFormat();
    void guarded(void (QualityController::*step)());

    QComboBox& cmboutFormat_;
    QComboBox& cmbQuality_;
    QLabel& spQuality_;
    IInspector& inspector_;
    EncoderSettings& settings_;
    IAudioConvert* convert_;
    ErrorReport report_;
};

} // namespace quillotone
