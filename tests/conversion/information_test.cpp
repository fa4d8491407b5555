// The audio information component: kinds by content, stream properties against ffprobe, tag
// texts, and the two libavformat habits it corrects.
#include "common/test_files.h"
#include "conversion/information_component.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

using namespace testutil;
using quillotone::TAudioInformation2;

namespace {

const std::vector<std::string> kTagArgs = {"-metadata", "artist=Ärtist",
                                           "-metadata", "title=Титул",
                                           "-metadata", "album=アルバム",
                                           "-metadata", "genre=Rock",
                                           "-metadata", "comment=Some words",
                                           "-metadata", "copyright=(c) Us",
                                           "-metadata", "track=3/12",
                                           "-metadata", "date=2004-05-01",
                                           "-metadata", "encoded_by=Encoder Person",
                                           "-metadata", "WM/URL=http://example.invalid/x"};

class InformationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        makeTone(*dir / "a.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, 2.0, 1000, 44100, 2, kTagArgs);
        makeTone(*dir / "a.ogg", {"-c:a", "libvorbis", "-b:a", "128k"}, 2.0, 1000, 44100, 2, kTagArgs);
        makeTone(*dir / "a.wav", {"-c:a", "pcm_s16le"}, 2.0, 1000, 22050, 1);
        makeTone(*dir / "a.wma", {"-c:a", "wmav2", "-b:a", "128k"}, 2.0, 1000, 44100, 2, kTagArgs);
        makeTone(*dir / "mono.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 2.0, 1000, 22050, 1);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static TempDir* dir;
};
TempDir* InformationTest::dir = nullptr;

TEST_F(InformationTest, KindsAreDecidedByContent) {
    fs::copy_file(*dir / "a.wav", *dir / "wav-named.mp3", fs::copy_options::overwrite_existing);
    fs::copy_file(*dir / "a.ogg", *dir / "ogg-named.wma", fs::copy_options::overwrite_existing);
    writeFile(*dir / "text.mp3", std::vector<uint8_t>(5000, 'a'));
    writeFile(*dir / "empty.mp3", {});
    std::vector<uint8_t> mp3 = readFile(*dir / "a.mp3");
    writeFile(*dir / "truncated.mp3", std::vector<uint8_t>(mp3.begin(), mp3.begin() + 40));
    // a large cover in front of the audio
    std::vector<uint8_t> withCover = {'I', 'D', '3', 3, 0, 0, 0, 0x10, 0, 0}; // 262,144-byte tag
    withCover.resize(10 + 262144, 0);
    withCover.insert(withCover.end(), mp3.begin(), mp3.end());
    writeFile(*dir / "cover.mp3", withCover);

    struct Case {
        const char* file;
        bool mp3, wav, ogg, wma;
    };
    const Case cases[] = {
        {"a.mp3", true, false, false, false},          {"a.wav", false, true, false, false},
        {"a.ogg", false, false, true, false},          {"a.wma", false, false, false, true},
        {"wav-named.mp3", false, true, false, false},  {"ogg-named.wma", false, false, true, false},
        {"text.mp3", false, false, false, false},      {"empty.mp3", false, false, false, false},
        {"truncated.mp3", false, false, false, false}, {"cover.mp3", true, false, false, false},
        {"missing.mp3", false, false, false, false},
    };
    TAudioInformation2 info;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        QString path = QString::fromStdString((*dir / c.file).string());
        EXPECT_EQ(info.IsMp3File(path), c.mp3);
        EXPECT_EQ(info.IsWavFile(path), c.wav);
        EXPECT_EQ(info.IsOggFile(path), c.ogg);
        EXPECT_EQ(info.IsWmaFile(path), c.wma);
    }
}

TEST_F(InformationTest, StreamPropertiesAgreeWithFfprobe) {
    // A cover picture in front of the audio, as ffmpeg writes it.
    RunResult made = run({"ffmpeg",
                          "-nostdin",
                          "-loglevel",
                          "error",
                          "-y",
                          "-i",
                          (*dir / "a.mp3").string(),
                          "-f",
                          "lavfi",
                          "-i",
                          "testsrc=size=500x500:duration=1",
                          "-map",
                          "0:a",
                          "-map",
                          "1:v",
                          "-frames:v",
                          "1",
                          "-c:a",
                          "copy",
                          "-c:v",
                          "mjpeg",
                          "-id3v2_version",
                          "3",
                          (*dir / "pictured.mp3").string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct Case {
        const char* file;
        const char* descriptionStart;
        int channelMode;
    };
    const Case cases[] = {
        {"a.mp3", "MPEG 1 Layer 3: ", 2},
        {"mono.mp3", "MPEG 2 Layer 3: ", 1},
        {"pictured.mp3", "MPEG 1 Layer 3: ", 2},
        {"a.ogg", "Ogg Vorbis: ", 2},
        {"a.wav", "PCM WAV: 16 bit, 22050 Hz, mono", 1},
        {"a.wma", "Windows Media Audio v2: ", 2},
    };
    TAudioInformation2 info;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::path file = *dir / c.file;
        info.OpenFile(QString::fromStdString(file.string()));
        ProbeInfo p = probe(file);
        EXPECT_EQ(info.SampleRate(), p.sampleRate);
        EXPECT_EQ(info.ChannelMode(), c.channelMode);
        EXPECT_NEAR(info.DurationMs(), p.duration * 1000, p.duration * 1000 * 0.02);
        EXPECT_NEAR(info.Bitrate(), double(p.bitRate), p.bitRate * 0.1);
        EXPECT_EQ(info.FileSize(), int64_t(fs::file_size(file)));
        EXPECT_EQ(info.FormatDescription().toStdString().rfind(c.descriptionStart, 0), 0u)
            << info.FormatDescription().toStdString();
    }
}

// OpenFile right after a kind test reuses what the test learnt: the values are those of a fresh
// OpenFile, and a file replaced in between is read as it is now.
TEST_F(InformationTest, OpenFileAfterTheKindTestReadsTheSameAndSeesAReplacedFile) {
    auto facts = [](const TAudioInformation2& info) {
        const auto& c = info.Current();
        return c.description + "|" + std::to_string(c.sampleRate) + "|" + std::to_string(c.bitrate) + "|" +
               std::to_string(c.durationMs) + "|" + c.artist + "|" + c.title + "|" + c.album + "|" +
               std::to_string(c.track) + "|" + std::to_string(c.year) + "|" + c.url;
    };
    TAudioInformation2 fresh, tested;
    for (const char* name : {"a.mp3", "a.ogg", "a.wav", "a.wma"}) {
        SCOPED_TRACE(name);
        const QString path = QString::fromStdString((*dir / name).string());
        fresh.OpenFile(path);
        ASSERT_TRUE(tested.IsMp3File(path) || tested.IsOggFile(path) || tested.IsWavFile(path) ||
                    tested.IsWmaFile(path));
        tested.OpenFile(path);
        EXPECT_EQ(facts(tested), facts(fresh));
    }

    const fs::path swapped = *dir / "swapped.mp3";
    fs::copy_file(*dir / "a.wav", swapped, fs::copy_options::overwrite_existing);
    const QString path = QString::fromStdString(swapped.string());
    ASSERT_TRUE(tested.IsWavFile(path));
    fs::copy_file(*dir / "a.mp3", *dir / "swapped.tmp", fs::copy_options::overwrite_existing);
    fs::rename(*dir / "swapped.tmp", swapped);
    tested.OpenFile(path);
    EXPECT_EQ(tested.FormatDescription().toStdString().rfind("MPEG 1 Layer 3: ", 0), 0u);
    EXPECT_EQ(tested.Title().toStdString(), "Титул");
}

TEST_F(InformationTest, TagTextsOfEachKind) {
    TAudioInformation2 info;
    for (const char* file : {"a.mp3", "a.ogg", "a.wma"}) {
        SCOPED_TRACE(file);
        info.OpenFile(QString::fromStdString((*dir / file).string()));
        EXPECT_EQ(info.Artist(), QString("Ärtist"));
        EXPECT_EQ(info.Title(), QString("Титул"));
        EXPECT_EQ(info.Album(), QString("アルバム"));
        EXPECT_EQ(info.Genre(), QString("Rock"));
        EXPECT_EQ(info.Comment(), QString("Some words"));
        EXPECT_EQ(info.Copyright(), QString("(c) Us"));
        EXPECT_EQ(info.EncodedBy(), QString("Encoder Person"));
        EXPECT_EQ(info.TrackNumber(), 3);
        EXPECT_EQ(info.Year(), 2004);
    }
    info.OpenFile(QString::fromStdString((*dir / "a.wma").string()));
    EXPECT_EQ(info.Url(), QString("http://example.invalid/x"));
    info.OpenFile(QString::fromStdString((*dir / "a.wav").string()));
    EXPECT_EQ(info.Title(), QString());
    EXPECT_EQ(info.Year(), 0);
    EXPECT_EQ(info.TrackNumber(), 0);
}

// An ID3v1 record: 128 bytes, Latin-1 text.
std::vector<uint8_t> id3v1(const std::string& title, const std::string& artist) {
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    std::memcpy(tag.data() + 33, artist.data(), std::min<size_t>(artist.size(), 30));
    std::memcpy(tag.data() + 93, "1999", 4);
    tag[127] = 17; // Rock
    return tag;
}

TEST_F(InformationTest, Mp3TagsThatLibavformatMisses) {
    fs::path plain = *dir / "plain.mp3";
    makeTone(plain, {"-c:a", "libmp3lame", "-b:a", "128k", "-write_id3v2", "0"}, 1.0);
    std::vector<uint8_t> bytes = readFile(plain);
    std::vector<uint8_t> tag = id3v1("Caf\xE9 au lait", "Bj\xF6rk");
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    writeFile(plain, bytes);
    TAudioInformation2 info;
    info.OpenFile(QString::fromStdString(plain.string()));
    EXPECT_EQ(info.Title(), QString("Café au lait"));
    EXPECT_EQ(info.Artist(), QString("Björk"));
    EXPECT_EQ(info.Year(), 1999);

    // an ID3v2.3 URL frame (WXXX: encoding, empty description, URL) in front
    std::string url = "http://example.invalid/page";
    std::vector<uint8_t> frame = {'W', 'X', 'X', 'X', 0, 0, 0, static_cast<uint8_t>(url.size() + 2),
                                  0,   0,   0,   0};
    frame.insert(frame.end(), url.begin(), url.end());
    std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, static_cast<uint8_t>(frame.size())};
    tagged.insert(tagged.end(), frame.begin(), frame.end());
    tagged.insert(tagged.end(), bytes.begin(), bytes.end());
    writeFile(plain, tagged);
    info.OpenFile(QString::fromStdString(plain.string()));
    EXPECT_EQ(info.Url(), QString::fromStdString(url));
    EXPECT_EQ(info.Title(), QString("Café au lait"));
}

// APEv2 tag with one binary item of `itemBytes`, header and footer.
std::vector<uint8_t> apeTag(size_t itemBytes) {
    auto le32 = [](std::vector<uint8_t>& v, uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    std::vector<uint8_t> items;
    le32(items, static_cast<uint32_t>(itemBytes));
    le32(items, 2 << 1); // binary
    for (char c : std::string("Cover Art (Front)"))
        items.push_back(static_cast<uint8_t>(c));
    items.push_back(0);
    items.resize(items.size() + itemBytes, 0xAB);
    auto block = [&](bool header) {
        std::vector<uint8_t> b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
        le32(b, 2000);
        le32(b, static_cast<uint32_t>(items.size() + 32));
        le32(b, 1);
        le32(b, 0x80000000u | (header ? 0x20000000u : 0));
        b.resize(32, 0);
        return b;
    };
    std::vector<uint8_t> tag = block(true);
    tag.insert(tag.end(), items.begin(), items.end());
    std::vector<uint8_t> footer = block(false);
    tag.insert(tag.end(), footer.begin(), footer.end());
    return tag;
}

TEST_F(InformationTest, Mp3DurationIgnoresTrailingTags) {
    // CBR without a Xing frame: libavformat estimates the length from the file size
    fs::path file = *dir / "ape.mp3";
    makeTone(file, {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-write_id3v2", "0"}, 2.0);
    double truth = probe(file).duration;
    std::vector<uint8_t> bytes = readFile(file);
    std::vector<uint8_t> ape = apeTag(100000), v1 = id3v1("t", "a");
    bytes.insert(bytes.end(), ape.begin(), ape.end());
    bytes.insert(bytes.end(), v1.begin(), v1.end());
    writeFile(file, bytes);
    TAudioInformation2 info;
    info.OpenFile(QString::fromStdString(file.string()));
    EXPECT_NEAR(info.DurationMs(), truth * 1000, truth * 1000 * 0.02);
    EXPECT_EQ(info.Bitrate(), 128000);
}

TEST_F(InformationTest, DamagedOrMissingFilesGiveEmptyValues) {
    writeFile(*dir / "noise.mp3", std::vector<uint8_t>(3000, 0xFF));
    std::vector<uint8_t> ogg = readFile(*dir / "a.ogg");
    writeFile(*dir / "cut.ogg", std::vector<uint8_t>(ogg.begin(), ogg.begin() + 100));
    TAudioInformation2 info;
    for (const char* file : {"missing.mp3", "noise.mp3", "cut.ogg", "empty.mp3"}) {
        SCOPED_TRACE(file);
        info.OpenFile(QString::fromStdString((*dir / file).string()));
        EXPECT_EQ(info.DurationMs(), 0);
        EXPECT_EQ(info.Title(), QString());
        EXPECT_EQ(info.TrackNumber(), 0);
    }
    // a folder is not a file
    info.OpenFile(QString::fromStdString(dir->path().string()));
    EXPECT_EQ(info.FileSize(), 0);
}

// Sets a field of the file's bytes where `marker` is found (at `offset` from it).
void patch(const fs::path& file, const std::string& text, size_t offset, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> bytes = readFile(file), marker(text.begin(), text.end());
    auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
    ASSERT_NE(at, bytes.end()) << text;
    std::copy(value.begin(), value.end(), at + static_cast<std::ptrdiff_t>(offset));
    writeFile(file, bytes);
}

TEST_F(InformationTest, DurationsBeyond32BitsOfMillisecondsAreKeptWholeNeverWrapped) {
    // a damaged ASF header: play and send duration of 3,133,605,039 ms in 100 ns units, little-endian
    fs::path wma = *dir / "long.wma";
    fs::copy_file(*dir / "a.wma", wma, fs::copy_options::overwrite_existing);
    const std::string fileProperties("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
    std::vector<uint8_t> duration(16);
    const uint64_t units = 3133605039ull * 10000;
    for (int i = 0; i < 8; ++i)
        duration[i] = duration[8 + i] = static_cast<uint8_t>(units >> (8 * i));
    patch(wma, fileProperties, 16 + 8 + 16 + 8 + 8 + 8, duration);
    // a VBR MP3 whose Xing header counts 2^32 - 1 frames of 1152 samples at 44.1 kHz
    fs::path mp3 = *dir / "long.mp3";
    makeTone(mp3, {"-c:a", "libmp3lame", "-q:a", "5", "-write_id3v2", "0"}, 1.0);
    patch(mp3, "Xing", 8, {0xFF, 0xFF, 0xFF, 0xFF});
    struct Case {
        fs::path file;
        double ms;
    };
    const Case cases[] = {{wma, 3133605039.0 - 3100}, {mp3, 4294967295.0 * 1152 / 44100 * 1000}};
    TAudioInformation2 info;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        info.OpenFile(QString::fromStdString(c.file.string()));
        EXPECT_NEAR(double(info.DurationMs64()), c.ms, c.ms * 0.001);
        EXPECT_EQ(info.DurationMs(), 0) << "32 bits cannot hold it: unknown, not wrapped";
        EXPECT_EQ(info.SampleRate(), 44100);
    }
}

TEST_F(InformationTest, FifosAndDevicesAreNotAudioAndDoNotHang) {
    ASSERT_EQ(::mkfifo((*dir / "fifo.mp3").c_str(), 0644), 0);
    for (std::string file : {(*dir / "fifo.mp3").string(), std::string("/dev/zero")}) {
        SCOPED_TRACE(file);
        RunResult r = run({"timeout", "-s", "KILL", "20", toolPath("audio-info"), file});
        EXPECT_EQ(r.exitCode, 0) << "-1 is a hang";
        for (const char* line : {"IsMp3File: false\n", "IsWavFile: false\n", "IsOggFile: false\n",
                                 "IsWmaFile: false\n", "SampleRate: 0\n", "FileSize: 0\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
}

TEST_F(InformationTest, ANameWithoutAnExactByteFormNamesNoFile) {
    // "?" is what toStdString makes of a lone surrogate; that file is another one
    fs::copy_file(*dir / "a.mp3", *dir / "x?.mp3", fs::copy_options::overwrite_existing);
    QString name = QString::fromStdString((*dir / "x").string()) + QChar(0xD800) + ".mp3";
    TAudioInformation2 info;
    EXPECT_FALSE(info.IsMp3File(name));
    info.OpenFile(name);
    EXPECT_EQ(info.SampleRate(), 0);
    EXPECT_EQ(info.Title(), QString());
}

} // namespace
