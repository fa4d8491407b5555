// The run's order against a scripted component: marks, captions, questions, messages, the step
// timer and the stop.
#include "common/test_files.h"
#include "run_fakes.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace runtest;

namespace {

struct RunFixture : ::testing::Test {
    testutil::TempDir dir;
    FakeConvert convert;
    FakeHost host;
    TConversionRun run{convert, host};
    QString out;

    void SetUp() override {
        out = QString::fromStdString((dir / "out").string());
        host.settings.targetFolder = out;
        host.clock = &convert.clock;
    }
    void rows(int n) {
        for (int i = 0; i < n; ++i)
            host.addRow(QString("/src/f%1.wav").arg(i));
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
        EXPECT_EQ(convert.calls[size_t(i)].source, QString("/src/f%1.wav").arg(i));
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
              (QStringList{"row 0 skipped /src/f0.wav -> " + outFile(0) + ": the output exists",
                           "row 1 failed /src/f1.wav -> " + outFile(1) + ": Wrong file format",
                           "row 2 converted /src/f2.wav -> " + outFile(2) + ": ",
                           "row 3 converted /src/f3.wav -> " + outFile(3) + ": "}));
    EXPECT_TRUE(host.matching("error").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0, 2, 2}));
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
    EXPECT_EQ(host.marks, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(run.State(), RunState::StopRequested);
    settle(300);
    EXPECT_EQ(convert.calls.size(), 2u);
    EXPECT_EQ(convert.stops, 1);
    EXPECT_EQ(host.marks, (std::vector<int>{2, 1, 0}));
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
    EXPECT_EQ(host.marks, (std::vector<int>{1, 0}));
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
    EXPECT_EQ(convert.calls[2].source, "/src/f0.wav");
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
              QStringList{"row 1 converted /src/f1.wav -> " + out +
                          "/f1.ogg: ; not carried: picture (front cover), Lyrics"});
    EXPECT_EQ(host.matching("row 0 converted"),
              QStringList{"row 0 converted /src/f0.wav -> " + out + "/f0.ogg: "});
}

TEST_F(RunFixture, ComponentCallErrorOnTheFirstRowIsSilent) {
    rows(2);
    convert.scripts = {Script{{}, 0, "engine gone"}};
    run.ActConvertExecute();
    EXPECT_TRUE(host.matching("general").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{1, 0}));
    expectIdleWindow();
}

TEST_F(RunFixture, ComponentCallErrorOnALaterRowIsShown) {
    rows(3);
    convert.scripts = {Script{}, Script{{}, 0, "engine gone"}};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("general"), QStringList{"general engine gone"});
    EXPECT_EQ(host.marks, (std::vector<int>{2, 1, 0}));
    settle(200);
    EXPECT_EQ(convert.calls.size(), 1u);
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
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 0}));
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

} // namespace

namespace {

TEST(RunLifetime, WindowGoingAwayDuringAFileStopsTheComponentOnce) {
    testutil::TempDir dir;
    FakeConvert convert;
    FakeHost host;
    host.settings.targetFolder = QString::fromStdString((dir / "out").string());
    host.addRow("/src/a.wav");
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
