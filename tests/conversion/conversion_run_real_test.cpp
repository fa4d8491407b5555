// The run with the real component: four sources of every kind into each output format through
// sub-folder patterns, and bad input met during a run.
#include "common/test_files.h"
#include "conversion/convert_component.h"
#include "run_fakes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
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
    int code; // 0: a message of the run's own
};

TEST_F(RealRun, BadInputEndsTheRunWithTheComponentsMessage) {
    const BadCase cases[] = {{"source deleted after listing", 0},
                             {"output folder cannot be created", 0},
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
        QString text = TConversionRun::ConversionErrorText(c.code);
        if (what == "source deleted after listing")
            text = "Occur Error: the file " + host.rows[1].source + " is missing, \r\nprocess would exit!";
        if (what == "output folder cannot be created")
            text = "Occur Error: the folder " + QString::fromStdString((out / "Ann").string()) +
                   " cannot be created: Not a directory, \r\nprocess would exit!";
        EXPECT_EQ(host.matching("error"), QStringList{"error Process Error: " + text})
            << host.matching("error").join("\n").toStdString();
        EXPECT_EQ(run.State(), RunState::Failed);
        EXPECT_EQ(host.marks[size_t(failedRow)], 0); // not left "being converted"
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

namespace {

QByteArray sha256(const fs::path& file) {
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A folder converted into itself, MP3 to MP3 with the names kept: the sources stay byte for byte,
// and two sources of one name give two outputs.
TEST_F(RealRun, AFolderIntoItselfKeepsEverySource) {
    TempDir folder;
    for (const SourceFile& s : kSources)
        fs::copy_file(*sources / s.name, folder / s.name);
    fs::create_directory(folder / "two");
    fs::copy_file(*sources / "c.wav", folder / "two" / "b.wav");
    const fs::path listed[] = {folder / "a.mp3", folder / "b.ogg", folder / "two" / "b.wav", folder / "c.wav",
                               folder / "d.wma"};
    std::vector<QByteArray> before;
    for (const fs::path& p : listed)
        before.push_back(sha256(p));

    TAudioConvert convert;
    FakeHost host;
    TConversionRun run(convert, host);
    for (const fs::path& p : listed)
        host.addRow(QString::fromStdString(p.string()));
    host.settings.targetFolder = QString::fromStdString(folder.path().string());
    host.settings.promptExist = true;
    run.ActConvertExecute();
    ASSERT_TRUE(waitFor([&] { return !run.IsConverting(); }, 120000));
    EXPECT_TRUE(host.matching("ask").isEmpty());
    EXPECT_TRUE(host.matching("error").isEmpty());
    EXPECT_EQ(host.marks, (std::vector<int>{0, 2, 2, 2, 2}));
    const QString target = host.settings.targetFolder;
    EXPECT_EQ(host.matching("row 0"), QStringList{"row 0 skipped " + host.rows[0].source + " -> " + target +
                                                  "/a.mp3: the output would replace a source file"});
    EXPECT_EQ(host.matching("row 2"),
              QStringList{"row 2 converted " + host.rows[2].source + " -> " + target +
                          "/b (2).mp3: renamed: another output of this run has that name"});
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(sha256(listed[i]), before[i]) << listed[i];
    for (const char* name : {"b.mp3", "b (2).mp3", "c.mp3", "d.mp3"}) {
        testutil::ProbeInfo info = testutil::probe(folder / name);
        EXPECT_TRUE(info.ok) << name;
        EXPECT_EQ(info.codec, "mp3") << name;
    }
}

TEST_F(RealRun, ATargetFolderThatCannotBeMadeStartsNothing) {
    TAudioConvert convert;
    FakeHost host;
    TConversionRun run(convert, host);
    listSources(host);
    host.settings.targetFolder = "/dev/null/music";
    run.ActConvertExecute();
    EXPECT_FALSE(run.IsConverting());
    EXPECT_EQ(host.matching("error"),
              QStringList{"error Process Error: Occur Error: the folder /dev/null/music "
                          "cannot be created: Not a directory, \r\nprocess would exit!"});
    EXPECT_EQ(host.marks, (std::vector<int>{0, 0, 0, 0}));
}

} // namespace

// Several files at once on real components, each from the factory set up alike: every output is
// whole and encoded the same way, whichever component made it.
TEST_F(RealRun, SeveralFilesAtOnceOnRealComponents) {
    for (int filesAtOnce : {2, 4}) {
        SCOPED_TRACE(filesAtOnce);
        TempDir out;
        TAudioConvert convert;
        convert.SetMp3Format(44100, 160, 2);
        FakeHost host;
        TConversionRun run(convert, host);
        int made = 0;
        run.SetMakeConvert([&](OutFormat) {
            auto further = std::make_unique<TAudioConvert>();
            further->SetMp3Format(44100, 160, 2);
            ++made;
            return std::unique_ptr<IAudioConvert>(std::move(further));
        });
        listSources(host);
        listSources(host); // the same names again: renamed, never replaced
        host.settings.targetFolder = QString::fromStdString(out.path().string());
        host.settings.filesAtOnce = filesAtOnce;
        host.settings.showSuccess = true;
        run.ActConvertExecute();
        ASSERT_TRUE(waitFor([&] { return !run.IsConverting(); }, 120000));
        EXPECT_EQ(made, filesAtOnce - 1);
        EXPECT_EQ(host.marks, std::vector<int>(8, 2));
        EXPECT_TRUE(host.matching("error").isEmpty());
        EXPECT_EQ(host.matching("plain"), QStringList{"plain Conversion complete!"});
        const std::vector<std::string> names = filesBelow(out.path());
        ASSERT_EQ(names.size(), 8u);
        for (const std::string& name : names) {
            testutil::ProbeInfo info = testutil::probe(out / name);
            EXPECT_TRUE(info.ok) << name;
            EXPECT_EQ(info.codec, "mp3") << name;
            EXPECT_NEAR(info.duration, 1.0, 0.2) << name;
            EXPECT_EQ(info.bitRate, 160000) << name;
        }
        EXPECT_EQ(host.matching("row").filter(RowReason::Renamed).size(), 4);
    }
}
