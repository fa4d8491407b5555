// The conversion component where the files misbehave: sources that shrink or fail to read, FIFOs,
// names that are not UTF-8, a process killed half way; and its manners: no console chatter, no
// refusal of a conversion started from the handler of the last one's 100.
#include "common/test_files.h"
#include "conversion/audio_decoder.h"
#include "conversion/conversion_helpers.h"
#include "conversion/convert_failure.h"
#include "conversion/source_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "conversion/output_file.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testutil;
using quillotone::TAudioConvert;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A hang shows as the exit code of `timeout` (137 after its KILL) instead of a test that never ends.
RunResult runWithin(int seconds, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(seconds)});
    return run(argv);
}

TEST(ConvertSafety, TheMp3EncoderKeepsTheConsoleQuiet) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 1.0));
    // the first-start MP3 settings: LAME finds the 30 Hz high-pass too low and says so
    RunResult r =
        run({toolPath("convert-file"), "--quiet", "--mp3-bitrate", "256", "--quality", "7", "--highpass",
             "30", "--lowpass", "15160", (dir / "in.wav").string(), (dir / "out.mp3").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(probe(dir / "out.mp3").codec, "mp3");
}

TEST(ConvertSafety, AConversionStartedFromTheLastOnesHundredIsAccepted) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 0.05));
    const QString src = QString::fromStdString((dir / "in.wav").string());
    const QString dst = QString::fromStdString((dir / "out.wav").string());
    TAudioConvert component;
    constexpr int kChain = 100; // the race is narrow: many short files give it every chance
    int done = 0;
    std::vector<int> errors;
    QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, [&](int percent) {
        if (percent < 100) return;
        if (++done < kChain) component.ConvertToWav(src, dst);
    });
    QObject::connect(&component, &quillotone::IAudioConvert::OnError,
                     [&](int code) { errors.push_back(code); });
    component.ConvertToWav(src, dst);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000 && done < kChain && errors.empty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    EXPECT_EQ(errors, std::vector<int>{});
    EXPECT_EQ(done, kChain);
}

TEST(ConvertSafety, ASourceCutWhileItIsConvertedFailsTheConversion) {
    TempDir dir;
    fs::path src = dir / "long.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 120.0));
    const auto fullSize = fs::file_size(src);
    TAudioConvert component;
    bool cut = false;
    QObject guard;
    QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, &guard, [&](int percent) {
        if (percent >= 5 && !cut) {
            cut = true; // another program cuts the file, far ahead of what was read
            fs::resize_file(src, fullSize * 6 / 10);
        }
    });
    ConversionEvents ev = convertAndWait(component, Target::Mp3, src.string(), (dir / "out.mp3").string());
    ASSERT_TRUE(cut);
    EXPECT_EQ(ev.errors, std::vector<int>{-24});
    EXPECT_FALSE(std::count(ev.progress.begin(), ev.progress.end(), 100));
    EXPECT_TRUE(component.LastErrorText().contains("became shorter"))
        << component.LastErrorText().toStdString();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"long.wav"}) << "no short output";
}

TEST(ConvertSafety, ASourceThatIsShortFromTheStartConvertsWhatItHolds) {
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> codec;
    };
    const Case cases[] = {{"cut.wav", {"-c:a", "pcm_s16le"}}, {"cut.mp3", {"-c:a", "libmp3lame"}}};
    TAudioConvert component;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path src = dir / c.name;
        ASSERT_TRUE(makeTone(src, c.codec, 4.0));
        fs::resize_file(src,
                        fs::file_size(src) / 2 + 333); // a download that broke off: the header claims more
        fs::path out = dir / (std::string(c.name) + ".wav");
        ConversionEvents ev = convertAndWait(component, Target::Wav, src.string(), out.string());
        EXPECT_EQ(ev.result(), 0) << component.LastErrorText().toStdString();
        EXPECT_NEAR(probe(out).duration, 2.0, 0.2);
    }
}

// Fails every read from `failAt` on, as a disk with a bad sector does.
class FailingSource : public quillotone::SourceFile {
public:
    FailingSource(const std::string& path, int64_t failAt) : SourceFile(path), failAt_(failAt) {}

protected:
    int64_t readSome(void* buffer, size_t count, int64_t offset) override {
        if (offset + static_cast<int64_t>(count) > failAt_) {
            errno = EIO;
            return -1;
        }
        return SourceFile::readSome(buffer, count, offset);
    }

private:
    int64_t failAt_;
};

TEST(ConvertSafety, AReadErrorHalfWayIsAFailureNotTheEnd) {
    TempDir dir;
    fs::path src = dir / "in.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 10.0));
    auto source =
        std::make_unique<FailingSource>(src.string(), static_cast<int64_t>(fs::file_size(src) * 4 / 10));
    quillotone::AudioDecoder decoder(std::move(source));
    int64_t samples = 0;
    try {
        decoder.Run(
            {44100, 2, AV_SAMPLE_FMT_S16}, [&](const uint8_t* const*, int n) { samples += n; },
            [](double) { return true; });
        ADD_FAILURE() << "decoded " << samples << " samples as if that were all";
    } catch (const quillotone::ConvertFailure& e) {
        EXPECT_EQ(e.code(), -24);
        EXPECT_NE(std::string(e.what()).find("Input/output error"), std::string::npos) << e.what();
    }
    EXPECT_LT(samples, 44100 * 5);
}

TEST(ConvertSafety, FifosAndDevicesAreRefusedWithoutHanging) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "good.wav", {"-c:a", "pcm_s16le"}, 0.5));
    ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo-out.wav").c_str(), 0644), 0);
    struct Case {
        std::string source, destination;
        const char* result;
    };
    const Case cases[] = {
        {(dir / "fifo.mp3").string(), (dir / "o.wav").string(), "result: -12\n"},
        {"/dev/zero", (dir / "o.wav").string(), "result: -12\n"},
        {dir.path().string(), (dir / "o.wav").string(), "result: -12\n"},
        {(dir / "good.wav").string(), (dir / "fifo-out.wav").string(), "result: -20\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.destination);
        RunResult r = runWithin(20, {toolPath("convert-file"), "--format", "wav", c.source, c.destination});
        EXPECT_EQ(r.exitCode, 1) << "137 is a hang";
        EXPECT_NE(r.out.find(c.result), std::string::npos) << r.out;
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"fifo-out.wav", "fifo.mp3", "good.wav"}));
}

TEST(ConvertSafety, ANameWithoutAnExactByteFormIsRefusedNotReplaced) {
    TempDir dir;
    // "?" is what toStdString makes of a lone surrogate: a file of that name must not stand in
    ASSERT_TRUE(makeTone(dir / "in?.wav", {"-c:a", "pcm_s16le"}, 0.5));
    const QString loneSurrogate(QChar(0xD800));
    TAudioConvert component;
    auto convert = [&](const QString& source, const QString& destination) {
        QEventLoop loop;
        std::vector<int> errors;
        QObject guard;
        QObject::connect(&component, &quillotone::IAudioConvert::OnError, &guard, [&](int code) {
            errors.push_back(code);
            loop.quit();
        });
        QObject::connect(&component, &quillotone::IAudioConvert::OnConvertBlock, &guard, [&](int percent) {
            if (percent >= 100) loop.quit();
        });
        component.ConvertToWav(source, destination);
        loop.exec();
        return errors;
    };
    EXPECT_EQ(convert(q(dir / "in") + loneSurrogate + ".wav", q(dir / "a.wav")), std::vector<int>{-12});
    EXPECT_EQ(convert(q(dir / "in?.wav"), q(dir / "out") + loneSurrogate + ".wav"), std::vector<int>{-20});
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"in?.wav"})
        << "nothing written under another name";
}

// Starts a program with its outputs thrown away; returns its pid.
pid_t spawn(const std::vector<std::string>& argv) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// True once the process has a file open for writing in `folder` other than the ones named: the
// conversion has begun its output.
bool writesInto(pid_t pid, const fs::path& folder) {
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fdinfo";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fds, ec)) {
        std::string flags;
        std::ifstream info(e.path());
        for (std::string line; std::getline(info, line);)
            if (line.rfind("flags:", 0) == 0) flags = line.substr(6);
        if (flags.empty()) continue; // closed meanwhile
        const int mode = std::stoi(flags, nullptr, 8) & O_ACCMODE;
        fs::path target =
            fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + e.path().filename().string(), ec);
        if (!ec && mode != O_RDONLY && target.string().rfind(folder.string() + "/", 0) == 0) return true;
    }
    return false;
}

TEST(ConvertSafety, AKillHalfWayLeavesNothingBehind) {
    TempDir dir;
    fs::path src = dir / "long.wav";
    ASSERT_TRUE(makeTone(src, {"-c:a", "pcm_s16le"}, 300.0));
    for (int waitMs : {0, 300}) {
        SCOPED_TRACE(waitMs);
        pid_t child = spawn({toolPath("convert-file"), "--quiet", src.string(), (dir / "out.mp3").string()});
        ASSERT_GT(child, 0);
        QElapsedTimer t;
        t.start();
        while (!writesInto(child, dir.path()) && t.elapsed() < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(writesInto(child, dir.path())) << "the conversion did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before the kill";
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"long.wav"});
    }
}

TEST(ConvertSafety, StaleTemporariesOfDeadProcessesGoWithTheNextConversion) {
    TempDir dir;
    ASSERT_TRUE(makeTone(dir / "in.wav", {"-c:a", "pcm_s16le"}, 0.5));
    pid_t dead = spawn({"true"});
    ::waitpid(dead, nullptr, 0);
    const std::string self = std::to_string(::getpid());
    const std::vector<std::string> kept = {
        ".quillotone-" + self + "-8.part", // a live process: ours
        ".quillotone-1-9.part",            // a live process: init
        ".quillotone-notes.part",          // names of the user's that only look alike
        ".quillotone-" + std::to_string(dead) + "-x.part",
        "song.mp3.part",
        "in.wav",
    };
    for (const std::string& name : kept)
        if (name != "in.wav") writeFile(dir / name, {1});
    writeFile(dir / (".quillotone-" + std::to_string(dead) + "-7.part"), {1});
    fs::create_directory(dir / (".quillotone-" + std::to_string(dead) + "-6.part")); // not a file: stays
    TAudioConvert component;
    ConversionEvents ev =
        convertAndWait(component, Target::Wav, (dir / "in.wav").string(), (dir / "o.wav").string());
    EXPECT_EQ(ev.result(), 0);
    std::vector<std::string> expected = kept;
    expected.push_back("o.wav");
    expected.push_back(".quillotone-" + std::to_string(dead) + "-6.part");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir.path()), expected);
}

// The output file's commit, with an unnamed temporary and with the named one of other file systems.
TEST(ConvertSafety, AnOutputReplacesOnlyWhatWasThereWhenItStarted) {
    using quillotone::OutputFile;
    for (auto temporary : {OutputFile::Temporary::Unnamed, OutputFile::Temporary::Named}) {
        SCOPED_TRACE(temporary == OutputFile::Temporary::Named ? "named" : "unnamed");
        TempDir dir;
        const std::vector<uint8_t> bytes = {'n', 'e', 'w'};
        auto write = [&](OutputFile& out) { out.Write(bytes.data(), bytes.size()); };
        {
            OutputFile out((dir / "fresh").string(), temporary);
            write(out);
            std::vector<std::string> during = namesIn(dir.path());
            if (temporary == OutputFile::Temporary::Unnamed)
                EXPECT_EQ(during, std::vector<std::string>{});
            else
                EXPECT_TRUE(during.size() == 1 &&
                            during[0].rfind(".quillotone-" + std::to_string(::getpid()), 0) == 0);
            out.Commit();
        }
        EXPECT_EQ(readFile(dir / "fresh"), bytes);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(fs::status(dir / "fresh").permissions(), static_cast<fs::perms>(0666 & ~mask));

        writeFile(dir / "chosen", {'o', 'l', 'd'});
        {
            OutputFile out((dir / "chosen").string(), temporary); // there at the start: the caller chose it
            write(out);
            out.Commit();
        }
        EXPECT_EQ(readFile(dir / "chosen"), bytes);

        {
            OutputFile out((dir / "late").string(), temporary);
            write(out);
            writeFile(dir / "late", {'u', 's', 'e', 'r'}); // another program's file, meanwhile
            try {
                out.Commit();
                ADD_FAILURE() << "a file that appeared meanwhile was replaced";
            } catch (const quillotone::ConvertFailure& e) {
                EXPECT_EQ(e.code(), -20);
            }
        }
        EXPECT_EQ(readFile(dir / "late"), (std::vector<uint8_t>{'u', 's', 'e', 'r'}));

        {
            OutputFile out((dir / "dropped").string(), temporary);
            write(out);
        }
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"chosen", "fresh", "late"}));
    }
}

} // namespace
