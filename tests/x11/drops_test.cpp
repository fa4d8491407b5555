// Dialogs that a drop shows while the main window is disabled: each must be enabled, and close with
// a click, on a real desktop.
#include "app/load_dialog.h"
#include "app/main_window.h"
#include "app/user_interface.h"
#include "common/test_files.h"
#include "conversion/component_error.h"
#include "conversion/convert_component.h"
#include "conversion/information_component.h"
#include "real_x.h"

#include <QPushButton>
#include <QTableView>
#include <memory>

namespace {

using namespace quillotone;
namespace fs = std::filesystem;
using realx::qpath;

class Drops : public ::testing::Test {
protected:
    testutil::TempDir dir;
    QtUserInterface ui;
    MainWindowParts parts;
    std::unique_ptr<TfrmMain> win;

    Drops() {
        parts.createConvert = [] {
            return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>());
        };
        parts.createInformation = [] {
            return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
        };
    }
    void open() {
        win = std::make_unique<TfrmMain>(ui, SettingsStore(qpath(dir / "settings" / "Quillotone.conf")),
                                         qpath(dir.path()), ProductLinks{}, parts);
    }
    void showWindow() {
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    }
    QWidget* list() { return win->gvConvert->viewport(); }
};

TEST_F(Drops, TheLoadDialogIsEnabledAndCancelAnswersAClick) {
    // A folder big enough that the dialog is still up when the click comes (a few seconds): one
    // short WAV under many names.
    const fs::path folder = dir / "album";
    fs::create_directories(folder / "disc 2");
    ASSERT_TRUE(testutil::makeTone(folder / "track.wav", {"-c:a", "pcm_s16le"}, 0.05));
    constexpr int files = 300;
    for (int i = 1; i < files; ++i)
        fs::create_hard_link(folder / "track.wav",
                             folder / (i % 2 ? "disc 2" : ".") / ("track " + std::to_string(i) + ".wav"));
    open();
    showWindow();

    realx::DialogAnswers dialogs;
    dialogs.Then(
        "Load File...",
        [&](QWidget& d) {
            auto* load = qobject_cast<TfrmLoad*>(&d);
            ASSERT_NE(load, nullptr);
            EXPECT_TRUE(load->isEnabled()) << "the load dialog is drawn disabled";
            EXPECT_FALSE(win->isEnabled()); // the list must not change under the drop
            realx::click(load->btnCancel);
        },
        &realx::visibleWindow<TfrmLoad>);
    ASSERT_TRUE(realx::dropFiles(list(), {qpath(folder)}));
    EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
    EXPECT_LT(win->ListModel().rowCount(), files) << "Cancel did not stop the drop";
    EXPECT_TRUE(win->isEnabled());
    EXPECT_EQ(realx::visibleWindow<TfrmLoad>(), nullptr);
}

TEST_F(Drops, AnErrorAfterADropIsShownOnAnEnabledBox) {
    ASSERT_TRUE(testutil::makeTone(dir / "song.wav", {"-c:a", "pcm_s16le"}, 0.1));
    parts.createInformation = []() -> std::unique_ptr<IAudioInformation2> {
        throw ComponentError("The audio information library cannot be loaded");
    };
    realx::DialogAnswers dialogs;
    auto answerOk = [&](const QString& text) {
        return [&, text](QWidget& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr) << realx::text(d.windowTitle());
            EXPECT_EQ(box->text(), text);
            EXPECT_TRUE(box->isEnabled()) << "the message is drawn disabled";
            EXPECT_TRUE(!win || win->isEnabled());
            realx::click(box->button(QMessageBox::Ok));
        };
    };
    dialogs.Then("start-up error", answerOk("The audio information library cannot be loaded"));
    open();
    showWindow();
    dialogs.Then("drop error", answerOk("The audio information component is not available"));
    ASSERT_TRUE(realx::dropFiles(list(), {qpath(dir / "song.wav")}));
    EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
    EXPECT_EQ(win->ListModel().rowCount(), 0);
    EXPECT_TRUE(win->isEnabled());
}

} // namespace
