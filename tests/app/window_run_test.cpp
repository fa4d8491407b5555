// A run inside the real main window on the real components, with screenshots during and after it.
#include "app/app_fakes.h"
#include "app/import_error_dialog.h"
#include "app/main_window.h"
#include "app/settings_parts.h"
#include "app/window_run.h"
#include "common/test_files.h"
#include "conversion/convert_component.h"
#include "conversion/information_component.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

using namespace quillotone;
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
    ASSERT_TRUE(waitFor(
        [&] { return win.ListModel().Mark(1) == RowMark::BeingConverted && win.ProgressBar->value() > 20; },
        60000));
    EXPECT_TRUE(win.ProgressBar->isVisible());
    EXPECT_FALSE(win.gvConvert->isEnabled());
    const char* shots = std::getenv("QUILLOTONE_SHOTS");
    if (shots) win.grab().save(QString(shots) + "/run-during.png");

    ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 120000));
    EXPECT_EQ(win.ActConvert->text(), "&Convert Now");
    EXPECT_FALSE(win.ProgressBar->isVisible());
    EXPECT_TRUE(win.gvConvert->isEnabled());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(win.ListModel().Mark(row), RowMark::Converted);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Conversion complete!");
    for (const char* name : {"one.mp3", "two.mp3", "three.mp3"})
        EXPECT_EQ(testutil::probe(dir / "out" / name).codec, "mp3") << name;
    if (shots) win.grab().save(QString(shots) + "/run-after.png");
}

// The program's own wiring: the inspector, the quality controller and the run with its tagging
// step, as main() sets them up.
TEST(WindowRun, ProgramPartsTagEveryOutputFromItsRow) {
    testutil::TempDir dir;
    apptest::FakeUi ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    AddSettingsParts(parts);
    AddRunPart(parts);
    TfrmMain win(ui, SettingsStore(QString::fromStdString((dir / "s" / "Quillotone.conf").string())),
                 QString::fromStdString(dir.path().string()), ProductLinks{"h", "m"}, parts);
    ASSERT_TRUE(testutil::makeTone(dir / "song.wav", {"-c:a", "pcm_s16le"}, 1.0));
    win.List().AddFiles({QString::fromStdString((dir / "song.wav").string())}, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 1);
    win.ListModel().SetCell(0, Column::Artist, "Артист");
    win.ListModel().SetCell(0, Column::Title, "Song Title");
    win.ListModel().SetCell(0, Column::TrackNumber, "4");
    win.edtoutFolder->setText(QString::fromStdString((dir / "out").string()));
    win.chkShowSucc->setChecked(false);
    win.cmbWriteFormat->setCurrentIndex(3); // "ID3v1 & ID3v2": ffprobe reads no APEv2 in MP3
    for (int format : {0, 1, 2, 3}) {
        SCOPED_TRACE(format);
        win.cmboutFormat->setCurrentIndex(format);
        win.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 60000));
        ASSERT_EQ(win.ListModel().Mark(0), RowMark::Converted);
        const char* const names[] = {"song.mp3", "song.ogg", "song.wav", "song.wma"};
        testutil::ProbeInfo p = testutil::probe(dir / "out" / names[format]);
        EXPECT_EQ(p.tag("title"), "Song Title");
        EXPECT_EQ(p.tag("artist"), "Артист");
        EXPECT_EQ(p.tag("track").substr(0, 1), "4");
    }
}

// The Settings tab's option: on, an output gets the source's pictures and other tags beside the row's
// (edited) fields and the run keeps per row what the output could not hold; off, the row's fields alone.
TEST(WindowRun, CopiesTheSourcesOtherTagsAsTheOptionSays) {
    testutil::TempDir dir;
    apptest::FakeUi ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    AddSettingsParts(parts);
    AddRunPart(parts);
    WindowRun* part = nullptr;
    parts.createRun = [&, make = parts.createRun](TfrmMain& w) {
        auto r = make(w);
        part = static_cast<WindowRun*>(r.get());
        return r;
    };
    TfrmMain win(ui, SettingsStore(QString::fromStdString((dir / "s" / "Quillotone.conf").string())),
                 QString::fromStdString(dir.path().string()), ProductLinks{"h", "m"}, parts);
    ASSERT_NE(part, nullptr);
    const fs::path source = dir / "song.mp3";
    const std::string view = QUILLOTONE_SOURCE_DIR "/tests/tagedit/carry_view.py";
    ASSERT_TRUE(
        testutil::makeTone(source, {"-c:a", "libmp3lame"}, 1.0, 440, 44100, 2, {"-map_metadata", "-1"}));
    ASSERT_EQ(testutil::run({"/usr/bin/python3", view, "make", "id3v2", source.string()}).exitCode, 0);
    win.List().AddFiles({QString::fromStdString(source.string())}, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 1);
    win.ListModel().SetCell(0, Column::Title, "Edited");
    win.edtoutFolder->setText(QString::fromStdString((dir / "out").string()));
    win.chkShowSucc->setChecked(false);
    EXPECT_TRUE(win.chkCopyTags->isChecked());

    auto convert = [&](int format) {
        win.cmboutFormat->setCurrentIndex(format);
        win.ActConvertExecute();
        EXPECT_TRUE(waitFor([&] { return !win.IsConverting(); }, 60000));
        EXPECT_EQ(win.ListModel().Mark(0), RowMark::Converted);
    };
    const fs::path ogg = dir / "out" / "song.ogg";
    convert(1);
    const auto same = testutil::run(
        {"/usr/bin/python3", view, "same", "id3v2", source.string(), "ogg", ogg.string(), "title"});
    EXPECT_EQ(same.exitCode, 0) << same.out << same.err; // pictures byte-equal, every other field too
    EXPECT_EQ(testutil::probe(ogg).tag("title"), "Edited");
    auto notCarried = [&] {
        const auto& results = part->host.Results();
        return results.size() == 1 ? results[0].notCarried : QStringList{"(no single result)"};
    };
    EXPECT_TRUE(notCarried().isEmpty()) << notCarried().join("; ").toStdString();

    convert(2); // WAV: the fields in RIFF INFO, the rest named
    EXPECT_EQ(testutil::probe(dir / "out" / "song.wav").tag("title"), "Edited");
    const QStringList lost = notCarried();
    EXPECT_TRUE(lost.contains("picture (front cover)")) << lost.join("; ").toStdString();
    EXPECT_TRUE(lost.contains("Album artist")) << lost.join("; ").toStdString();

    win.chkCopyTags->setChecked(false);
    fs::remove(ogg);
    convert(1);
    const auto p = testutil::probe(ogg);
    EXPECT_EQ(p.tag("title"), "Edited");
    EXPECT_EQ(p.tag("album_artist"), "");
    EXPECT_TRUE(notCarried().isEmpty());
}

// A folder converted into itself: the source's row is skipped, and one report at the end names it
// with its reason, in the import-error list's form.
TEST(WindowRun, TheReportListsASkippedRow) {
    testutil::TempDir dir;
    apptest::FakeUi ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    AddRunPart(parts);
    TfrmMain win(ui, SettingsStore(QString::fromStdString((dir / "s" / "Quillotone.conf").string())),
                 QString::fromStdString(dir.path().string()), ProductLinks{"h", "m"}, parts);
    ASSERT_TRUE(testutil::makeTone(dir / "one.wav", {"-c:a", "pcm_s16le"}, 1.0));
    ASSERT_TRUE(testutil::makeTone(dir / "two.mp3", {"-c:a", "libmp3lame"}, 1.0));
    const QString folder = QString::fromStdString(dir.path().string());
    win.List().AddFiles({folder + "/one.wav", folder + "/two.mp3"}, &win);
    ASSERT_EQ(win.ListModel().rowCount(), 2);
    win.edtoutFolder->setText(folder);
    win.cmboutFormat->setCurrentIndex(2); // WAV
    win.chkShowSucc->setChecked(true);
    QStringList lines;
    ui.onExec = [&](QDialog& d) {
        auto* report = dynamic_cast<TfrmImpErr*>(&d);
        ASSERT_NE(report, nullptr);
        for (int i = 0; i < report->EntryCount(); ++i)
            lines << report->EntryText(i, 0) + " | " + report->EntryText(i, 1) + " | " +
                         report->EntryText(i, 2);
    };
    win.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 60000));
    EXPECT_EQ(win.ListModel().Mark(0), RowMark::NotConverted);
    EXPECT_EQ(win.ListModel().Mark(1), RowMark::Converted);
    EXPECT_EQ(ui.execTitles, std::vector<QString>{"Conversion Report"});
    EXPECT_EQ(lines,
              QStringList{"one.wav | " + folder + " | skipped: the output would replace a source file"});
    EXPECT_EQ(testutil::probe(dir / "two.wav").codec, "pcm_s16le");

    // a run with nothing to say shows no report
    ui.execTitles.clear();
    win.ListModel().SetMark(0, RowMark::NotConverted);
    win.List().DeleteRowsExcept({1});
    fs::remove(dir / "two.wav");
    win.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 60000));
    EXPECT_TRUE(ui.execTitles.empty());
}

// A dropped folder converted with its tree kept, going on after a file that went missing: the
// failed row has its own mark, the others convert into their sub-folders, the report names it.
TEST(WindowRun, KeepTheTreeAndGoOnAfterAnError) {
    testutil::TempDir dir;
    apptest::FakeUi ui;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    AddRunPart(parts);
    TfrmMain win(ui, SettingsStore(QString::fromStdString((dir / "s" / "Quillotone.conf").string())),
                 QString::fromStdString(dir.path().string()), ProductLinks{"h", "m"}, parts);
    for (const char* name : {"a/one.wav", "b/gone.wav", "b/c/two.wav"}) {
        fs::create_directories((dir / "music" / name).parent_path());
        ASSERT_TRUE(testutil::makeTone(dir / "music" / name, {"-c:a", "pcm_s16le"}, 0.5));
    }
    ASSERT_TRUE(testutil::makeTone(dir / "loose.wav", {"-c:a", "pcm_s16le"}, 0.5));
    win.AddPaths({QString::fromStdString((dir / "music").string()),
                  QString::fromStdString((dir / "loose.wav").string())});
    ASSERT_EQ(win.ListModel().rowCount(), 4);
    fs::remove(dir / "music" / "b" / "gone.wav");
    win.edtoutFolder->setText(QString::fromStdString((dir / "out").string()));
    win.cmboutFormat->setCurrentIndex(0);
    win.chkRename->setChecked(false);
    win.chkKeepTree->setChecked(true);
    win.chkGoOn->setChecked(true);
    win.chkShowSucc->setChecked(false);
    QStringList lines;
    ui.onExec = [&](QDialog& d) {
        if (auto* report = dynamic_cast<TfrmImpErr*>(&d))
            for (int i = 0; i < report->EntryCount(); ++i)
                lines << report->EntryText(i, 0) + " | " + report->EntryText(i, 2);
    };
    win.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return !win.IsConverting(); }, 60000));
    for (int row = 0; row < 4; ++row) {
        const bool gone = win.ListModel().Path(row).endsWith("gone.wav");
        EXPECT_EQ(win.ListModel().Mark(row), gone ? RowMark::Failed : RowMark::Converted) << row;
    }
    for (const char* name : {"a/one.mp3", "b/c/two.mp3", "loose.mp3"})
        EXPECT_EQ(testutil::probe(dir / "out" / name).codec, "mp3") << name;
    EXPECT_FALSE(fs::exists(dir / "out" / "b" / "gone.mp3"));
    EXPECT_EQ(lines, QStringList{"gone.wav | failed: the file is missing"});
    if (const char* shots = std::getenv("QUILLOTONE_SHOTS"))
        win.grab().save(QString(shots) + "/keep-tree-go-on.png");
}

} // namespace
