// The run with several files at once against scripted components made by the factory: list order,
// free slots, the stop, errors, the question and outputs of the same name.
#include "common/test_files.h"
#include "run_fakes.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <memory>

using namespace runtest;

namespace {

struct PoolFixture : ::testing::Test {
    testutil::TempDir dir;
    FakePool pool;
    FakeConvert convert{&pool, 0};
    FakeHost host;
    TConversionRun run{convert, host};
    int made = 0;
    QString out, src;

    void SetUp() override {
        out = QString::fromStdString((dir / "out").string());
        src = QString::fromStdString((dir / "src").string());
        QDir().mkpath(src);
        host.settings.targetFolder = out;
        host.settings.filesAtOnce = 2;
        run.SetMakeConvert([this](OutFormat) { return std::make_unique<FakeConvert>(&pool, ++made); });
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
    QStringList sourcesCalled() const {
        QStringList s;
        for (const Call& c : pool.calls)
            s << c.source;
        return s;
    }
    void expectIdleWindow() const {
        EXPECT_FALSE(run.IsConverting());
        EXPECT_EQ(host.caption, "&Convert Now");
        EXPECT_TRUE(host.controlsEnabled);
        EXPECT_FALSE(host.progressVisible);
    }
};

TEST_F(PoolFixture, RowsStartInListOrderAndAFreeSlotTakesTheNextAtOnce) {
    rows(5);
    host.settings.showSuccess = true;
    // the first row is long: the other slot converts the next three meanwhile
    pool.scriptFor = [this](const QString& s) {
        return s == srcFile(0) ? Script{{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 0, {}} : Script{};
    };
    run.ActConvertExecute();
    EXPECT_EQ(host.marks, (std::vector<int>{1, 1, 0, 0, 0})); // both running rows carry the play mark
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(made, 1); // the window's component and one more
    EXPECT_EQ(pool.mostRunning, 2);
    QStringList expected;
    for (int i = 0; i < 5; ++i)
        expected << srcFile(i);
    EXPECT_EQ(sourcesCalled(), expected);
    ASSERT_EQ(pool.calls.size(), 5u);
    EXPECT_EQ(pool.calls[0].instance, 0);
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(pool.calls[i].instance, 1) << i;
    // no step pause between the rows of one slot
    EXPECT_LT(pool.calls[3].atMs - pool.calls[1].atMs, 2 * 100);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pool.calls[size_t(i)].destination, outFile(i));
    EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 2, 2, 2}));
    EXPECT_EQ(host.matching("row").size(), 5);
    EXPECT_EQ(host.matching("plain"), QStringList{"plain Conversion complete!"});
    EXPECT_EQ(host.progress, 100);
    expectIdleWindow();
}

TEST_F(PoolFixture, OneFileAtATimeWithoutAFactoryOrWithOne) {
    for (int filesAtOnce : {1, 4}) {
        SCOPED_TRACE(filesAtOnce);
        FakeConvert single;
        FakeHost h;
        TConversionRun r(single, h);
        if (filesAtOnce == 1) r.SetMakeConvert([this](OutFormat) { return std::make_unique<FakeConvert>(); });
        h.settings.targetFolder = out;
        h.settings.filesAtOnce = filesAtOnce; // without a factory 4 still means one at a time
        testutil::writeFile(srcFile(0).toStdString(), {0});
        testutil::writeFile(srcFile(1).toStdString(), {0});
        h.addRow(srcFile(0));
        h.addRow(srcFile(1));
        r.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !r.IsConverting(); }));
        ASSERT_EQ(single.calls.size(), 2u);
        EXPECT_GE(single.calls[1].atMs - single.calls[0].atMs, 100 + 20 - 2); // the step pause
        EXPECT_EQ(made, 0);
    }
}

TEST_F(PoolFixture, TheStopStopsEveryRunningConversionOnce) {
    rows(5);
    host.settings.filesAtOnce = 3;
    pool.scriptFor = [](const QString&) { return Script{{30}, 0, {}}; }; // none finishes by itself
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return host.progress == 30 * 3 / 5; }));
    run.ActConvertExecute();
    EXPECT_EQ(pool.stops, 3);
    EXPECT_EQ(run.State(), RunState::StopRequested);
    settle(200);
    EXPECT_EQ(pool.calls.size(), 3u);
    EXPECT_EQ(pool.stops, 3);
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(host.matching("row").isEmpty()); // stopped rows are not reported
    EXPECT_TRUE(QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty());
    expectIdleWindow();
}

// The first error ends a run that does not go on as one file at a time would: the rows before the
// failed one finish, those after it stop unreported, and the error is shown once they are done.
TEST_F(PoolFixture, AnErrorEndsTheRunAfterTheRowsBeforeItUnlessTheRunGoesOn) {
    struct Case {
        int failing; // the row that fails while the other of the first two converts
        bool goOn;
    };
    for (const Case c : {Case{1, false}, Case{0, false}, Case{1, true}}) {
        SCOPED_TRACE(testing::Message() << "failing row " << c.failing << ", go on " << c.goOn);
        FakePool shared;
        FakeConvert first(&shared, 0);
        FakeHost h;
        TConversionRun r(first, h);
        r.SetMakeConvert([&](OutFormat) { return std::make_unique<FakeConvert>(&shared, 1); });
        testutil::TempDir d;
        h.settings.targetFolder = QString::fromStdString((d / "out").string());
        h.settings.filesAtOnce = 2;
        h.settings.goOnAfterError = c.goOn;
        for (int i = 0; i < 4; ++i) {
            testutil::writeFile(srcFile(i).toStdString(), {0});
            h.addRow(srcFile(i));
        }
        shared.scriptFor = [&](const QString& s) {
            if (s == srcFile(c.failing)) return Script{{20}, -24, {}};
            if (s == srcFile(1 - c.failing)) return Script{{10, 20, 30, 40, 50, 100}, 0, {}};
            return Script{};
        };
        r.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !r.IsConverting(); }));
        const QString other = h.settings.targetFolder + QString("/f%1.mp3").arg(1 - c.failing);
        if (c.goOn) {
            EXPECT_EQ(shared.calls.size(), 4u);
            EXPECT_EQ(shared.stops, 0);
            EXPECT_EQ(h.marks, (std::vector<int>{2, 3, 2, 2}));
            EXPECT_TRUE(h.matching("error").isEmpty());
            EXPECT_EQ(h.matching("row").size(), 4);
            EXPECT_EQ(h.matching("row 1 failed").size(), 1);
        } else if (c.failing == 1) { // row 0 finishes first, then the error ends the run
            EXPECT_EQ(shared.calls.size(), 2u);
            EXPECT_EQ(shared.stops, 0);
            EXPECT_EQ(h.marks, (std::vector<int>{2, 0, 0, 0}));
            ASSERT_EQ(h.matching("error").size(), 1);
            EXPECT_TRUE(h.matching("error")[0].contains("Stream error"));
            EXPECT_EQ(h.matching("row").size(), 2);
            EXPECT_GT(h.log.indexOf(h.matching("error")[0]), h.log.indexOf(h.matching("row 0 converted")[0]));
            EXPECT_TRUE(QFileInfo::exists(other));
        } else { // row 1, after the failed row 0, is stopped once and leaves nothing
            EXPECT_EQ(shared.calls.size(), 2u);
            EXPECT_EQ(shared.stops, 1);
            EXPECT_EQ(h.marks, (std::vector<int>{0, 0, 0, 0}));
            ASSERT_EQ(h.matching("error").size(), 1);
            EXPECT_EQ(h.matching("row").size(), 1);
            EXPECT_FALSE(QFileInfo::exists(other));
        }
        EXPECT_TRUE(h.controlsEnabled);
    }
}

TEST_F(PoolFixture, RowsOfTheSameOutputNameConvertingTogetherGetTwoFiles) {
    // two sources named alike in two folders, converting at the same time
    for (const char* folder : {"/a", "/b"}) {
        QDir().mkpath(src + folder);
        testutil::writeFile((src + folder + "/x.wav").toStdString(), {0});
        host.addRow(src + folder + "/x.wav");
    }
    pool.scriptFor = [](const QString&) { return Script{{10, 20, 30, 100}, 0, {}}; };
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    ASSERT_EQ(pool.calls.size(), 2u);
    EXPECT_EQ(pool.calls[0].destination, out + "/x.mp3");
    EXPECT_EQ(pool.calls[1].destination, out + "/x (2).mp3");
    EXPECT_EQ(pool.mostRunning, 2);
    EXPECT_EQ(host.matching("row 1 converted")[0].endsWith(RowReason::Renamed), true);
}

TEST_F(PoolFixture, NumberedNamesCountTheOutputsStillConverting) {
    rows(3);
    host.settings.filesAtOnce = 3;
    host.settings.naming.rename = true;
    host.settings.naming.prefix = true;
    host.settings.naming.prefixText = "n";
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    ASSERT_EQ(pool.calls.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pool.calls[size_t(i)].destination, out + QString("/n%1.mp3").arg(i + 1));
    EXPECT_TRUE(host.matching("row").filter(RowReason::Renamed).isEmpty());
}

TEST_F(PoolFixture, TheQuestionSkipsARowAndTheOthersGoOn) {
    rows(4);
    host.settings.promptExist = true;
    QDir().mkpath(out);
    testutil::writeFile(outFile(1).toStdString(), {7});
    testutil::writeFile(outFile(3).toStdString(), {7});
    host.allAnswers = {OverwriteAnswer::NoToAll};
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(host.matching("ask").size(), 1); // "No to All" holds for row 3
    EXPECT_EQ(host.marks, (std::vector<int>{2, 0, 2, 0}));
    EXPECT_EQ(pool.calls.size(), 2u);
    EXPECT_EQ(QFileInfo(outFile(3)).size(), 1); // not replaced
    EXPECT_EQ(host.matching("row 3 skipped").size(), 1);
}

} // namespace
