// The inspector and the quality controller inside the real main window, made by AddSettingsParts
// on the real conversion component: start-up shows the loaded settings and fills the list.
#include "app/app_fakes.h"
#include "app/inspector.h"
#include "app/main_window.h"
#include "app/settings_parts.h"
#include "common/test_files.h"
#include "conversion/convert_component.h"

#include <QComboBox>
#include <QLabel>
#include <gtest/gtest.h>

using namespace quillotone;

TEST(MainWindowParts, StartUpShowsSettingsAndQualities) {
    testutil::TempDir dir;
    const QString ini = QString::fromStdString((dir / "Quillotone.conf").string());
    {
        QSettings stored(ini, QSettings::IniFormat);
        stored.setValue("MP3Bitrate", 8);
        stored.setValue("MP3SampleRate", 12000);
    }
    apptest::FakeUi ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::make_unique<TAudioConvert>(); };
    AddSettingsParts(parts);
    {
        TfrmMain win(ui, SettingsStore(ini), QString::fromStdString(dir.path().string()), ProductLinks{},
                     parts);
        auto* grid = win.findChild<PropertyGrid*>("Inspector");
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->item("cmbMp3bitrate")->text(), "8");
        EXPECT_EQ(grid->item("cmbMp3samrate")->text(), "12000");
        EXPECT_EQ(grid->item("cmbWmaQuality")->entries().size(), WmaProfileCount);
        EXPECT_EQ(win.cmbQuality->count(), 41);
        EXPECT_EQ(win.cmbQuality->currentText(), "8 kbit/s");
        EXPECT_TRUE(win.spQuality->text().startsWith("Quality: MPEG"));
        EXPECT_EQ(win.Convert()->Mp3Encoder().Mp3Bitrate(), 8);

        win.cmboutFormat->setCurrentIndex(2); // "Wav (Standard)"
        EXPECT_EQ(win.cmbQuality->count(), 36);
        const int i = win.cmbQuality->findText("8-bit Mono 11,025Hz");
        win.cmbQuality->setCurrentIndex(i);
        emit win.cmbQuality->activated(i);
        EXPECT_EQ(win.Settings().WavSampleRate, 11025);
        EXPECT_EQ(grid->item("cmbWavFrequency")->text(), "11025");
        // An edit in the inspector reaches the settings when they are saved.
        grid->item("spHighFre")->setText("not a number");
    }
    QSettings stored(ini, QSettings::IniFormat);
    EXPECT_EQ(stored.value("PCMSamplesize").toInt(), 11025);
    EXPECT_EQ(stored.value("PCMSamplerate").toInt(), 8);
    EXPECT_EQ(stored.value("HighPassFrequency").toInt(), 30);
    EXPECT_EQ(stored.value("OutFormat").toInt(), 2);
}
