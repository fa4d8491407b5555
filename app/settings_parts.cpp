#include "app/settings_parts.h"

#include "app/inspector.h"
#include "app/main_window.h"
#include "app/quality_controller.h"
#include "app/user_interface.h"

namespace quillotone {

void AddSettingsParts(MainWindowParts& parts) {
    auto reporter = [](TfrmMain& w) { return [&w](const QString& text) { ShowError(w.Ui(), &w, text); }; };
    parts.createInspector = [reporter](TfrmMain& w) -> std::unique_ptr<IInspector> {
        IAudioConvertLameMp3Encoder* encoder = w.Convert() ? &w.Convert()->Mp3Encoder() : nullptr;
        return std::make_unique<Inspector>(w.Settings(), encoder, reporter(w));
    };
    parts.createQualityChoices = [reporter](TfrmMain& w,
                                            IInspector& inspector) -> std::unique_ptr<IQualityChoices> {
        return std::make_unique<QualityController>(*w.cmboutFormat, *w.cmbQuality, *w.spQuality, inspector,
                                                   w.Settings(), w.Convert(), reporter(w));
    };
}

} // namespace quillotone
