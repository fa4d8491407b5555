// A run inside the real main window on the real components, with screenshots during and after it.
#include "app/app_fakes.h"
#include "common/test_files.h"
#include "conversion/taudio_convert.h"
#include "conversion/taudio_information.h"
#include "window_run_host.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

using namespace runtest;
namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(WindowRun, ConvertsTheListAndRestoresTheWindow) {
    testutil::TempDir dir;
    apptest::FakeUi ui;
    WindowRun* part = nullptr;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    parts.createRun = [&](TfrmMain& w) {
        auto r = std::make_unique<WindowRun>(w);
        part = r.get();
        return std::unique_ptr<IConversionRun>(std::move(r));
    };
    TfrmMain win(ui, SettingsStore(QString::fromStdString((dir / "s" / "Quillotone.conf").string())),
                 QString::fromStdString(dir.path().string()), ProductLinks{"h", "m"}, parts);
    ASSERT_NE(part, nullptr);
    QStringList paths;
    for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
        ASSERT_TRUE(testutil::makeTone(dir / name, {"-c:a", "pcm_s16le"}, 4.0));
        paths << QString::fromStdString((dir / name).string());
    }
    win.List().AddFiles(paths, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 3);
    const QString out = QString::fromStdString((dir / "out").string());
    win.edtoutFolder->setText(out);
    win.cmboutFormat->setCurrentIndex(0);
    win.chkShowSucc->setChecked(true);
    win.show();

    win.ActConvertExecute();
    EXPECT_EQ(win.ActConvert->text(), "&Stop Conversion");
    ASSERT_TRUE(
        waitFor([&] { return win.ListModel().Mark(1) == 1 && win.ProgressBar->value() > 20; }, 60000));
    EXPECT_TRUE(win.ProgressBar->isVisible());
    EXPECT_FALSE(win.gvConvert->isEnabled());
    const char* shots = std::getenv("QUILLOTONE_SHOTS");
    if (shots) win.grab().save(QString(shots) + "/run-during.png");

    ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 120000));
    EXPECT_EQ(win.ActConvert->text(), "&Convert Now");
    EXPECT_FALSE(win.ProgressBar->isVisible());
    EXPECT_TRUE(win.gvConvert->isEnabled());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(win.ListModel().Mark(row), 2);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Conversion complete!");
    for (const char* name : {"one.mp3", "two.mp3", "three.mp3"})
        EXPECT_EQ(testutil::probe(dir / "out" / name).codec, "mp3") << name;
    if (shots) win.grab().save(QString(shots) + "/run-after.png");
}

} // namespace
