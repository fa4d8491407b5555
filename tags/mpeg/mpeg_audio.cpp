#include "tags/mpeg/mpeg_audio.h"

#include "tags/io/endian.h"
#include "tags/io/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tags {

namespace {

// [Version 3 / Versions 0 and 2][Layer][index], kbit/s (ISO/IEC 11172-3 and 13818-3).
constexpr uint16_t kBitRates[2][4][16] = {
    {{0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
    {{0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
};

// [Version][index], Hz.
constexpr uint32_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

// Xing flags: which optional fields follow.
constexpr uint32_t kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingQuality = 8;

TagText bytesText(const uint8_t* p, size_t n) {
    return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
}

void readVBR(const uint8_t* block, size_t size, size_t q, TVBRData& vbr) {
    vbr = TVBRData();
    if (q + 4 > size) return;
    const uint8_t* p = block + q;
    if (std::memcmp(p, "Xing", 4) == 0) {
        vbr.Found = true;
        vbr.ID = "Xing";
        // The flags word says which of frames, bytes, table of contents and quality are present.
        if (q + 8 > size) return;
        vbr.Flags = ReadBe32(p + 4);
        size_t at = q + 8;
        auto field = [&](uint32_t flag, size_t length) -> const uint8_t* {
            if (!(vbr.Flags & flag)) return nullptr;
            const uint8_t* f = at + length <= size ? block + at : nullptr;
            at += length;
            return f;
        };
        if (const uint8_t* f = field(kXingFrames, 4)) vbr.Frames = ReadBe32(f);
        if (const uint8_t* f = field(kXingBytes, 4)) vbr.Bytes = ReadBe32(f);
        field(kXingToc, 100);
        if (const uint8_t* f = field(kXingQuality, 4)) vbr.Scale = f[3];
        if (at + 8 <= size) vbr.VendorID = TrimRight(bytesText(block + at, 8));
    } else if (std::memcmp(p, "VBRI", 4) == 0) {
        vbr.Found = true;
        vbr.ID = "VBRI";
        if (q + 18 > size) return;
        vbr.Scale = p[9];
        vbr.Bytes = ReadBe32(p + 10);
        vbr.Frames = ReadBe32(p + 14);
    }
}

} // namespace

bool IsFrameHeader(const uint8_t* b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
    uint8_t version = (b[1] >> 3) & 3, layer = (b[1] >> 1) & 3, bitRate = b[2] >> 4,
            sampleRate = (b[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitRate != 0 && bitRate != 15 && sampleRate != 3 && (b[3] & 3) != 2;
}

TFrameData DecodeFrameHeader(const uint8_t* b) {
    TFrameData f;
    std::memcpy(f.Data.data(), b, 4);
    f.Version = (b[1] >> 3) & 3;
    f.Layer = (b[1] >> 1) & 3;
    f.Protection = (b[1] & 1) == 0;
    f.BitRateIndex = b[2] >> 4;
    f.SampleRateIndex = (b[2] >> 2) & 3;
    f.Padding = (b[2] & 2) != 0;
    f.Private = (b[2] & 1) != 0;
    f.Mode = b[3] >> 6;
    f.ModeExtension = (b[3] >> 4) & 3;
    f.Copyright = (b[3] & 8) != 0;
    f.Original = (b[3] & 4) != 0;
    f.Emphasis = b[3] & 3;
    return f;
}

uint16_t TableBitRate(const TFrameData& f) {
    if (f.Version == 1 || f.Version > 3 || f.Layer > 3 || f.BitRateIndex > 15) return 0;
    return kBitRates[f.Version == 3 ? 0 : 1][f.Layer][f.BitRateIndex];
}

uint32_t TableSampleRate(const TFrameData& f) {
    if (f.Version > 3 || f.SampleRateIndex > 3) return 0;
    return kSampleRates[f.Version][f.SampleRateIndex];
}

uint8_t Coefficient(const TFrameData& f) {
    if (f.Layer == 3) return 48;
    if (f.Version == 3 || f.Layer == 2) return 144;
    return 72;
}

uint8_t PaddingSize(const TFrameData& f) {
    return f.Padding ? (f.Layer == 3 ? 4 : 1) : 0;
}

uint16_t FrameLength(const TFrameData& f) {
    uint32_t rate = TableSampleRate(f);
    if (rate == 0) return 0;
    uint64_t length = uint64_t(Coefficient(f)) * TableBitRate(f) * 1000 / rate + PaddingSize(f);
    return static_cast<uint16_t>(length);
}

uint8_t VBRHeaderOffset(const TFrameData& f) {
    if (f.Version == 3) return f.Mode == 3 ? 21 : 36;
    return f.Mode == 3 ? 13 : 21;
}

bool FrameSearchBlock(const uint8_t* block, size_t size, TFrameData& frame, TVBRData& vbr) {
    size = std::min(size, kFrameSearchBlock);
    for (size_t p = 0; p < kFrameSearchBlock / 2 + 1 && p + 4 <= size; ++p) {
        if (!IsFrameHeader(block + p)) continue;
        TFrameData f = DecodeFrameHeader(block + p);
        size_t length = FrameLength(f);
        if (p + length + 4 > size || !IsFrameHeader(block + p + length)) continue;
        f.Found = true;
        f.Position = static_cast<int64_t>(p);
        f.Size = static_cast<uint16_t>(length);
        f.Xing =
            p + 10 <= size && std::all_of(block + p + 4, block + p + 10, [](uint8_t b) { return b == 0; });
        frame = f;
        readVBR(block, size, p + VBRHeaderOffset(f), vbr);
        return true;
    }
    return false;
}

TagText EncoderSearchBlock(const uint8_t* block, int64_t limit) {
    const int64_t last = static_cast<int64_t>(kFrameSearchBlock) - 8; // 3,450
    if (static_cast<int64_t>(kFrameSearchBlock) - limit - 8 < 0) limit = last;
    for (int64_t i = 0; i <= limit; ++i) {
        const uint8_t* w = block + (last - i);
        if (std::memcmp(w, "LAME", 4) == 0) return bytesText(w, 8);
        if (std::memcmp(w, "GOGO", 4) == 0) return "GOGO";
    }
    return {};
}

void TMPEGaudio::Clear() {
    FileLength = 0;
    Encoder.clear();
    VBR = TVBRData();
    Frame = TFrameData();
    AudioStart = 0;
    AudioEnd = 0;
    ID3v1.Clear();
    ID3v2.Clear();
    APEtag.Clear();
}

bool TMPEGaudio::ReadInfo(const std::filesystem::path& path) {
    Clear();
    try {
        TWideFileStream file(path, ModeReadShared);
        return ReadInfo(file);
    } catch (const TFileError&) {
        Clear();
        return false;
    }
}

bool TMPEGaudio::ReadInfo(TStream& stream) {
    Clear();
    try {
        bool tagsRead = ID3v2.ReadTags(stream);
        if (tagsRead) {
            try {
                ID3v1.ReadFrom(stream);
            } catch (const TFileError&) {
                tagsRead = false;
            }
        }
        if (tagsRead) {
            FileLength = stream.Size();
            std::vector<uint8_t> block(kFrameSearchBlock);
            auto readBlock = [&](int64_t at) {
                std::fill(block.begin(), block.end(), 0);
                stream.Seek(at);
                return stream.Read(block.data(), block.size());
            };
            int64_t offset = ID3v2.Size();
            size_t got = readBlock(offset);
            FrameSearchBlock(block.data(), got, Frame, VBR);
            Encoder = EncoderSearchBlock(block.data(), Frame.Found ? 5 * int64_t(Frame.Size) : 0);
            while (!Frame.Found && got == kFrameSearchBlock) {
                offset += static_cast<int64_t>(kFrameSearchBlock);
                got = readBlock(offset);
                FrameSearchBlock(block.data(), got, Frame, VBR);
            }
            if (Frame.Found) {
                Frame.Position += offset;
                AudioStart = Frame.Position;
                // An APEv2 tag in front of the trailer is not audio either; counting it would
                // stretch a CBR file's duration by the tag's bytes (a cover picture: seconds). Only
                // its size is needed here, so its items are not loaded.
                int64_t apeSize = 0;
                try {
                    apeSize = TAPETag::TagSizeIn(stream);
                } catch (const TFileError&) {
                }
                AudioEnd = std::max(AudioStart, FileLength - ID3v1.TrailerSize() - apeSize);
                if (Encoder.empty()) {
                    int64_t end = FileLength - (ID3v1.Exists() ? 128 : 0);
                    int64_t start = std::max<int64_t>(0, end - static_cast<int64_t>(kFrameSearchBlock));
                    std::fill(block.begin(), block.end(), 0);
                    stream.Seek(start);
                    stream.Read(block.data(), static_cast<size_t>(end - start));
                    Encoder = EncoderSearchBlock(block.data(), 5 * int64_t(Frame.Size));
                }
            }
        }
    } catch (const TFileError&) {
        Clear();
        return false;
    }
    if (!Frame.Found) Clear();
    return true;
}

uint16_t TMPEGaudio::BitRate() const {
    if (VBR.Found && VBR.Frames > 0) {
        uint32_t rate = TableSampleRate(Frame);
        double r = std::nearbyint((double(VBR.Bytes) / VBR.Frames - PaddingSize(Frame)) * rate /
                                  Coefficient(Frame) / 1000);
        return r <= 0 ? 0 : r >= 65535 ? 65535 : static_cast<uint16_t>(r);
    }
    return TableBitRate(Frame);
}

double TMPEGaudio::Duration() const {
    if (!Frame.Found) return 0;
    uint32_t rate = TableSampleRate(Frame);
    if (VBR.Found && VBR.Frames > 0) return rate > 0 ? double(Coefficient(Frame)) * VBR.Frames * 8 / rate : 0;
    uint16_t bitRate = TableBitRate(Frame);
    // a trailer that claims bytes of the audio leaves nothing, not a negative time
    int64_t audio = std::max<int64_t>(0, AudioEnd - AudioStart);
    return bitRate > 0 ? double(audio) * 8 / (bitRate * 1000.0) : 0;
}

bool TMPEGaudio::Valid() const {
    uint16_t r = BitRate();
    return Frame.Found && r >= 8 && r <= 448 && Duration() >= 0.1;
}

} // namespace tags
