#include "common/test_files.h"
#include "tags/mpeg/mpeg_audio.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tags;
using testutil::probe;
using testutil::run;
using testutil::TempDir;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kCbr128 = {0xFF, 0xFB, 0x90, 0x00};      // MPEG-1 Layer III, 128 kbit/s, 44,100 Hz, stereo
const Bytes kCbr128Mono = {0xFF, 0xFB, 0x90, 0xC0};  // the same, mono
const Bytes kMpeg2Stereo = {0xFF, 0xF3, 0x80, 0x00}; // MPEG-2 Layer III, 64 kbit/s, 22,050 Hz

void put(Bytes& b, size_t at, const Bytes& what) {
    if (b.size() < at + what.size()) b.resize(at + what.size());
    std::copy(what.begin(), what.end(), b.begin() + at);
}
void putText(Bytes& b, size_t at, const char* text) {
    put(b, at, Bytes(text, text + std::strlen(text)));
}
Bytes be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// `count` frames of the header's length from `at` on.
void frames(Bytes& b, size_t at, const Bytes& header, int count) {
    TFrameData f = DecodeFrameHeader(header.data());
    for (int i = 0; i < count; ++i)
        put(b, at + i * FrameLength(f), header);
    if (b.size() < at + count * FrameLength(f)) b.resize(at + count * FrameLength(f));
}

void readInto(TMPEGaudio& m, const Bytes& bytes) {
    TMemoryStream s(bytes);
    EXPECT_TRUE(m.ReadInfo(s));
}

} // namespace

// ---- tables ------------------------------------------------------------------------------------------

TEST(MpegTables, HeaderCheckRatesAndFrameLengths) {
    struct Case {
        Bytes header;
        bool valid;
        uint16_t bitRate;
        uint32_t sampleRate;
        uint16_t length;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, true, 128, 44100, 417},
        {{0xFF, 0xFB, 0x92, 0x00}, true, 128, 44100, 418}, // padding
        {{0xFF, 0xFB, 0xE4, 0x00}, true, 320, 48000, 960},
        {{0xFF, 0xF3, 0x80, 0x00}, true, 64, 22050, 208},  // MPEG-2
        {{0xFF, 0xE3, 0x40, 0x00}, true, 32, 11025, 208},  // MPEG-2.5
        {{0xFF, 0xE3, 0xE8, 0x00}, true, 160, 8000, 1440}, // MPEG-2.5, top of its table
        {{0xFF, 0xFD, 0x90, 0x00}, true, 160, 44100, 522}, // Layer II
        {{0xFF, 0xFF, 0x92, 0x00}, true, 288, 44100, 317}, // Layer I, 4-byte padding slot
        {{0xFF, 0xF7, 0x92, 0x00}, true, 144, 22050, 317}, // MPEG-2 Layer I
        {{0xFF, 0xEB, 0x90, 0x00}, false, 0, 0, 0},        // reserved version
        {{0xFF, 0xF9, 0x90, 0x00}, false, 0, 0, 0},        // reserved layer
        {{0xFF, 0xFB, 0xF0, 0x00}, false, 0, 0, 0},        // bit rate index 15
        {{0xFF, 0xFB, 0x00, 0x00}, false, 0, 0, 0},        // free format
        {{0xFF, 0xFB, 0x9C, 0x00}, false, 0, 0, 0},        // reserved sample rate
        {{0xFF, 0xFB, 0x90, 0x02}, false, 0, 0, 0},        // reserved emphasis
        {{0xFE, 0xFB, 0x90, 0x00}, false, 0, 0, 0},
        {{0xFF, 0xDB, 0x90, 0x00}, false, 0, 0, 0}, // sync bits incomplete
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.header));
        EXPECT_EQ(IsFrameHeader(c.header.data()), c.valid);
        if (!c.valid) continue;
        TFrameData f = DecodeFrameHeader(c.header.data());
        EXPECT_EQ(TableBitRate(f), c.bitRate);
        EXPECT_EQ(TableSampleRate(f), c.sampleRate);
        EXPECT_EQ(FrameLength(f), c.length);
    }
    TFrameData cleared;
    EXPECT_EQ(TableBitRate(cleared), 0);
    EXPECT_EQ(TableSampleRate(cleared), 0u);
    TFrameData mono = DecodeFrameHeader(kCbr128Mono.data());
    EXPECT_EQ(mono.Mode, 3);
    EXPECT_EQ(VBRHeaderOffset(mono), 21);
    EXPECT_EQ(VBRHeaderOffset(DecodeFrameHeader(kCbr128.data())), 36);
    EXPECT_EQ(VBRHeaderOffset(DecodeFrameHeader(kMpeg2Stereo.data())), 21);
}

// ---- the search in one block ---------------------------------------------------------------------------

TEST(MpegSearch, FrameSearchBlock) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> fill;
        bool found;
        int64_t position;
    } cases[] = {
        {"frame at 0", [](Bytes& b) { frames(b, 0, kCbr128, 2); }, true, 0},
        {"a header without a follower is skipped",
         [](Bytes& b) {
             put(b, 5, kCbr128);
             frames(b, 100, kCbr128, 2);
         },
         true, 100},
        {"a follower of another kind still counts",
         [](Bytes& b) {
             put(b, 10, kCbr128);
             put(b, 10 + 417, kMpeg2Stereo);
         },
         true, 10},
        {"last start position", [](Bytes& b) { frames(b, 1729, kCbr128, 2); }, true, 1729},
        {"the second half is never a start", [](Bytes& b) { frames(b, 1730, kCbr128, 2); }, false, 0},
        {"the follower must lie in the block",
         [](Bytes& b) {
             put(b, 1000, {0xFF, 0xE5, 0xE8, 0x00});
         }, // MPEG-2.5 Layer II, 2,880 bytes
         false, 0},
        {"nothing", [](Bytes&) {}, false, 0},
    };
    for (const auto& c : cases) {
        Bytes b(kFrameSearchBlock, 0);
        c.fill(b);
        b.resize(kFrameSearchBlock);
        TFrameData f;
        TVBRData v;
        EXPECT_EQ(FrameSearchBlock(b.data(), b.size(), f, v), c.found) << c.what;
        EXPECT_EQ(f.Found, c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(f.Position, c.position) << c.what;
        }
    }
    // only the bytes actually read are searched
    Bytes shortBlock(500, 0);
    frames(shortBlock, 0, kCbr128, 1);
    put(shortBlock, 417, {0xFF, 0xFB});
    TFrameData f;
    TVBRData v;
    EXPECT_FALSE(FrameSearchBlock(shortBlock.data(), 419, f, v));
}

TEST(MpegSearch, XingAndVbriHeaders) {
    struct Case {
        const char* what;
        Bytes header;
        size_t at;
        std::function<void(Bytes&, size_t)> fill;
        bool found;
        uint32_t frames, bytes;
        uint8_t scale;
        const char* vendor;
    } cases[] = {
        {"full Xing", kCbr128, 36,
         [](Bytes& b, size_t q) {
             putText(b, q, "Xing");
             put(b, q + 4, be32(15));
             put(b, q + 8, be32(10000));
             put(b, q + 12, be32(4'180'000));
             put(b, q + 116, be32(57));
             putText(b, q + 120, "LAME3.99");
         },
         true, 10000, 4'180'000, 57, "LAME3.99"},
        {"Xing without table of contents or quality", kCbr128, 36,
         [](Bytes& b, size_t q) {
             putText(b, q, "Xing");
             put(b, q + 4, be32(3));
             put(b, q + 8, be32(500));
             put(b, q + 12, be32(200'000));
             putText(b, q + 16, "LAME3.98");
         },
         true, 500, 200'000, 0, "LAME3.98"},
        {"Xing with bytes only", kCbr128, 36,
         [](Bytes& b, size_t q) {
             putText(b, q, "Xing");
             put(b, q + 4, be32(2));
             put(b, q + 8, be32(123'456));
         },
         true, 0, 123'456, 0, ""},
        {"mono Xing at 21", kCbr128Mono, 21,
         [](Bytes& b, size_t q) {
             putText(b, q, "Xing");
             put(b, q + 4, be32(1));
             put(b, q + 8, be32(77));
         },
         true, 77, 0, 0, ""},
        {"MPEG-2 stereo Xing at 21", kMpeg2Stereo, 21,
         [](Bytes& b, size_t q) {
             putText(b, q, "Xing");
             put(b, q + 4, be32(1));
             put(b, q + 8, be32(99));
         },
         true, 99, 0, 0, ""},
        {"VBRI at the Xing offset", kCbr128Mono, 21,
         [](Bytes& b, size_t q) {
             putText(b, q, "VBRI");
             b[q + 9] = 75;
             put(b, q + 10, be32(300'000));
             put(b, q + 14, be32(700));
         },
         true, 700, 300'000, 75, ""},
        {"VBRI at 36 of a mono stream is not looked for", kCbr128Mono, 36,
         [](Bytes& b, size_t q) {
             putText(b, q, "VBRI");
             put(b, q + 14, be32(700));
         },
         false, 0, 0, 0, ""},
        {"Info leaves VBR cleared", kCbr128, 36,
         [](Bytes& b, size_t q) {
             putText(b, q, "Info");
             put(b, q + 4, be32(15));
             put(b, q + 8, be32(10000));
         },
         false, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b(kFrameSearchBlock, 0);
        frames(b, 0, c.header, 3);
        c.fill(b, c.at);
        TFrameData f;
        TVBRData v;
        ASSERT_TRUE(FrameSearchBlock(b.data(), b.size(), f, v));
        EXPECT_EQ(v.Found, c.found);
        EXPECT_EQ(v.Frames, c.frames);
        EXPECT_EQ(v.Bytes, c.bytes);
        EXPECT_EQ(v.Scale, c.scale);
        EXPECT_EQ(v.VendorID, c.vendor);
    }

    // Duration and bit rate from a full Xing header, regardless of the file's size
    Bytes file(20'000, 0);
    frames(file, 0, kCbr128, 3);
    putText(file, 36, "Xing");
    put(file, 40, be32(15));
    put(file, 44, be32(10000));
    put(file, 48, be32(4'180'000));
    TMPEGaudio m;
    readInto(m, file);
    EXPECT_NEAR(m.Duration(), 1152.0 * 10000 / 44100, 1e-9);
    EXPECT_EQ(m.BitRate(), 128);
    EXPECT_TRUE(m.Valid());
    // without the frame count the duration comes from the table bit rate
    put(file, 40, be32(2));
    readInto(m, file);
    EXPECT_NEAR(m.Duration(), 20'000 * 8 / 128'000.0, 1e-9);
}

TEST(MpegSearch, EncoderSearch) {
    struct Case {
        const char* what;
        size_t at;
        const char* mark;
        int64_t limit;
        const char* expected;
    } cases[] = {
        {"200 bytes before the end, within 5 frame lengths + 8", kFrameSearchBlock - 200, "LAME3.99", 5 * 417,
         "LAME3.99"},
        {"just within the limit", kFrameSearchBlock - 200, "LAME3.99", 192, "LAME3.99"},
        {"just beyond the limit", kFrameSearchBlock - 200, "LAME3.99", 191, ""},
        {"GOGO at the last place", 3450, "GOGO-bin", 0, "GOGO"},
        {"a limit beyond the block searches it all", 0, "LAME1234", 5000, "LAME1234"},
        {"nothing", 0, "", 3450, ""},
    };
    for (const auto& c : cases) {
        Bytes b(kFrameSearchBlock, 0);
        if (*c.mark) putText(b, c.at, c.mark);
        b.resize(kFrameSearchBlock);
        EXPECT_EQ(EncoderSearchBlock(b.data(), c.limit), c.expected) << c.what;
    }
}

// ---- ReadInfo on bytes -----------------------------------------------------------------------------------

TEST(MpegReadInfo, TagsZerosAndBlocks) {
    // a 2,000-byte ID3v2 tag holding a sync pattern: the search starts after it
    Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x0F, 0x46}; // 1,990-byte body
    tagged.resize(2000, 0);
    put(tagged, 500, kCbr128);
    put(tagged, 917, kCbr128);
    frames(tagged, 2000, kCbr128, 20);
    TMPEGaudio m;
    readInto(m, tagged);
    EXPECT_TRUE(m.ID3v2.Exists());
    EXPECT_EQ(m.AudioStart, 2000);
    EXPECT_EQ(m.AudioEnd, static_cast<int64_t>(tagged.size()));
    EXPECT_EQ(m.Frame.Size, 417);

    // an ID3v1 record ends the audio
    Bytes withV1 = tagged;
    Bytes v1(128, 0);
    putText(v1, 0, "TAGSome title");
    withV1.insert(withV1.end(), v1.begin(), v1.end());
    readInto(m, withV1);
    EXPECT_TRUE(m.ID3v1.Exists());
    EXPECT_EQ(m.AudioEnd, static_cast<int64_t>(withV1.size()) - 128);

    // pure zeros with tags: true, not valid, tag objects cleared
    Bytes zeros(tagged.begin(), tagged.begin() + 2000);
    zeros.resize(22'000, 0);
    zeros.insert(zeros.end(), v1.begin(), v1.end());
    readInto(m, zeros);
    EXPECT_FALSE(m.Frame.Found);
    EXPECT_FALSE(m.Valid());
    EXPECT_FALSE(m.ID3v1.Exists());
    EXPECT_FALSE(m.ID3v2.Exists());

    // a first frame in the second half of a block: found as the first one in the next block
    Bytes late(10'000, 0);
    frames(late, 2000, kCbr128, 15);
    readInto(m, late);
    EXPECT_EQ(m.Frame.Position, 2000 + 4 * 417); // 3,668: the first at or after 3,458
}

namespace {

// A 5 GiB stream of zeros with frames at the start and an ID3v1 record at the end; nothing is stored.
class TSparseStream : public TStream {
public:
    static constexpr int64_t kSize = 5LL << 30;
    TSparseStream() {
        head_.resize(4000, 0);
        frames(head_, 0, kCbr128, 9);
        tail_.resize(128, 0);
        std::memcpy(tail_.data(), "TAG", 3);
    }
    int64_t Size() const override { return kSize; }
    int64_t Position() const override { return pos_; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        pos_ = origin == SeekOrigin::Begin ? offset
               : origin == SeekOrigin::End ? kSize + offset
                                           : pos_ + offset;
        return pos_;
    }
    size_t Read(void* buffer, size_t count) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        for (; n < count && pos_ < kSize; ++n, ++pos_) {
            if (pos_ < static_cast<int64_t>(head_.size()))
                out[n] = head_[static_cast<size_t>(pos_)];
            else if (pos_ >= kSize - 128)
                out[n] = tail_[static_cast<size_t>(pos_ - (kSize - 128))];
            else if (pos_ >= kSize - 128 - 300 && pos_ < kSize - 128 - 292)
                out[n] = "LAME3.10"[pos_ - (kSize - 128 - 300)];
            else
                out[n] = 0;
        }
        return n;
    }
    void Write(const void*, size_t) override { throw TFileError("read only"); }
    void Truncate() override { throw TFileError("read only"); }

private:
    Bytes head_, tail_;
    int64_t pos_ = 0;
};

} // namespace

TEST(MpegReadInfo, PositionsBeyond4GiB) {
    TSparseStream s;
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadInfo(s));
    EXPECT_EQ(m.FileLength, TSparseStream::kSize);
    EXPECT_EQ(m.AudioEnd, TSparseStream::kSize - 128);
    EXPECT_NEAR(m.Duration(), (TSparseStream::kSize - 128) * 8 / 128'000.0, 1e-6);
    EXPECT_EQ(m.Encoder, "LAME3.10") << "found in the last block before the ID3v1 record";
    EXPECT_TRUE(m.Valid());
}

TEST(MpegReadInfo, MissingFile) {
    TempDir dir;
    TMPEGaudio m;
    EXPECT_FALSE(m.ReadInfo(dir / "missing.mp3"));
    EXPECT_FALSE(m.Valid());
}

// ---- real files ------------------------------------------------------------------------------------------

TEST(MpegFiles, DurationAndBitRateMatchFfprobe) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int rate, channels;
        bool vbr;
        uint8_t version;
    } cases[] = {
        {"cbr.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, 44100, 2, false, 3},
        {"vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "4"}, 44100, 2, true, 3},
        {"mono.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 44100, 1, false, 3},
        {"mpeg2.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 22050, 2, false, 2},
        {"mpeg25.mp3", {"-c:a", "libmp3lame", "-b:a", "32k"}, 11025, 1, false, 0},
        {"mpeg2vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "2"}, 24000, 2, true, 2},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path f = dir / c.name;
        ASSERT_TRUE(testutil::makeTone(f, c.args, 6.0, 440, c.rate, c.channels));
        auto p = probe(f);
        ASSERT_TRUE(p.ok);
        TMPEGaudio m;
        ASSERT_TRUE(m.ReadInfo(f));
        EXPECT_TRUE(m.Valid());
        EXPECT_EQ(m.Frame.Version, c.version);
        EXPECT_EQ(m.Frame.Mode == 3, c.channels == 1);
        EXPECT_EQ(m.VBR.Found, c.vbr);
        EXPECT_EQ(m.AudioStart, m.ID3v2.Size()) << "ffmpeg writes an ID3v2 tag in front";
        EXPECT_NEAR(m.Duration(), p.duration, p.duration * 0.02);
        EXPECT_NEAR(m.BitRate() * 1000.0, double(p.bitRate), p.bitRate * 0.02);
    }
}

TEST(MpegFiles, LameHeaderAndEncoder) {
    TempDir dir;
    fs::path wav = dir / "t.wav";
    ASSERT_TRUE(testutil::makeTone(wav, {"-c:a", "pcm_s16le"}, 5.0, 500));
    fs::path mp3 = dir / "lame.mp3";
    auto r = run({"lame", "--silent", "-V", "4", wav.string(), mp3.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto p = probe(mp3);
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadInfo(mp3));
    EXPECT_EQ(m.AudioStart, 0);
    EXPECT_EQ(m.VBR.ID, "Xing");
    EXPECT_EQ(m.VBR.Flags & 15, 15u);
    EXPECT_EQ(m.VBR.VendorID.substr(0, 4), "LAME");
    EXPECT_EQ(m.Encoder.substr(0, 4), "LAME");
    EXPECT_EQ(m.Encoder.size(), 8u);
    EXPECT_NEAR(m.Duration(), p.duration, p.duration * 0.02);
    EXPECT_NEAR(m.BitRate() * 1000.0, double(p.bitRate), p.bitRate * 0.02);
}
