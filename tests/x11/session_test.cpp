// The program as a user meets it on a desktop: the real window, its real dialogs and the real
// components, driven by clicks and keys from start to close.
#include "app/import_error_dialog.h"
#include "app/settings_store.h"
#include "app/tag_editor_dialog.h"
#include "app/user_interface.h"
#include "common/test_files.h"
#include "real_x.h"
#include "tagedit/carry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QToolButton>
#include <memory>

namespace {

using namespace quillotone;
namespace fs = std::filesystem;
using realx::qpath;

void checkTheBox(QCheckBox* box) {
    if (!box->isChecked()) realx::click(box);
    EXPECT_TRUE(box->isChecked()) << realx::text(box->text());
}

void clearTheBox(QCheckBox* box) {
    if (box->isChecked()) realx::click(box);
    EXPECT_FALSE(box->isChecked()) << realx::text(box->text());
}

TEST(Desktop, AddConvertEditAndClose) {
    testutil::TempDir dir;
    const fs::path music = dir / "music";
    fs::create_directories(music);
    const fs::path one = music / "one.mp3", two = music / "two.ogg", bad = music / "bad.mp3";
    ASSERT_TRUE(testutil::makeTone(one, {"-c:a", "libmp3lame", "-b:a", "128k"}, 1.0));
    ASSERT_TRUE(testutil::makeTone(
        two,
        {"-c:a", "libvorbis", "-metadata", "artist=Ann", "-metadata", "album=Kept", "-metadata", "mood=calm"},
        1.0));
    testutil::writeFile(bad, {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    const auto oneBytes = testutil::readFile(one);

    // The settings land in the user's configuration folder.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir / "config").string()));
    const fs::path settingsFile = dir / "config" / "Quillotone" / "Quillotone.conf";
    QtUserInterface ui;
    auto win = std::make_unique<TfrmMain>(ui, UserSettingsStore(), qpath(dir.path()), ProductLinks{},
                                          realx::ProgramParts());
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));

    {
        SCOPED_TRACE("Add Files with one file");
        realx::DialogAnswers dialogs;
        dialogs.Then("Open", [&](QWidget& d) { realx::pickFiles(d, {qpath(one)}); });
        realx::click(win->btnAddFiles);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
        EXPECT_EQ(win->ListModel().rowCount(), 1);
    }
    {
        SCOPED_TRACE("Add Files with a listed file and one that is not audio");
        realx::DialogAnswers dialogs;
        dialogs.Then("Open", [&](QWidget& d) { realx::pickFiles(d, {qpath(two), qpath(one), qpath(bad)}); });
        dialogs.Then("Error", [&](QWidget& d) {
            auto* errors = qobject_cast<TfrmImpErr*>(&d);
            ASSERT_NE(errors, nullptr) << realx::text(d.windowTitle());
            EXPECT_TRUE(errors->isEnabled()) << "the error list is drawn disabled";
            EXPECT_TRUE(win->isEnabled());
            ASSERT_EQ(errors->EntryCount(), 2);
            EXPECT_EQ(errors->EntryText(0, 0), "one.mp3");
            EXPECT_EQ(errors->EntryText(0, 2), "File already exists in list");
            EXPECT_EQ(errors->EntryText(1, 0), "bad.mp3");
            EXPECT_EQ(errors->EntryText(1, 2), "invalid audio file");
            realx::click(errors->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        realx::click(win->btnAddFiles);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
        EXPECT_EQ(win->ListModel().rowCount(), 2);
        EXPECT_TRUE(win->isEnabled());
    }

    const fs::path out = dir / "out";
    fs::create_directories(out);
    testutil::writeFile(out / "one.mp3", {'o', 'l', 'd'});
    {
        SCOPED_TRACE("Convert both, replacing an existing output");
        realx::typeInto(win->edtoutFolder, qpath(out));
        EXPECT_EQ(win->cmboutFormat->currentIndex(), 0); // MP3
        realx::clickTab(win->PC, 1);
        ASSERT_EQ(win->PC->currentWidget(), win->tsSettings);
        checkTheBox(win->chkPromptExist);
        checkTheBox(win->chkShowSucc);
        clearTheBox(win->chkOpenDst);
        clearTheBox(win->chkCopyTags); // the row's fields alone: two.ogg's MOOD stays behind
        realx::clickTab(win->PC, 0);

        realx::DialogAnswers dialogs;
        dialogs.Then("Overwrite Confirm", [&](QWidget& d) {
            EXPECT_EQ(d.windowTitle(), "Overwrite Confirm");
            realx::click(realx::button(d, QMessageBox::Yes));
        });
        dialogs.Then("Conversion complete!", [&](QWidget& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Conversion complete!");
            realx::click(realx::button(d, QMessageBox::Ok));
        });
        realx::click(win->btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return !win->IsConverting() && dialogs.Done(); }, 120000));
        for (const char* name : {"one.mp3", "two.mp3"}) {
            const testutil::ProbeInfo p = testutil::probe(out / name);
            EXPECT_EQ(p.codec, "mp3") << name;
            EXPECT_NEAR(p.duration, 1.0, 0.1) << name;
        }
        EXPECT_EQ(testutil::readFile(one), oneBytes);
        EXPECT_TRUE(tagedit::ReadSourceTags(out / "two.mp3", 0).items.empty());
        EXPECT_FALSE(tagedit::ReadSourceTags(two, 0).items.empty());
    }
    {
        SCOPED_TRACE("Edit the Ogg file's title and save with OK");
        const QModelIndex row = win->ListModel().index(1, 2);
        realx::clickAt(win->gvConvert->viewport(), win->gvConvert->visualRect(row).center());
        ASSERT_EQ(win->SelectedRowCount(), 1);
        realx::DialogAnswers dialogs;
        dialogs.Then("Audio Tag Edit", [&](QWidget& d) {
            auto* editor = qobject_cast<Tfrmtaginfo*>(&d);
            ASSERT_NE(editor, nullptr) << realx::text(d.windowTitle());
            EXPECT_EQ(editor->edtFilename->text(), "two.ogg");
            realx::clickTab(editor->PageControl, editor->PageControl->indexOf(editor->tsInfo));
            realx::typeInto(editor->edtTitle, "Edited on a desktop");
            realx::click(editor->btnOK);
        });
        realx::click(win->btnEdittag);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
        EXPECT_EQ(win->ListModel().Cell(1, Column::Title), "Edited on a desktop");
        const testutil::ProbeInfo p = testutil::probe(two);
        EXPECT_EQ(p.tag("title"), "Edited on a desktop");
        EXPECT_EQ(p.tag("artist"), "Ann");
        EXPECT_EQ(p.tag("album"), "Kept");
        EXPECT_EQ(p.tag("mood"), "calm"); // a comment outside the editor's fields
    }
    {
        SCOPED_TRACE("Close through the window manager");
        realx::requestClose(*win);
        EXPECT_TRUE(realx::waitFor([&] { return !win->isVisible(); }))
            << "the close request was not honoured";
        win.reset();
        ASSERT_TRUE(fs::exists(settingsFile));
        QSettings stored(qpath(settingsFile), QSettings::IniFormat);
        EXPECT_EQ(stored.value("TargetFolder").toString(), qpath(out));
        EXPECT_EQ(stored.value("PromptExist").toInt(), 1);
        EXPECT_EQ(stored.value("CopySourceTags").toInt(), 0);
    }
}

} // namespace
