// TMPEGaudio: whether a file is an MPEG audio stream, and its properties from the first frame, a Xing
// or VBRI header and an encoder mark; it owns the file's ID3v1, ID3v2 and APEv2 tag objects.
#pragma once

#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/io/stream.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tags {

struct TVBRData {
    bool Found = false;
    std::string ID; // "Xing" or "VBRI"
    uint32_t Frames = 0;
    uint32_t Bytes = 0;
    uint8_t Scale = 0;
    TagText VendorID;   // Xing only: the 8 characters after the Xing data
    uint32_t Flags = 0; // Xing only: which optional fields are present
};

// The first frame's header, decoded. The cleared values of Version, SampleRateIndex, Mode,
// ModeExtension and Emphasis are ones no valid header carries.
struct TFrameData {
    bool Found = false;
    int64_t Position = 0;
    uint16_t Size = 0;
    bool Xing = false; // the 6 bytes after the header are all zero
    std::array<uint8_t, 4> Data{};
    uint8_t Version = 1; // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
    uint8_t Layer = 0;   // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
    bool Protection = false;
    uint8_t BitRateIndex = 0;
    uint8_t SampleRateIndex = 3;
    bool Padding = false;
    bool Private = false;
    uint8_t Mode = 4; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    uint8_t ModeExtension = 4;
    bool Copyright = false;
    bool Original = false;
    uint8_t Emphasis = 2;
};

inline constexpr size_t kFrameSearchBlock = 3458;

// The pieces of the search, on bytes.
bool IsFrameHeader(const uint8_t* b);
TFrameData DecodeFrameHeader(const uint8_t* b);
uint16_t TableBitRate(const TFrameData& f);    // kbit/s, 0 for reserved values
uint32_t TableSampleRate(const TFrameData& f); // Hz, 0 for reserved values
uint8_t Coefficient(const TFrameData& f);
uint8_t PaddingSize(const TFrameData& f);
uint16_t FrameLength(const TFrameData& f);
uint8_t VBRHeaderOffset(const TFrameData& f);
// Searches the first 1,730 positions of a block of `size` bytes (at most kFrameSearchBlock) for a
// header followed by another at the frame's length; on success also reads the VBR header.
bool FrameSearchBlock(const uint8_t* block, size_t size, TFrameData& frame, TVBRData& vbr);
// Looks for "LAME" (with 4 more characters) or "GOGO" backwards from offset 3,450 of a block of
// kFrameSearchBlock bytes, over limit + 1 positions; empty when none.
TagText EncoderSearchBlock(const uint8_t* block, int64_t limit);

class TMPEGaudio {
public:
    TMPEGaudio() = default;
    TMPEGaudio(const TMPEGaudio&) = delete;
    TMPEGaudio& operator=(const TMPEGaudio&) = delete;

    int64_t FileLength = 0;
    TagText Encoder;
    TVBRData VBR;
    TFrameData Frame;
    int64_t AudioStart = 0;
    int64_t AudioEnd = 0;
    TID3v1 ID3v1;
    TID3v2 ID3v2;
    TAPETag APEtag;

    void Clear();
    // True unless the file cannot be opened or read; a file without a recognisable frame gives true
    // with Valid false and the tag objects cleared.
    bool ReadInfo(const std::filesystem::path& path);
    bool ReadInfo(TStream& stream);

    uint16_t BitRate() const; // kbit/s
    double Duration() const;  // seconds
    bool Valid() const;
};

} // namespace tags
