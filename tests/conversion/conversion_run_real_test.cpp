// The run with the real component: four sources of every kind into each output format through
// sub-folder patterns, and bad input met during a run.
#include "common/test_files.h"
#include "conversion/convert_component.h"
#include "run_fakes.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <filesystem>

using namespace runtest;
using testutil::TempDir;
namespace fs = std::filesystem;

namespace {

struct SourceFile {
    const char* name;
    std::vector<std::string> codec;
    const char* artist;
    const char* album;
    const char* track;
    const char* title;
};

const SourceFile kSources[] = {
    {"a.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, "Ann", "First", "1", "One"},
    {"b.ogg", {"-c:a", "libvorbis"}, "Ann", "First", "2", "Two: Again?"},
    {"c.wav", {"-c:a", "pcm_s16le"}, "Bob", "Second", "3", "Three/Four"},
    {"d.wma", {"-c:a", "wmav2", "-b:a", "128k"}, "Bob", "Second", "4", "Five"},
};

const char* const kCodecs[] = {"mp3", "vorbis", "pcm_s16le", "wmav2"};
const char* const kExtensions[] = {".mp3", ".ogg", ".wav", ".wma"};

class RealRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sources = new TempDir;
        for (const SourceFile& s : kSources)
            testutil::makeTone(*sources / s.name, s.codec, 1.0);
    }
    static void TearDownTestSuite() {
        delete sources;
        sources = nullptr;
    }
    static TempDir* sources;

    void listSources(FakeHost& host) {
        for (const SourceFile& s : kSources) {
            host.addRow(QString::fromStdString((*sources / s.name).string()));
            NamingRow& r = host.rows.back();
            r.artist = s.artist;
            r.album = s.album;
            r.track = s.track;
            r.title = s.title;
        }
    }
};

TempDir* RealRun::sources = nullptr;

TEST_F(RealRun, FourSourcesIntoEachFormatWithSubFolders) {
    const QString patterns[] = {"<artist>\\<album>\\<number> - <title>",
                                "<ALBUM>\\<number>. <artist> - <title>",
                                "<artist> - <album>\\<number>. <title>", "<title>"};
    const QStringList expected[] = {{"Ann/First/1 - One", "Ann/First/2 - Two  Again ",
                                     "Bob/Second/3 - Three_Four", "Bob/Second/4 - Five"},
                                    {"First/1. Ann - One", "First/2. Ann - Two  Again ",
                                     "Second/3. Bob - Three_Four", "Second/4. Bob - Five"},
                                    {"Ann - First/1. One", "Ann - First/2. Two  Again ",
                                     "Bob - Second/3. Three_Four", "Bob - Second/4. Five"},
                                    {"One", "Two  Again ", "Three_Four", "Five"}};
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(format);
        TempDir out;
        TAudioConvert convert;
        FakeHost host;
        TConversionRun run(convert, host);
        listSources(host);
        host.settings.outFormat = static_cast<OutFormat>(format);
        host.settings.targetFolder = QString::fromStdString((out / "music").string()); // made by the run
        host.settings.naming.rename = true;
        host.settings.naming.prefix = false;
        host.settings.naming.property = true;
        host.settings.naming.pattern = patterns[format];
        host.settings.showSuccess = true;
        run.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !run.IsConverting(); }, 120000));
        EXPECT_EQ(host.marks, (std::vector<int>{2, 2, 2, 2}));
        EXPECT_TRUE(host.matching("error").isEmpty());
        EXPECT_EQ(host.matching("plain"), QStringList{"plain Conversion complete!"});
        for (const QString& name : expected[format]) {
            fs::path file = out / "music" / (name + kExtensions[format]).toStdString();
            testutil::ProbeInfo info = testutil::probe(file);
            EXPECT_TRUE(info.ok) << file;
            EXPECT_EQ(info.codec, kCodecs[format]) << file;
            EXPECT_NEAR(info.duration, 1.0, 0.2) << file;
        }
    }
}

// Files below the folder, as paths relative to it.
std::vector<std::string> filesBelow(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (!e.is_directory()) names.push_back(e.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct BadCase {
    const char* what;
    int code;
};

TEST_F(RealRun, BadInputEndsTheRunWithTheComponentsMessage) {
    const BadCase cases[] = {{"source deleted after listing", -12},
                             {"output folder cannot be created", -20},
                             {"unwritable target", -20},
                             {"full disk", -24}};
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        TAudioConvert convert;
        FakeHost host;
        TConversionRun run(convert, host);
        listSources(host);
        host.settings.targetFolder = QString::fromStdString(out.path().string());
        const std::string what = c.what;
        if (what == "source deleted after listing") {
            fs::copy_file(*sources / "b.ogg", out / "gone.ogg");
            host.rows[1].source = QString::fromStdString((out / "gone.ogg").string());
            fs::remove(out / "gone.ogg");
        } else if (what == "output folder cannot be created") {
            // a file stands where the artist's folder would go
            testutil::writeFile(out / "Ann", {1});
            host.settings.naming.rename = true;
            host.settings.naming.prefix = false;
            host.settings.naming.property = true;
            host.settings.naming.pattern = "<artist>\\<title>";
        } else if (what == "unwritable target") {
            host.settings.targetFolder = "/proc"; // not even root may create files there
        } else {
            fs::create_symlink("/dev/full", out / "a.mp3");
        }
        run.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !run.IsConverting(); }, 60000));
        const int failedRow = what == "source deleted after listing" ? 1 : 0;
        EXPECT_EQ(host.matching("error"),
                  QStringList{"error Process Error: " + TConversionRun::ConversionErrorText(c.code)});
        EXPECT_EQ(run.State(), RunState::Failed);
        EXPECT_EQ(host.marks[size_t(failedRow)], 1);
        EXPECT_EQ(host.caption, "&Convert Now");
        EXPECT_TRUE(host.controlsEnabled);
        EXPECT_FALSE(host.progressVisible);
        settle(200);
        if (what == "unwritable target") continue;
        std::vector<std::string> left = filesBelow(out.path());
        std::vector<std::string> want;
        if (what == "source deleted after listing") want = {"a.mp3"};
        if (what == "output folder cannot be created") want = {"Ann"};
        if (what == "full disk") want = {"a.mp3"}; // the link, nothing beside it
        EXPECT_EQ(left, want);
    }
}

} // namespace
