// The command line: `quillotone --convert` run as a child process with no display on files that
// ffmpeg made (formats, lines, summary, exit status, settings left alone, path order), and
// `quillotone PATH...` adding the paths to the window as a drop does.
#include "window_fixture.h"

#include "app/command_line.h"
#include "conversion/convert_component.h"
#include "conversion/quality_choices.h"

#include <QTest>
#include <sstream>

namespace apptest {
namespace {

using testutil::fs::path;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class CommandLine : public ::testing::Test {
protected:
    testutil::TempDir dir;

    std::string at(const std::string& name) const { return (dir / name).string(); }

    // The program as a script runs it: no display, no platform chosen, the user's settings in a
    // configuration folder of its own.
    testutil::RunResult twin(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"env",
                                      "-u",
                                      "DISPLAY",
                                      "-u",
                                      "QT_QPA_PLATFORM",
                                      "-u",
                                      "WAYLAND_DISPLAY",
                                      "XDG_CONFIG_HOME=" + at("config"),
                                      QUILLOTONE_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        return testutil::run(argv);
    }

    void tone(const std::string& name, const std::vector<std::string>& codec,
              const std::vector<std::string>& tags = {}) {
        testutil::fs::create_directories((dir / name).parent_path());
        ASSERT_TRUE(testutil::makeTone(dir / name, codec, 0.5, 1000, 44100, 2, tags));
    }
    void tones(const std::vector<std::string>& names) {
        for (const std::string& n : names) {
            const std::string ext = path(n).extension().string();
            tone(n, ext == ".mp3"   ? std::vector<std::string>{"-c:a", "libmp3lame"}
                    : ext == ".ogg" ? std::vector<std::string>{"-c:a", "libvorbis"}
                    : ext == ".wma" ? std::vector<std::string>{"-c:a", "wmav2"}
                                    : std::vector<std::string>{"-c:a", "pcm_s16le"});
        }
    }
    void writeText(const std::string& name, const std::string& text) {
        testutil::fs::create_directories((dir / name).parent_path());
        testutil::writeFile(dir / name, std::vector<uint8_t>(text.begin(), text.end()));
    }
};

TEST_F(CommandLine, AFolderOfTheFourKindsConvertsIntoEachFormatWithItsTags) {
    const std::vector<std::string> title{"-metadata", "title=Καλημέρα κόσμε", "-metadata", "artist=Сергей"};
    tone("music/a.mp3", {"-c:a", "libmp3lame"}, title);
    tone("music/sub/b.ogg", {"-c:a", "libvorbis"}, title);
    tone("music/sub/deeper/c.wav", {"-c:a", "pcm_s16le"});
    tone("music/d.wma", {"-c:a", "wmav2"}, title);
    const std::vector<std::string> sources{at("music/a.mp3"), at("music/d.wma"), at("music/sub/b.ogg"),
                                           at("music/sub/deeper/c.wav")};

    struct Case {
        const char* format;
        const char* codec;
        bool tagged; // the run tags every output but WAV
    };
    for (const Case& c : {Case{"mp3", "mp3", true}, Case{"ogg", "vorbis", true},
                          Case{"wav", "pcm_s16le", false}, Case{"wma", "wmav2", true}}) {
        SCOPED_TRACE(c.format);
        const std::string out = at(std::string("out-") + c.format);
        const auto r =
            twin({"--convert", "--format", c.format, "--target", out, "--keep-names", at("music")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, ""); // progress only on a terminal, and nothing else
        const auto got = lines(r.out);
        ASSERT_EQ(got.size(), 5u) << r.out;
        EXPECT_EQ(got.back(), "4 converted, 0 skipped, 0 failed");
        std::set<std::string> converted(got.begin(), got.end() - 1);
        for (const std::string& src : sources) {
            const std::string dst = out + "/" + path(src).stem().string() + "." + c.format;
            EXPECT_TRUE(converted.count("converted " + src + " -> " + dst)) << r.out;
            const testutil::ProbeInfo p = testutil::probe(dst);
            EXPECT_EQ(p.codec, c.codec) << dst;
            if (c.tagged && path(src).extension() != ".wav") {
                EXPECT_EQ(p.tag("title"), "Καλημέρα κόσμε") << dst;
                EXPECT_EQ(p.tag("artist"), "Сергей") << dst;
            }
        }
    }
    // The user's settings were read, never written: not even created.
    EXPECT_FALSE(testutil::fs::exists(dir / "config"));
}

TEST_F(CommandLine, ABadFileAmongGoodOnesIsReportedTheRestGoesOnAndTheStatusIsOne) {
    tones({"in/a.mp3", "in/b.wav"});
    writeText("in/bad.mp3", "not audio at all");
    // An output that cannot be written: a folder stands where a.ogg would go.
    testutil::fs::create_directories(dir / "out/a.ogg");
    const auto r = twin({"--convert", "--format", "ogg", "--target", at("out"), "--keep-names", "--overwrite",
                         "yes", at("in/a.mp3"), at("in/bad.mp3"), at("in/missing.wav"), at("in/b.wav")});
    EXPECT_EQ(r.exitCode, 1);
    const auto got = lines(r.out);
    ASSERT_EQ(got.size(), 5u) << r.out;
    EXPECT_EQ(got[0], "skipped " + at("in/bad.mp3") + ": invalid audio file");
    EXPECT_EQ(got[1], "skipped " + at("in/missing.wav") + ": File not exist");
    EXPECT_EQ(got[2].rfind("failed " + at("in/a.mp3") + ": ", 0), 0u) << got[2];
    EXPECT_GT(got[2].size(), ("failed " + at("in/a.mp3") + ": ").size());
    EXPECT_EQ(got[3], "converted " + at("in/b.wav") + " -> " + at("out/b.ogg"));
    EXPECT_EQ(got[4], "1 converted, 2 skipped, 1 failed");
    EXPECT_EQ(testutil::probe(dir / "out/b.ogg").codec, "vorbis");
}

TEST_F(CommandLine, ATargetFolderThatCannotBeMadeSkipsEveryFileAndSaysWhy) {
    tones({"a.wav"});
    writeText("file", "a file, not a folder");
    const auto r = twin({"--convert", "--target", at("file/out"), at("a.wav")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"skipped " + at("a.wav") + ": the folder " + at("file/out") +
                                            " cannot be created: Not a directory",
                                        "0 converted, 1 skipped, 0 failed"}));
}

TEST_F(CommandLine, UsageErrorsSayWhyOnOneLineAndExitWithTwo) {
    tones({"a.wav"});
    const std::string a = at("a.wav");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{"--convert", "--bogus", a}, "unknown option --bogus"},
        {{"--convert", "--format", "flac", a}, "flac"},
        {{"--convert", "--format", "mp3", "--quality", "193 kbit/s", a}, "\"192 kbit/s\""},
        {{"--convert", "--format", "wav", "--quality", "192 kbit/s", a},
         "\"16-bit Stereo 44,100Hz (CD-Quality)\""},
        {{"--convert", "--write-format", "ID3v9", a}, "\"ID3v1 & ID3v2\""},
        {{"--convert", "--overwrite", "maybe", a}, "maybe"},
        {{"--convert", "--jobs", "many", a}, "many"},
        {{"--convert", "--keep-names", "--prefix", "x", a}, "only one"},
        {{"--convert", "--target", at("out")}, "no PATH"},
        {{"--convert", "--settings", at("nothere.conf"), a}, "nothere.conf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const auto r = twin(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("quillotone: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(testutil::fs::exists(dir / "out"));

    const auto help = twin({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("quillotone --convert [OPTIONS] PATH..."), std::string::npos);
    EXPECT_EQ(twin({"--version"}).out, "Quillotone 2.5\n");
}

TEST_F(CommandLine, TheQualityEntryIsAppliedAsTheDropDownAppliesIt) {
    tones({"a.wav"});
    auto r =
        twin({"--convert", "--format", "mp3", "--quality", "64 kbit/s", "--target", at("mp3"), at("a.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NEAR(double(testutil::probe(dir / "mp3/a.mp3").bitRate), 64000, 2000);

    // WMA entries are the component's profile descriptions; this one is mono.
    TAudioConvert convert;
    QStringList wma;
    ReadWmaQualities(convert, wma);
    const qsizetype mono = wma.indexOf("64 kbps, 44 kHz, mono CBR");
    ASSERT_GE(mono, 0) << wma.join(" | ").toStdString();
    r = twin({"--convert", "--format", "wma", "--quality", wma[mono].toStdString(), "--target", at("wma"),
              at("a.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const testutil::ProbeInfo p = testutil::probe(dir / "wma/a.wma");
    EXPECT_EQ(p.codec, "wmav2");
    EXPECT_EQ(p.channels, 1);
}

TEST_F(CommandLine, StoredSettingsAreReadAndLeftByteForByte) {
    tones({"in/a.mp3", "in/b.mp3"});
    // Ogg, names kept, prompt before overwriting: a run without --overwrite skips what exists.
    const std::string ini =
        "[General]\nOutFormat=1\nRename=0\nPromptExist=1\nTargetFolder=" + at("out") + "\n";
    writeText("store/my.conf", ini);
    writeText("out/a.ogg", "keep me");
    const auto before = testutil::readFile(dir / "store/my.conf");

    auto r = twin({"--convert", "--settings", at("store/my.conf"), at("in")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"skipped " + at("in/a.mp3") + ": the output exists",
                                        "converted " + at("in/b.mp3") + " -> " + at("out/b.ogg"),
                                        "1 converted, 1 skipped, 0 failed"}));
    const auto kept = testutil::readFile(dir / "out/a.ogg");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");

    // An option wins over the stored value for this run only.
    r = twin({"--convert", "--settings", at("store/my.conf"), "--overwrite", "yes", at("in/a.mp3")});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(testutil::probe(dir / "out/a.ogg").codec, "vorbis");

    EXPECT_EQ(testutil::readFile(dir / "store/my.conf"), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : testutil::fs::directory_iterator(dir / "store"))
        ++entries;
    EXPECT_EQ(entries, 1u); // no lock or temporary file left beside it
    EXPECT_FALSE(testutil::fs::exists(dir / "config"));
}

TEST_F(CommandLine, FilesAndFoldersConvertInTheOrderGiven) {
    tones({"z.mp3", "folder/x.wav", "b.ogg"});
    const auto r = twin({"--convert", "--jobs", "0", "--format", "wav", "--target", at("out"), "--prefix",
                         "n", at("z.mp3"), at("folder"), at("b.ogg")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"converted " + at("z.mp3") + " -> " + at("out/n1.wav"),
                                        "converted " + at("folder/x.wav") + " -> " + at("out/n2.wav"),
                                        "converted " + at("b.ogg") + " -> " + at("out/n3.wav"),
                                        "3 converted, 0 skipped, 0 failed"}));
}

// `quillotone PATH...`: the window adds the paths once it runs, as a drop of them would.
class OpenWith : public WindowFixture {};

TEST_F(OpenWith, ThePathsAreAddedAsADropAddsThem) {
    open();
    std::filesystem::create_directories(dir / "album/cd2");
    const QString one = goodFile("one.mp3");
    const QString inner = goodFile("album/cd2/t.ogg");
    goodFile("notes.txt");
    win->show();
    OpenPaths(*win, {QString::fromStdString((dir / "album").string()), one,
                     QString::fromStdString((dir / "notes.txt").string())});
    EXPECT_EQ(win->ListModel().rowCount(), 0); // nothing before the event loop runs
    QTRY_COMPARE(win->ListModel().rowCount(), 2);
    EXPECT_EQ(win->ListModel().Path(0), inner);
    EXPECT_EQ(win->ListModel().Path(1), one);
    EXPECT_TRUE(win->isEnabled());
}

} // namespace
} // namespace apptest
