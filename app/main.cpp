// Quillotone: a batch audio converter with a tag editor.
#include "app/application.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/settings_parts.h"
#include "app/settings_store.h"
#include "app/user_interface.h"
#include "app/window_run.h"
#include "app/window_tag_editor.h"
#include "conversion/convert_component.h"
#include "conversion/information_component.h"

using namespace quillotone;

int main(int argc, char** argv) {
    // Decided before any application object exists: a run without the window needs no display.
    if (IsConsoleRun(argc, argv)) return ConsoleMain(argc, argv);

    TApplication app(argc, argv);

    QtUserInterface ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::make_unique<TAudioConvert>(); };
    parts.createFurtherConvert = [] { return std::make_unique<TAudioConvert>(); };
    parts.createInformation = [] { return std::make_unique<TAudioInformation2>(); };
    AddSettingsParts(parts);
    AddRunPart(parts);
    AddTagEditorPart(parts);
    // The help file lies beside the executable, whatever the current folder is.
    TfrmMain window(
        ui, UserSettingsStore(), QCoreApplication::applicationDirPath(),
        ProductLinks{QStringLiteral(QUILLOTONE_HOMEPAGE), QStringLiteral(QUILLOTONE_SUPPORT_EMAIL)},
        std::move(parts));
    window.show();
    // "Open with" and a desktop entry's %F: the paths after the options Qt took.
    QStringList paths = QCoreApplication::arguments().mid(1);
    paths.removeAll(QStringLiteral("--"));
    OpenPaths(window, paths);
    return app.exec();
}
