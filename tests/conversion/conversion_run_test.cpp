// The run's order against a scripted component: marks, captions, questions, messages, the step
// timer and the stop.
#include "common/test_files.h"
#include "run_fakes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace runtest;

namespace {

struct RunFixture : ::testing::Test {
    testutil::TempDir dir;
    FakeConvert convert;
    FakeHost host;
    TConversionRun run{convert, host};
    QString out, src;

    void SetUp() override {
        out = QString::fromStdString((dir / "out").string());
        src = QString::fromStdString((dir / "src").string());
        QDir().mkpath(src);
        host.settings.targetFolder = out;
        host.clock = &convert.clock;
    }
    QString srcFile(int i) const { return src + QString("/f%1.wav").arg(i); }
    void rows(int n) {
        for (int i = 0; i < n; ++i) {
            testutil::writeFile(srcFile(i).toStdString(), {0});
            host.addRow(srcFile(i));
        }
    }
    QString outFile(int i) const { return out + QString("/f%1.mp3").arg(i); }
    bool finished() const { return !run.IsConverting(); }
    void expectIdleWindow() const {
        EXPECT_FALSE(run.IsConverting());
        EXPECT_EQ(host.caption, "&Convert Now");
        EXPECT_TRUE(host.controlsEnabled);
        EXPECT_FALSE(host.progressVisible);
        EXPECT_FALSE(run.TimeState().isActive());
    }
};

TEST_F(RunFixture, ThreeRowsInOrderWithTheStartSequence) {
    rows(3);
    host.settings.showSuccess = true;
    host.settings.openDestination = true;
    run.ActConvertExecute();
    EXPECT_TRUE(run.IsConverting());
    EXPECT_EQ(host.caption, "&Stop Conversion");
    EXPECT_EQ(host.log.mid(0, 9),
              (QStringList{"apply", "mark 0 0", "mark 1 0", "mark 2 0", "controls off",
                           "caption &Stop Conversion", "progress shown", "mark 0 1", "scroll 0"}));
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 2}));
    ASSERT_EQ(convert.calls.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(convert.calls[size_t(i)].source, srcFile(i));
        EXPECT_EQ(convert.calls[size_t(i)].destination, outFile(i));
    }
    // the next file starts a step after the last one ended (two 10 ms events each)
    EXPECT_GE(convert.calls[1].atMs - convert.calls[0].atMs, 100 + 20 - 2);
    expectIdleWindow();
    EXPECT_EQ(run.State(), RunState::FileDone);
    EXPECT_TRUE(QFileInfo(out).isDir()); // the run made the target folder
    EXPECT_EQ(host.log.mid(host.log.size() - 3),
              (QStringList{"progress hidden", "plain Conversion complete!", "explore " + out}));
}

TEST_F(RunFixture, CompletionActionsOff) {
    rows(1);
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_TRUE(host.matching("plain").isEmpty());
    EXPECT_TRUE(host.matching("explore").isEmpty());
    expectIdleWindow();
}

TEST_F(RunFixture, NoToTheOverwriteQuestionSkipsTheRow) {
    rows(3);
    host.settings.promptExist = true;
    QDir().mkpath(out);
    testutil::writeFile(outFile(1).toStdString(), {1, 2, 3});
    host.answers = {false};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 2}));
    ASSERT_EQ(convert.calls.size(), 2u);
    EXPECT_EQ(convert.calls[1].destination, outFile(2));
    EXPECT_EQ(host.matching("ask"), QStringList{"ask Overwrite Confirm: " + outFile(1) +
                                                " already exists. Do you want to replace it?"});
    EXPECT_GE(convert.calls[1].atMs - host.lastQuestionMs, 99);
    EXPECT_EQ(testutil::readFile(outFile(1).toStdString()), (std::vector<uint8_t>{1, 2, 3}));
    expectIdleWindow();
}

TEST_F(RunFixture, NoForTheLastRowEndsWithoutCompletionActions) {
    rows(2);
    host.settings.promptExist = true;
    host.settings.showSuccess = true;
    host.settings.openDestination = true;
    QDir().mkpath(out);
    testutil::writeFile(outFile(1).toStdString(), {1});
    host.answers = {false};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0}));
    EXPECT_EQ(convert.calls.size(), 1u);
    EXPECT_EQ(run.State(), RunState::FileDone);
    EXPECT_TRUE(host.matching("plain").isEmpty());
    EXPECT_TRUE(host.matching("explore").isEmpty());
    expectIdleWindow();
}

// Every row the run reaches is reported once, and a run told to go on after an error converts the
// rows after the failed one.
TEST_F(RunFixture, GoingOnAfterAnErrorReportsEveryRow) {
    rows(4);
    host.settings.goOnAfterError = true;
    host.settings.promptExist = true;
    QDir().mkpath(out);
    testutil::writeFile(outFile(0).toStdString(), {1});
    host.answers = {false};
    convert.scripts = {Script{{20}, -12, {}}};
    int finishedSignals = 0;
    QObject::connect(&run, &TConversionRun::Finished, [&] { ++finishedSignals; });
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("row"),
              (QStringList{"row 0 skipped " + srcFile(0) + " -> " + outFile(0) + ": the output exists",
                           "row 1 failed " + srcFile(1) + " -> " + outFile(1) + ": Wrong file format",
                           "row 2 converted " + srcFile(2) + " -> " + outFile(2) + ": ",
                           "row 3 converted " + srcFile(3) + " -> " + outFile(3) + ": "}));
    EXPECT_TRUE(host.matching("error").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{0, 3, 2, 2})); // the failed row has a mark of its own
    EXPECT_EQ(finishedSignals, 1);
    expectIdleWindow();
}

TEST_F(RunFixture, YesToTheQuestionConverts) {
    rows(1);
    host.settings.promptExist = true;
    QDir().mkpath(out);
    testutil::writeFile(outFile(0).toStdString(), {1});
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("ask").size(), 1);
    EXPECT_EQ(convert.calls.size(), 1u);
    EXPECT_EQ(host.marks, std::vector<int>{2});
}

TEST_F(RunFixture, StopDuringTheSecondOfThree) {
    rows(3);
    convert.scripts = {Script{}, Script{{30}, 0, {}}}; // the second never finishes by itself
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return convert.calls.size() == 2 && host.progress == 30; }));
    EXPECT_EQ(convert.stops, 0);
    run.ActConvertExecute(); // the click, or the window closing
    EXPECT_EQ(convert.stops, 1);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0})); // the stopped row is not left "being converted"
    EXPECT_EQ(run.State(), RunState::StopRequested);
    settle(300);
    EXPECT_EQ(convert.calls.size(), 2u);
    EXPECT_EQ(convert.stops, 1);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(host.matching("apply").size(), 2); // the stop click applies the inspector too
    expectIdleWindow();
}

TEST_F(RunFixture, ClickInThePauseIsAStop) {
    rows(3);
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return host.marks[0] == 2; }));
    ASSERT_TRUE(run.TimeState().isActive());
    EXPECT_TRUE(run.IsConverting());
    run.ActConvertExecute();
    EXPECT_EQ(convert.stops, 0); // nothing was converting
    settle(300);
    EXPECT_EQ(convert.calls.size(), 1u);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(run.State(), RunState::StopRequested);
    expectIdleWindow();
}

struct ErrorCase {
    int code;
    const char* text;
};

class RunErrors : public RunFixture, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(RunErrors, ShowTheCodeAndEndTheRun) {
    rows(2);
    convert.scripts = {Script{{20}, GetParam().code, {}}};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("error"), QStringList{QString("error Process Error: ") + GetParam().text});
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0}));
    EXPECT_EQ(run.State(), RunState::Failed);
    EXPECT_EQ(run.ErrorCode(), GetParam().code);
    settle(200);
    EXPECT_EQ(convert.calls.size(), 1u);
    expectIdleWindow();
    // the message comes before the window is restored
    EXPECT_LT(host.log.indexOf(host.matching("error").value(0)), host.log.lastIndexOf("controls on"));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RunErrors,
    ::testing::Values(ErrorCase{-12, "Occur Error: Wrong file format, \r\nprocess would exit!"},
                      ErrorCase{-10, "Occur Error: the application is busy,\r\nprocess would exit!"},
                      ErrorCase{-99, "Occur Error: Other unexpected error, \r\nprocess would exit!"},
                      ErrorCase{-23, "Occur Error: Incorrect address to the array. Index out of the array "
                                     "range, \r\nprocess would exit!"}));

TEST(RunErrorTable, EveryCode) {
    const std::pair<int, const char*> table[] = {
        {-10, "the application is busy,"},
        {-11, "Memory Error, "},
        {-12, "Wrong file format, "},
        {-13, "Unsupported audio file format, "},
        {-14, "Output audio device error, "},
        {-15, "Input audio device error, "},
        {-16, "Mixer device driver error, "},
        {-17, "ACM driver error, "},
        {-18, "The specified file is already in use, "},
        {-19, "Invalid operation, "},
        {-20, "Invalid parameters, "},
        {-21, "Incorrect CD driver operation, "},
        {-22, "Control not installed, "},
        {-23, "Incorrect address to the array. Index out of the array range, "},
        {-24, "Stream error, "},
        {-40, "Unexpected error, "},
        {-1, "Other unexpected error, "},
        {0, "Other unexpected error, "}};
    for (const auto& [code, text] : table)
        EXPECT_EQ(TConversionRun::ConversionErrorMessage(code), text) << code;
}

TEST_F(RunFixture, NewRunResetsMarksAndStartsAtTheTop) {
    rows(2);
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2}));
    host.log.clear();
    run.ActConvertExecute();
    EXPECT_EQ(host.log.mid(0, 3), (QStringList{"apply", "mark 0 0", "mark 1 0"}));
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    ASSERT_EQ(convert.calls.size(), 4u);
    EXPECT_EQ(convert.calls[2].source, srcFile(0));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2}));
}

TEST_F(RunFixture, EmptyListOrTargetFolderStartsNothing) {
    run.ActConvertExecute();
    EXPECT_FALSE(run.IsConverting());
    rows(1);
    host.settings.targetFolder.clear();
    run.ActConvertExecute();
    EXPECT_FALSE(run.IsConverting());
    EXPECT_TRUE(convert.calls.empty());
    EXPECT_TRUE(host.matching("controls").isEmpty());
}

// A drop-down without a selection (a negative stored index) names no format: nothing is converted,
// where a WMA stream once went into files without an extension.
TEST_F(RunFixture, NoOutputFormatStartsNothing) {
    rows(1);
    host.settings.outFormat = std::nullopt;
    run.ActConvertExecute();
    EXPECT_FALSE(run.IsConverting());
    EXPECT_TRUE(convert.calls.empty());
    EXPECT_EQ(host.marks, (std::vector<int>{0}));
    EXPECT_TRUE(host.matching("controls").isEmpty());
}

TEST_F(RunFixture, FormatPicksTheOperationAndTagsEachConvertedFile) {
    rows(2);
    host.settings.outFormat = OutFormat::Ogg;
    std::vector<std::tuple<QString, int, OutFormat>> tagged;
    run.SetTagConvertedFile([&](const QString& d, int row, OutFormat f) {
        tagged.emplace_back(d, row, f);
        return row == 1 ? QStringList{"picture (front cover)", "Lyrics"} : QStringList{};
    });
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    ASSERT_EQ(convert.calls.size(), 2u);
    EXPECT_EQ(convert.calls[0].format, 1);
    EXPECT_EQ(convert.calls[0].destination, out + "/f0.ogg");
    ASSERT_EQ(tagged.size(), 2u);
    EXPECT_EQ(tagged[1], std::make_tuple(out + "/f1.ogg", 1, OutFormat::Ogg));
    // what the tagging could not carry is reported with its row
    EXPECT_EQ(host.matching("row 1 converted"),
              QStringList{"row 1 converted " + srcFile(1) + " -> " + out +
                          "/f1.ogg: ; not carried: picture (front cover), Lyrics"});
    EXPECT_EQ(host.matching("row 0 converted"),
              QStringList{"row 0 converted " + srcFile(0) + " -> " + out + "/f0.ogg: "});
}

TEST_F(RunFixture, ComponentCallErrorOnTheFirstRowIsSilent) {
    rows(2);
    convert.scripts = {Script{{}, 0, "engine gone"}};
    run.ActConvertExecute();
    EXPECT_TRUE(host.matching("general").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0}));
    expectIdleWindow();
}

TEST_F(RunFixture, ComponentCallErrorOnALaterRowIsShown) {
    rows(3);
    convert.scripts = {Script{}, Script{{}, 0, "engine gone"}};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("general"), QStringList{"general engine gone"});
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(host.matching("row 1"),
              QStringList{"row 1 failed " + srcFile(1) + " -> " + outFile(1) + ": engine gone"});
    settle(200);
    EXPECT_EQ(convert.calls.size(), 1u);
    expectIdleWindow();
}

// Going on after an error also goes on after a component call or a tagging step that throws.
TEST_F(RunFixture, GoingOnAfterAThrowingStep) {
    rows(4);
    host.settings.goOnAfterError = true;
    convert.scripts = {Script{{}, 0, "engine gone"}, Script{}, Script{}};
    run.SetTagConvertedFile([&](const QString&, int row, OutFormat) {
        if (row == 2) throw std::runtime_error("cannot open the output");
        return QStringList{};
    });
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{3, 2, 3, 2}));
    EXPECT_TRUE(host.matching("general").isEmpty());
    EXPECT_EQ(host.matching("row 0"),
              QStringList{"row 0 failed " + srcFile(0) + " -> " + outFile(0) + ": engine gone"});
    EXPECT_EQ(host.matching("row 2"),
              QStringList{"row 2 failed " + srcFile(2) + " -> " + outFile(2) + ": cannot open the output"});
    expectIdleWindow();
}

TEST_F(RunFixture, TaggingErrorEndsTheRun) {
    rows(3);
    int tags = 0;
    run.SetTagConvertedFile([&](const QString&, int row, OutFormat) {
        ++tags;
        if (row == 1) throw std::runtime_error("cannot open the output");
        return QStringList{};
    });
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(tags, 2);
    EXPECT_EQ(host.matching("general"), QStringList{"general cannot open the output"});
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    settle(200);
    EXPECT_EQ(convert.calls.size(), 2u);
    EXPECT_EQ(convert.stops, 0);
    expectIdleWindow();
}

TEST_F(RunFixture, EventsOutsideAFileAreIgnored) {
    rows(1);
    emit convert.OnError(-12);
    emit convert.OnConvertBlock(100);
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_EQ(run.State(), RunState::Idle);
}

// A run never writes over a row's source: not when the target is the source folder, nor through a
// link. Such a row is skipped without a question, and the report says why.
TEST_F(RunFixture, AnOutputThatIsASourceIsSkipped) {
    rows(4); // f0..f3.wav in src
    host.settings.targetFolder = src;
    host.settings.outFormat = OutFormat::Wav;
    host.settings.promptExist = true;
    // f1's output is f1.wav itself; f2's is a hard link to f0; f3's a symbolic link to f0
    QFile::remove(src + "/f2.wav");
    QFile::remove(src + "/f3.wav");
    testutil::writeFile((dir / "other2.mp3").string(), {0});
    testutil::writeFile((dir / "other3.mp3").string(), {0});
    host.rows[2].source = QString::fromStdString((dir / "other2.mp3").string());
    host.rows[3].source = QString::fromStdString((dir / "other3.mp3").string());
    ASSERT_EQ(
        ::link(QFile::encodeName(srcFile(0)).constData(), QFile::encodeName(src + "/other2.wav").constData()),
        0);
    ASSERT_TRUE(QFile::link(srcFile(0), src + "/other3.wav"));
    const auto before = testutil::readFile(srcFile(0).toStdString());
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_TRUE(convert.calls.empty());
    EXPECT_TRUE(host.matching("ask").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(host.matching("row"), (QStringList{"row 0 skipped " + srcFile(0) + " -> " + src +
                                                     "/f0.wav: the output would replace a source file",
                                                 "row 1 skipped " + srcFile(1) + " -> " + src +
                                                     "/f1.wav: the output would replace a source file",
                                                 "row 2 skipped " + host.rows[2].source + " -> " + src +
                                                     "/other2.wav: the output would replace a source file",
                                                 "row 3 skipped " + host.rows[3].source + " -> " + src +
                                                     "/other3.wav: the output would replace a source file"}));
    EXPECT_EQ(testutil::readFile(srcFile(0).toStdString()), before);
    expectIdleWindow();
}

// Two rows whose outputs share a name: the later one takes the next free numbered name.
TEST_F(RunFixture, ASecondOutputOfTheSameNameIsNumbered) {
    QDir().mkpath(src + "/A");
    QDir().mkpath(src + "/B");
    for (const char* name : {"/A/song.mp3", "/B/song.ogg", "/B/song.wav"}) {
        testutil::writeFile((src + name).toStdString(), {0});
        host.addRow(src + name);
    }
    QDir().mkpath(out);
    testutil::writeFile((out + "/song (2).mp3").toStdString(), {7}); // the user's, not this run's
    // tagging writes a new file and renames it over the output, as the tag writers do
    run.SetTagConvertedFile([](const QString& d, int, OutFormat) {
        QFile::copy(d, d + ".new");
        ::rename(QFile::encodeName(d + ".new").constData(), QFile::encodeName(d).constData());
        return QStringList{};
    });
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 2}));
    EXPECT_EQ(host.matching("row"),
              (QStringList{"row 0 converted " + src + "/A/song.mp3 -> " + out + "/song.mp3: ",
                           "row 1 converted " + src + "/B/song.ogg -> " + out +
                               "/song (3).mp3: renamed: another output of this run has that name",
                           "row 2 converted " + src + "/B/song.wav -> " + out +
                               "/song (4).mp3: renamed: another output of this run has that name"}));
    EXPECT_EQ(testutil::readFile((out + "/song.mp3").toStdString()).size(),
              (src + "/A/song.mp3").toUtf8().size());
    EXPECT_EQ(testutil::readFile((out + "/song (2).mp3").toStdString()), std::vector<uint8_t>{7});
}

// A source gone since it was listed fails as missing, not as a wrong format, and its mark is reset.
TEST_F(RunFixture, AMissingSourceIsSaidToBeMissing) {
    rows(3);
    QFile::remove(srcFile(1));
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("error"), QStringList{"error Process Error: Occur Error: the file " + srcFile(1) +
                                                  " is missing, \r\nprocess would exit!"});
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(convert.calls.size(), 1u);
    EXPECT_EQ(host.matching("row 1"),
              QStringList{"row 1 failed " + srcFile(1) + " -> : the file is missing"});
    expectIdleWindow();
}

// A stop removes the folders the run made and left empty; what holds an output stays.
TEST_F(RunFixture, AStopRemovesTheEmptyFoldersOfTheRun) {
    rows(2);
    host.rows[0].artist = "Ann";
    host.rows[1].artist = "Bob";
    host.rows[0].track = "1";
    host.rows[1].track = "2";
    host.settings.naming.rename = true;
    host.settings.naming.prefix = false;
    host.settings.naming.property = true;
    host.settings.naming.pattern = "<artist>\\CD\\<number>";
    QDir().mkpath(out + "/Bob"); // the user's: stays
    convert.scripts = {Script{}, Script{{30}, 0, {}}};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return convert.calls.size() == 2 && host.progress == 30; }));
    ASSERT_TRUE(QFileInfo(out + "/Bob/CD").isDir());
    run.ActConvertExecute();
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0}));
    EXPECT_TRUE(QFileInfo(out + "/Ann/CD/1.mp3").isFile());
    EXPECT_FALSE(QFileInfo::exists(out + "/Bob/CD"));
    EXPECT_TRUE(QFileInfo(out + "/Bob").isDir());

    // a stop on the first row of a run that made the target folder leaves no folder at all
    QDir(out).removeRecursively();
    convert.scripts = {Script{{30}, 0, {}}};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return host.progress == 30 && convert.calls.size() == 3; }));
    ASSERT_TRUE(QFileInfo(out + "/Ann/CD").isDir());
    run.ActConvertExecute();
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0}));
    expectIdleWindow();
}

// A target folder that cannot be made says which and why, and starts nothing.
TEST_F(RunFixture, ATargetFolderThatCannotBeMadeIsSaid) {
    rows(1);
    host.settings.targetFolder = "/dev/null/music";
    run.ActConvertExecute();
    EXPECT_FALSE(run.IsConverting());
    EXPECT_EQ(host.matching("error"),
              QStringList{"error Process Error: Occur Error: the folder /dev/null/music cannot be created: "
                          "Not a directory, \r\nprocess would exit!"});
    EXPECT_TRUE(convert.calls.empty());
    EXPECT_TRUE(host.matching("controls").isEmpty());
}

// "Yes to All" and "No to All" answer the rest of this run; the next run asks again.
TEST_F(RunFixture, ToAllHoldsForTheRestOfTheRun) {
    rows(3);
    host.settings.promptExist = true;
    QDir().mkpath(out);
    for (int i = 0; i < 3; ++i)
        testutil::writeFile(outFile(i).toStdString(), {9});
    host.allAnswers = {OverwriteAnswer::YesToAll};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("ask").size(), 1);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 2}));

    host.log.clear();
    host.allAnswers = {OverwriteAnswer::Yes, OverwriteAnswer::NoToAll};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("ask").size(), 2);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(host.matching("row 2"),
              QStringList{"row 2 skipped " + srcFile(2) + " -> " + outFile(2) + ": the output exists"});
}

} // namespace

namespace {

TEST(RunLifetime, WindowGoingAwayDuringAFileStopsTheComponentOnce) {
    testutil::TempDir dir;
    FakeConvert convert;
    FakeHost host;
    host.settings.targetFolder = QString::fromStdString((dir / "out").string());
    testutil::writeFile(dir / "a.wav", {0});
    host.addRow(QString::fromStdString((dir / "a.wav").string()));
    convert.scripts = {Script{{10}, 0, {}}};
    auto run = std::make_unique<TConversionRun>(convert, host);
    run->ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return host.progress == 10; }));
    // closing the window asks the run to stop first; destroying it afterwards stops nothing more
    run->ActConvertExecute();
    run.reset();
    EXPECT_EQ(convert.stops, 1);

    host.marks = {0};
    convert.scripts = {Script{{10}, 0, {}}};
    run = std::make_unique<TConversionRun>(convert, host);
    run->ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return convert.calls.size() == 2; }));
    run.reset(); // torn down without the close
    EXPECT_EQ(convert.stops, 2);
    settle(50);
}

} // namespace
