// The run's own dialogs on a real desktop: the overwrite question with its "to All" answers and the
// end-of-run report, clicked as a user clicks them. With QUILLOTONE_SHOTS set to a folder, each
// dialog is saved there as it is shown.
#include "app/import_error_dialog.h"
#include "app/settings_store.h"
#include "app/user_interface.h"
#include "common/test_files.h"
#include "real_x.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <memory>

namespace {

using namespace quillotone;
namespace fs = std::filesystem;
using realx::qpath;

void shoot(QWidget& w, const char* name) {
    if (const char* shots = std::getenv("QUILLOTONE_SHOTS")) w.grab().save(QString(shots) + "/" + name);
}

TEST(RunDialogs, YesToAllHoldsForOneRunAndTheReportListsWhatWasSkipped) {
    testutil::TempDir dir;
    const fs::path music = dir / "music", out = dir / "out";
    fs::create_directories(out);
    QStringList sources;
    for (const char* name : {"one", "two", "three"}) {
        fs::create_directories(music);
        ASSERT_TRUE(testutil::makeTone(music / (std::string(name) + ".wav"), {"-c:a", "pcm_s16le"}, 0.5));
        testutil::writeFile(out / (std::string(name) + ".mp3"), {'o', 'l', 'd'});
        sources << qpath(music / (std::string(name) + ".wav"));
    }
    QtUserInterface ui;
    TfrmMain win(ui, SettingsStore(qpath(dir / "s" / "Quillotone.conf")), qpath(dir.path()), ProductLinks{},
                 realx::ProgramParts());
    win.List().AddFiles(sources, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 3);
    win.edtoutFolder->setText(qpath(out));
    win.cmboutFormat->setCurrentIndex(0);
    win.chkPromptExist->setChecked(true);
    win.chkShowSucc->setChecked(false);
    win.chkOpenDst->setChecked(false);
    win.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win));

    {
        SCOPED_TRACE("Yes to All answers the rest of the run");
        realx::DialogAnswers dialogs;
        dialogs.Then("Overwrite Confirm", [&](QWidget& d) {
            EXPECT_EQ(d.windowTitle(), "Overwrite Confirm");
            EXPECT_TRUE(d.isEnabled());
            shoot(d, "overwrite-question.png");
            realx::click(realx::button(d, QMessageBox::YesToAll));
        });
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done() && !win.IsConverting(); }, 60000));
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(win.ListModel().Mark(row), RowMark::Converted) << row;
        EXPECT_EQ(testutil::probe(out / "three.mp3").codec, "mp3");
    }
    {
        SCOPED_TRACE("the next run asks again; No to All skips the rest, and the report lists them");
        realx::DialogAnswers dialogs;
        dialogs.Then("Overwrite Confirm", [&](QWidget& d) {
            EXPECT_EQ(d.windowTitle(), "Overwrite Confirm");
            realx::click(realx::button(d, QMessageBox::NoToAll));
        });
        dialogs.Then("Conversion Report", [&](QWidget& d) {
            auto* report = qobject_cast<TfrmImpErr*>(&d);
            ASSERT_NE(report, nullptr) << realx::text(d.windowTitle());
            EXPECT_EQ(report->windowTitle(), "Conversion Report");
            EXPECT_TRUE(report->isEnabled());
            ASSERT_EQ(report->EntryCount(), 3);
            EXPECT_EQ(report->EntryText(0, 0), "one.wav");
            EXPECT_EQ(report->EntryText(0, 1), qpath(music));
            EXPECT_EQ(report->EntryText(2, 2), "skipped: the output exists");
            shoot(d, "run-report.png");
            realx::click(report->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done() && !win.IsConverting(); }, 60000));
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(win.ListModel().Mark(row), RowMark::NotConverted) << row;
        shoot(win, "run-after-no-to-all.png");
    }
}

// What a user meets when a run cannot do what the list asks: the target folder cannot be made, a
// source went missing, a folder converted into itself with two outputs of one name, a stop.
TEST(RunDialogs, TroublesAreSaidInTheirWords) {
    testutil::TempDir dir;
    const fs::path music = dir / "music";
    fs::create_directories(music / "a");
    fs::create_directories(music / "b");
    ASSERT_TRUE(testutil::makeTone(music / "x.mp3", {"-c:a", "libmp3lame"}, 0.5));
    ASSERT_TRUE(testutil::makeTone(music / "a" / "song.wav", {"-c:a", "pcm_s16le"}, 0.5));
    ASSERT_TRUE(testutil::makeTone(music / "b" / "song.ogg", {"-c:a", "libvorbis"}, 0.5));
    ASSERT_TRUE(testutil::makeTone(dir / "long.wav", {"-c:a", "pcm_s16le"}, 60.0));
    const auto sourceBytes = testutil::readFile(music / "x.mp3");
    QtUserInterface ui;
    TfrmMain win(ui, SettingsStore(qpath(dir / "s" / "Quillotone.conf")), qpath(dir.path()), ProductLinks{},
                 realx::ProgramParts());
    win.List().AddFiles(
        {qpath(music / "x.mp3"), qpath(music / "a" / "song.wav"), qpath(music / "b" / "song.ogg")}, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 3);
    win.cmboutFormat->setCurrentIndex(0);
    win.chkRename->setChecked(false);
    win.chkShowSucc->setChecked(true);
    win.chkOpenDst->setChecked(false);
    win.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win));

    {
        SCOPED_TRACE("a target folder that cannot be made");
        win.edtoutFolder->setText("/dev/null/music");
        realx::DialogAnswers dialogs;
        dialogs.Then("Process Error", [&](QWidget& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(),
                      "Occur Error: the folder /dev/null/music cannot be created: Not a directory, "
                      "\r\nprocess would exit!");
            shoot(d, "target-folder-error.png");
            realx::click(box->button(QMessageBox::Ok));
        });
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
        EXPECT_FALSE(win.IsConverting());
    }
    {
        SCOPED_TRACE("the folder into itself: the source is kept, the second song is numbered");
        win.edtoutFolder->setText(qpath(music));
        realx::DialogAnswers dialogs;
        dialogs.Then("Conversion complete!", [&](QWidget& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Conversion complete!");
            realx::click(box->button(QMessageBox::Ok));
        });
        dialogs.Then("Conversion Report", [&](QWidget& d) {
            auto* report = qobject_cast<TfrmImpErr*>(&d);
            ASSERT_NE(report, nullptr) << realx::text(d.windowTitle());
            ASSERT_EQ(report->EntryCount(), 2);
            EXPECT_EQ(report->EntryText(0, 2), "skipped: the output would replace a source file");
            EXPECT_EQ(report->EntryText(1, 2),
                      "converted to song (2).mp3 (renamed: another output of this run has that name)");
            shoot(d, "report-source-and-rename.png");
            realx::click(report->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done() && !win.IsConverting(); }, 60000));
        EXPECT_EQ(testutil::readFile(music / "x.mp3"), sourceBytes);
        EXPECT_EQ(testutil::probe(music / "song.mp3").codec, "mp3");
        EXPECT_EQ(testutil::probe(music / "song (2).mp3").codec, "mp3");
        shoot(win, "window-after-source-and-rename.png");
    }
    {
        SCOPED_TRACE("a source gone since it was listed");
        win.edtoutFolder->setText(qpath(dir / "out"));
        fs::remove(music / "a" / "song.wav");
        realx::DialogAnswers dialogs;
        dialogs.Then("Process Error", [&](QWidget& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Occur Error: the file " + qpath(music / "a" / "song.wav") +
                                       " is missing, \r\nprocess would exit!");
            shoot(d, "missing-source-error.png");
            realx::click(box->button(QMessageBox::Ok));
        });
        dialogs.Then("Conversion Report", [&](QWidget& d) {
            auto* report = qobject_cast<TfrmImpErr*>(&d);
            ASSERT_NE(report, nullptr) << realx::text(d.windowTitle());
            ASSERT_EQ(report->EntryCount(), 1);
            EXPECT_EQ(report->EntryText(0, 2), "failed: the file is missing");
            realx::click(report->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
        });
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done() && !win.IsConverting(); }, 60000));
        EXPECT_EQ(win.ListModel().Mark(0), RowMark::Converted);
        EXPECT_EQ(win.ListModel().Mark(1), RowMark::NotConverted);
        shoot(win, "window-after-missing-source.png");
    }
    {
        SCOPED_TRACE("a stop: no mark left behind, no empty folder");
        win.actDelallExecute();
        win.List().AddFiles({qpath(dir / "long.wav")}, &win);
        win.edtoutFolder->setText(qpath(dir / "stopped" / "here"));
        realx::click(win.btnConvert);
        ASSERT_TRUE(realx::waitFor([&] { return win.ProgressBar->value() > 0; }, 60000));
        realx::click(win.btnConvert);
        EXPECT_TRUE(realx::waitFor([&] { return !win.IsConverting(); }));
        EXPECT_EQ(win.ListModel().Mark(0), RowMark::NotConverted);
        EXPECT_FALSE(fs::exists(dir / "stopped"));
        shoot(win, "window-after-stop.png");
    }
    realx::clickTab(win.PC, 1);
    EXPECT_TRUE(realx::waitFor([&] { return win.chkGoOn->isVisible(); }));
    EXPECT_EQ(win.chkGoOn->text(), "Go on with the next file after an error");
    EXPECT_EQ(win.chkKeepTree->text(), "Keep the folder structure");
    shoot(win, "settings-tab.png");
}

} // namespace
