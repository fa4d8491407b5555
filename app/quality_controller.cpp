#include "app/quality_controller.h"

#include "conversion/encoder_apply.h"
#include "conversion/quality_choices.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <exception>

namespace quillotone {

QualityController::QualityController(QComboBox& cmboutFormat, QComboBox& cmbQuality, QLabel& spQuality,
                                     IInspector& inspector, EncoderSettings& settings, IAudioConvert* convert,
                                     ErrorReport report)
    : cmboutFormat_(cmboutFormat), cmbQuality_(cmbQuality), spQuality_(spQuality), inspector_(inspector),
      settings_(settings), convert_(convert), report_(std::move(report)) {
    // Only the user's picks: a selection made in code applies nothing.
    connect(&cmbQuality_, &QComboBox::activated, this,
            [this] { guarded(&QualityController::cmbQualityChange); });
}

void QualityController::guarded(void (QualityController::*step)()) {
    try {
        (this->*step)();
    } catch (const std::exception& e) {
        if (!report_) throw;
        report_(QString::fromUtf8(e.what()));
    }
}

std::optional<OutFormat> QualityController::format() const {
    return OutFormatAt(cmboutFormat_.currentIndex());
}

// Without a format (no selection in the drop-down) the list stays empty and nothing is applied.
QString QualityController::applyOutputFormat() {
    const auto f = format();
    return convert_ && f ? ApplyOutputFormat(*convert_, settings_, *f) : QString();
}

void QualityController::cmboutFormatChange() {
    // Called by the window, also during its creation: an error is reported, not thrown.
    auto steps = [this] {
        FillQualityList();
        const QString description = applyOutputFormat();
        SelectQualityFromSettings();
        spQuality_.setText(QualityStatusText(description));
    };
    try {
        steps();
    } catch (const std::exception& e) {
        if (!report_) throw;
        report_(QString::fromUtf8(e.what()));
    }
}

void QualityController::cmbQualityChange() {
    if (cmbQuality_.currentIndex() < 0) return;
    ApplyQualityChoice();
    spQuality_.setText(QualityStatusText(applyOutputFormat()));
}

void QualityController::FillQualityList() {
    const QSignalBlocker block(cmbQuality_);
    cmbQuality_.clear();
    if (const auto f = format()) cmbQuality_.addItems(QualityList(*f, inspector_.WmaQualities()));
    cmbQuality_.setCurrentIndex(-1);
}

void QualityController::ApplyQualityChoice() {
    if (const auto f = format())
        quillotone::ApplyQualityChoice(settings_, *f, cmbQuality_.currentIndex(), cmbQuality_.currentText());
    inspector_.ShowSettings();
    // A preset on show wins over the choice: it is applied again and its values read back.
    if (inspector_.ShownPreset() > 0) inspector_.cmbPresetSelect(inspector_.ShownPreset());
}

void QualityController::SelectQualityFromSettings() {
    QStringList entries;
    for (int i = 0; i < cmbQuality_.count(); ++i)
        entries << cmbQuality_.itemText(i);
    const auto f = format();
    const QSignalBlocker block(cmbQuality_);
    cmbQuality_.setCurrentIndex(
        f ? quillotone::SelectQualityFromSettings(settings_, *f, entries, inspector_.ShownPreset()) : -1);
}

} // namespace quillotone
