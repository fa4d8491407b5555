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
#include <QPushButton>
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

} // namespace
