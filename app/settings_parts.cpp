#include "app/settings_parts.h"

#include "app/inspector.h"
#include "app/quality_controller.h"
#include "app/tfrm_main.h"
#include "app/user_interface.h"

#include <memory>

namespace quillotone {

void AddSettingsParts(MainWindowParts& parts) {
    // The window makes the inspector first, then the controller, and frees them the other way round.
    auto inspector = std::make_shared<Inspector*>(nullptr);
    auto reporter = [](TfrmMain& w) { return [&w](const QString& text) { ShowError(w.Ui(), &w, text); }; };
    parts.createInspector = [inspector, reporter](TfrmMain& w) -> std::unique_ptr<IInspector> {
        IAudioConvertLameMp3Encoder* encoder = w.Convert() ? &w.Convert()->Mp3Encoder() : nullptr;
        auto made = std::make_unique<Inspector>(w.Settings(), encoder, reporter(w));
        *inspector = made.get();
        return made;
    };
    parts.createQualityChoices = [inspector, reporter](TfrmMain& w) -> std::unique_ptr<IQualityChoices> {
        if (!*inspector) return nullptr;
        return std::make_unique<QualityController>(*w.cmboutFormat, *w.cmbQuality, *w.spQuality, **inspector,
                                                   w.Settings(), w.Convert(), reporter(w));
    };
}

} // namespace quillotone
