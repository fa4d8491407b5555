// The settings store: the 43 values and the ones beside them, their defaults and checks, through
// the store and the window; saved when they change and when a run starts, not only at exit.
#include "window_fixture.h"

#include "app/window_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <string_view>
#include <sys/stat.h>

namespace apptest {
namespace {

std::string text(const testutil::fs::path& file) {
    const auto bytes = testutil::readFile(file);
    return std::string(bytes.begin(), bytes.end());
}

// Sets every stored value to something other than its default, and valid for its control.
StoredSettings distinctValues() {
    StoredSettings s;
    int i = 0;
    for (const SettingEntry& entry : SettingsTable()) {
        ++i;
        SettingField field = entry.field(s);
        switch (entry.type) {
        case SettingType::Integer:
            *std::get<int32_t*>(field) = 1000 + i;
            break;
        case SettingType::Boolean:
            *std::get<bool*>(field) = entry.defaultNumber == 0;
            break;
        case SettingType::Text:
            *std::get<QString*>(field) = QString("text %1, with ü; and \"quotes\" = [x]").arg(i);
            break;
        case SettingType::Index:
            *std::get<int32_t*>(field) = entry.itemCount - 1;
            break;
        }
    }
    // Values the window's controls hold within their ranges.
    s.window.StartAt = 4321;
    s.window.Padding = 3;
    s.window.FilesAtOnce = 6; // within the spin box's range
    s.window.Prefix = true;
    s.window.Property = false;
    return s;
}

QVariant valueOf(const SettingEntry& entry, StoredSettings& s) {
    return std::visit([](auto* f) { return QVariant::fromValue(*f); }, entry.field(s));
}

class Store : public WindowFixture {};

TEST_F(Store, TableHoldsTheFortyThreeValuesInOrderAndTheNewOnesAfterThem) {
    const auto table = SettingsTable();
    ASSERT_EQ(table.size(), 50u);
    EXPECT_STREQ(table.front().name, "MP3SampleRate");
    EXPECT_STREQ(table[8].name, "EnableHighPass");
    EXPECT_STREQ(table[25].name, "PCMSamplerate");
    EXPECT_STREQ(table[27].name, "PCMSamplesize");
    EXPECT_STREQ(table[42].name, "WriteFormat");
    EXPECT_STREQ(table[43].name, "CopySourceTags");
    EXPECT_STREQ(table[44].name, "PropertyPattern");
    EXPECT_STREQ(table[45].name, "WindowGeometry");
    EXPECT_STREQ(table[46].name, "ColumnWidths");
    EXPECT_STREQ(table[47].name, "GoOnAfterError");
    EXPECT_STREQ(table[48].name, "KeepFolderStructure");
    EXPECT_STREQ(table[49].name, "FilesAtOnce");
}

// A change is saved once the changes pause, so a crash or a kill loses it no more; a run saves
// what it starts with at once.
TEST_F(Store, ChangesAreSavedSoonAfterTheyAreMade) {
    AddRunPart(parts);
    open();
    const auto stored = [&](const char* name) {
        QSettings raw(settingsFile(), QSettings::IniFormat);
        return raw.value(name).toString();
    };
    ASSERT_EQ(stored("PromptExist"), "");
    win->chkPromptExist->setChecked(true);
    win->chkGoOn->setChecked(true);
    win->edtPrefix->setText("take");
    EXPECT_EQ(win->edtFilesAtOnce->value(), 0); // one per core at first start
    win->edtFilesAtOnce->setValue(3);
    EXPECT_EQ(stored("PromptExist"), ""); // not on every key stroke
    QTest::qWait(TfrmMain::SaveDelayMs + 300);
    EXPECT_EQ(stored("PromptExist"), "1");
    EXPECT_EQ(stored("GoOnAfterError"), "1");
    EXPECT_EQ(stored("Prefixtxt"), "take");
    EXPECT_EQ(stored("KeepFolderStructure"), "0");
    EXPECT_EQ(stored("FilesAtOnce"), "3");

    // a run saves when it starts, before the pause is over
    addRows(1);
    win->chkKeepTree->setChecked(true);
    win->edtoutFolder->setText(QString::fromStdString((dir / "out").string()));
    win->ActConvertExecute();
    EXPECT_EQ(stored("KeepFolderStructure"), "1");
}

TEST_F(Store, FirstStartTakesTheDefaultsAndCreatesTheStore) {
    ASSERT_FALSE(QFileInfo::exists(settingsFile()));
    open();
    EXPECT_TRUE(QFileInfo::exists(settingsFile()));
    EXPECT_EQ(win->edtoutFolder->text(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    EXPECT_EQ(win->cmboutFormat->currentText(), "Mp3 (Mpeg Layer-3)");
    EXPECT_FALSE(win->chkRename->isChecked());
    EXPECT_TRUE(win->rdProperty->isChecked());
    EXPECT_FALSE(win->rdprefix->isChecked());
    EXPECT_EQ(win->cmbRename->currentIndex(), 9);
    EXPECT_TRUE(win->chkShowSucc->isChecked());
    EXPECT_FALSE(win->chkPromptExist->isChecked());
    EXPECT_FALSE(win->chkOpenDst->isChecked());
    EXPECT_EQ(win->cmbReadpriority->currentText(), "ID3v2 > APEv2 > ID3v1");
    EXPECT_EQ(win->cmbWriteFormat->currentText(), "ID3v1 & ID3v2");
    EXPECT_TRUE(win->chkCopyTags->isChecked());
    EXPECT_EQ(win->edtStartat->value(), 1);
    EXPECT_EQ(win->edtPadding->value(), 0);
    EXPECT_FALSE(win->rdprefix->isEnabled()); // the rename rules ran
    EXPECT_FALSE(win->cmbRename->isEnabled());

    const EncoderSettings& e = win->Settings();
    EXPECT_EQ(e.mp3.Mp3SampleRate, 44100);
    EXPECT_EQ(e.mp3.Mp3Bitrate, 256);
    EXPECT_EQ(e.mp3.LowpassWidth, 760);
    EXPECT_EQ(e.mp3.VbrMethod, -1);
    EXPECT_EQ(e.ogg.OggQuality, -1);
    EXPECT_EQ(e.WavBitsPerSample, 16);
    EXPECT_EQ(e.WavSampleRate, 44100);
    EXPECT_EQ(e.WmaQuality, 1);
    EXPECT_FALSE(e.EnableHighPass);
}

TEST_F(Store, RoundTripOfEveryValue) {
    const SettingsStore store(settingsFile());
    StoredSettings written = distinctValues();
    ASSERT_TRUE(store.Save(written));
    StoredSettings read;
    ASSERT_TRUE(store.Load(read));
    for (const SettingEntry& entry : SettingsTable())
        EXPECT_EQ(valueOf(entry, read), valueOf(entry, written)) << entry.name;

    // And through the window: loaded into the controls, saved back unchanged. The window's place
    // and widths are its own (the x11 tests keep them across a restart).
    open();
    closeWindow();
    StoredSettings again;
    ASSERT_TRUE(store.Load(again));
    for (const SettingEntry& entry : SettingsTable()) {
        const std::string_view name = entry.name;
        if (name != "WindowGeometry" && name != "ColumnWidths") {
            EXPECT_EQ(valueOf(entry, again), valueOf(entry, written)) << entry.name;
        }
    }
}

TEST_F(Store, StoredValuesAreCheckedAsTheyLoad) {
    struct Case {
        const char* ini;
        std::function<void(const StoredSettings&)> check;
    };
    const Case cases[] = {
        {"OutFormat=4\nWriteFormat=6\nReadPriority=4\nPropertytxt=14\n",
         [](const StoredSettings& s) {
             EXPECT_EQ(s.window.OutFormat, 0);
             EXPECT_EQ(s.window.WriteFormat, 3);
             EXPECT_EQ(s.window.ReadPriority, 1);
             EXPECT_EQ(s.window.PropertyIndex, 9);
         }},
        {"OutFormat=3\nWriteFormat=5\nReadPriority=-1\nPropertytxt=13\n",
         [](const StoredSettings& s) {
             EXPECT_EQ(s.window.OutFormat, 3);
             EXPECT_EQ(s.window.WriteFormat, 5);
             EXPECT_EQ(s.window.ReadPriority, -1); // passes the check: no selection
             EXPECT_EQ(s.window.PropertyIndex, 13);
         }},
        // The earlier first-start tag settings, once stored, stay as they are.
        {"ReadPriority=2\nWriteFormat=2\n",
         [](const StoredSettings& s) {
             EXPECT_EQ(s.window.ReadPriority, 2);
             EXPECT_EQ(s.window.WriteFormat, 2);
         }},
        {"Rename=5\nShowSucc=0\nEnableHighPass=-3\n",
         [](const StoredSettings& s) {
             EXPECT_TRUE(s.window.Rename);
             EXPECT_FALSE(s.window.ShowSucc);
             EXPECT_TRUE(s.encoder.EnableHighPass);
         }},
        // Text that does not read as its type counts as absent.
        {"MP3Bitrate=fast\nRename=true\nOutFormat=\nMP3SampleRate=99999999999\nPrefixtxt=a, b\n",
         [](const StoredSettings& s) {
             EXPECT_EQ(s.encoder.mp3.Mp3Bitrate, 256);
             EXPECT_FALSE(s.window.Rename);
             EXPECT_EQ(s.window.OutFormat, 0);
             EXPECT_EQ(s.encoder.mp3.Mp3SampleRate, 44100);
             EXPECT_EQ(s.window.PrefixText, "");
         }},
        {"PCMSamplerate=8\nPCMSamplesize=22050\n",
         [](const StoredSettings& s) {
             EXPECT_EQ(s.encoder.WavBitsPerSample, 8);
             EXPECT_EQ(s.encoder.WavSampleRate, 22050);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        writeSettings(std::string("[General]\n") + c.ini);
        StoredSettings s;
        ASSERT_TRUE(SettingsStore(settingsFile()).Load(s));
        c.check(s);
    }
}

TEST_F(Store, WindowWritesBooleansAsOneAndKeepsUntouchedValues) {
    writeSettings("[General]\nRename=5\nEnableHighPass=1\nEnableLowPass=7\nOutFormat=9\n");
    open();
    EXPECT_TRUE(win->chkRename->isChecked());
    EXPECT_EQ(win->cmboutFormat->currentIndex(), 0);
    win->Settings().WavBitsPerSample = 8; // as the inspector would leave them
    win->Settings().WavSampleRate = 22050;
    closeWindow();
    QSettings raw(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Rename").toString(), "1");
    EXPECT_EQ(raw.value("EnableHighPass").toString(), "1");
    EXPECT_EQ(raw.value("EnableLowPass").toString(), "1");
    EXPECT_EQ(raw.value("OutFormat").toString(), "0");
    EXPECT_EQ(raw.value("PCMSamplerate").toString(), "8");
    EXPECT_EQ(raw.value("PCMSamplesize").toString(), "22050");
    EXPECT_EQ(raw.allKeys().size(), 50);
}

TEST_F(Store, ATypedNamingPatternIsKeptAcrossARestartBesideTheIndex) {
    open();
    win->cmbRename->setCurrentIndex(3);
    win->cmbRename->setEditText("<title> (live)");
    closeWindow();
    QSettings raw(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Propertytxt").toString(), "3");
    EXPECT_EQ(raw.value("PropertyPattern").toString(), "<title> (live)");
    open();
    EXPECT_EQ(win->cmbRename->currentIndex(), 3);
    EXPECT_EQ(win->cmbRename->currentText(), "<title> (live)");
    EXPECT_EQ(win->Options().PropertyText, "<title> (live)");

    // A store written before the pattern was kept: the item of the stored index.
    closeWindow();
    writeSettings("Propertytxt=2\n");
    open();
    EXPECT_EQ(win->cmbRename->currentIndex(), 2);
    EXPECT_EQ(win->cmbRename->currentText(), win->cmbRename->itemText(2));
}

TEST_F(Store, RadioButtonsAsStored) {
    struct Case {
        const char* ini;
        bool prefix, property;
    };
    const Case cases[] = {
        {"Rename=1\nPrefix=1\nProperty=1\n", false, true}, // the later one wins
        {"Rename=1\nPrefix=1\nProperty=0\n", true, false},
        {"Rename=1\nPrefix=0\nProperty=0\n", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        writeSettings(std::string("[General]\n") + c.ini);
        open();
        EXPECT_EQ(win->rdprefix->isChecked(), c.prefix);
        EXPECT_EQ(win->rdProperty->isChecked(), c.property);
        EXPECT_EQ(win->edtPrefix->isEnabled(), c.prefix);
        EXPECT_EQ(win->cmbRename->isEnabled(), c.property);
        closeWindow();
        QSettings raw(settingsFile(), QSettings::IniFormat);
        EXPECT_EQ(raw.value("Prefix").toInt(), c.prefix ? 1 : 0);
        EXPECT_EQ(raw.value("Property").toInt(), c.property ? 1 : 0);
    }
}

TEST_F(Store, AStoreThatCannotBeOpenedReadsAndWritesNothing) {
    // A folder where the file should be.
    std::filesystem::create_directories(dir / "settings" / "Quillotone.conf");
    const SettingsStore store(settingsFile());
    StoredSettings s = distinctValues();
    const WindowOptions before = s.window;
    EXPECT_FALSE(store.Load(s));
    EXPECT_EQ(s.encoder.mp3.Mp3Bitrate, 256); // encoder defaults
    EXPECT_EQ(s.encoder.WmaQuality, 1);
    EXPECT_EQ(s.window.TargetFolder, before.TargetFolder); // the controls keep their state
    EXPECT_EQ(s.window.StartAt, before.StartAt);
    EXPECT_FALSE(store.Save(s));

    // The window then keeps its controls' initial state.
    open();
    EXPECT_EQ(win->edtoutFolder->text(), "");
    EXPECT_FALSE(win->chkRename->isChecked());
    EXPECT_TRUE(win->rdprefix->isChecked());
    EXPECT_EQ(win->cmbRename->currentIndex(), 0);
    EXPECT_FALSE(win->chkShowSucc->isChecked());
    EXPECT_EQ(win->cmbReadpriority->currentIndex(), 1);
    EXPECT_EQ(win->cmbWriteFormat->currentIndex(), 3);
    EXPECT_EQ(win->Settings().mp3.LowpassFrequency, 15160);
    closeWindow();
}

TEST_F(Store, AReadOnlyStoreIsLeftAsItWas) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    writeSettings("[General]\nOutFormat=2\n");
    const auto file = dir / "settings" / "Quillotone.conf";
    chmod(file.c_str(), 0444);
    const SettingsStore store(settingsFile());
    StoredSettings s;
    ASSERT_TRUE(store.Load(s));
    EXPECT_EQ(s.window.OutFormat, 2);
    s.window.OutFormat = 1;
    EXPECT_FALSE(store.Save(s));
    EXPECT_EQ(text(file), "[General]\nOutFormat=2\n");
    chmod(file.c_str(), 0644);
}

} // namespace
} // namespace apptest
