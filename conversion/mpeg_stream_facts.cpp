#include "conversion/mpeg_stream_facts.h"

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

namespace quillotone {

namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct Header {
    int versionIndex; // 3 MPEG1, 2 MPEG2, 0 MPEG2.5
    int layer;
    int bitrateKbps;
    int sampleRate;
    int mode; // 0 stereo, 1 joint, 2 dual, 3 mono
    int frameBytes;
    int samples;
};

bool parseHeader(const uint8_t* p, Header& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    int version = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    static constexpr int kRates[3] = {44100, 48000, 32000};
    static constexpr int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    h.versionIndex = version;
    h.layer = 4 - layerBits;
    bool mpeg1 = version == 3;
    h.bitrateKbps = kBitrates[mpeg1 ? 0 : 1][h.layer - 1][bitrateIndex];
    h.sampleRate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    h.mode = p[3] >> 6;
    if (h.layer == 1) {
        h.samples = 384;
        h.frameBytes = (12 * h.bitrateKbps * 1000 / h.sampleRate + padding) * 4;
    } else {
        h.samples = h.layer == 3 && !mpeg1 ? 576 : 1152;
        h.frameBytes = h.samples / 8 * h.bitrateKbps * 1000 / h.sampleRate + padding;
    }
    return h.frameBytes > 4;
}

// Bytes of APEv2, Lyrics3 v2 and ID3v1 at the end of the file, which are not audio.
int64_t trailingTagBytes(std::ifstream& in, int64_t fileSize) {
    int64_t end = fileSize;
    std::array<uint8_t, 32> buf{};
    auto readAt = [&](int64_t pos, size_t n) {
        if (pos < 0) return false;
        in.clear();
        in.seekg(pos);
        in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(n));
        return in.gcount() == static_cast<std::streamsize>(n);
    };
    if (readAt(end - 128, 3) && std::memcmp(buf.data(), "TAG", 3) == 0) end -= 128;
    for (bool found = true; found;) {
        found = false;
        if (readAt(end - 15, 15) && std::memcmp(buf.data() + 6, "LYRICS200", 9) == 0) {
            int64_t size = 0;
            bool digits = true;
            for (int i = 0; i < 6; ++i) {
                digits = digits && buf[static_cast<size_t>(i)] >= '0' && buf[static_cast<size_t>(i)] <= '9';
                size = size * 10 + (buf[static_cast<size_t>(i)] - '0');
            }
            if (digits && size + 15 <= end) {
                end -= size + 15;
                found = true;
            }
        }
        if (readAt(end - 32, 32) && std::memcmp(buf.data(), "APETAGEX", 8) == 0) {
            uint32_t size = uint32_t(buf[12]) | uint32_t(buf[13]) << 8 | uint32_t(buf[14]) << 16 |
                            uint32_t(buf[15]) << 24;
            uint32_t flags = uint32_t(buf[20]) | uint32_t(buf[21]) << 8 | uint32_t(buf[22]) << 16 |
                             uint32_t(buf[23]) << 24;
            int64_t total = int64_t(size) + ((flags & 0x80000000u) ? 32 : 0);
            if (total <= end) {
                end -= total;
                found = true;
            }
        }
    }
    return fileSize - end;
}

} // namespace

MpegStreamFacts ReadMpegStreamFacts(const std::string& path, int64_t fileSize) {
    MpegStreamFacts facts;
    std::ifstream in(path, std::ios::binary);
    if (!in) return facts;
    uint8_t id3[10] = {};
    in.read(reinterpret_cast<char*>(id3), 10);
    int64_t start = 0;
    if (in.gcount() == 10 && std::memcmp(id3, "ID3", 3) == 0)
        start = ((int64_t(id3[6] & 0x7F) << 21) | (int64_t(id3[7] & 0x7F) << 14) |
                 (int64_t(id3[8] & 0x7F) << 7) | (id3[9] & 0x7F)) +
                10 + ((id3[5] & 0x10) ? 10 : 0);
    // look for two frames in a row, so that stray sync bytes in junk are not taken for audio
    std::vector<uint8_t> buf(64 * 1024);
    in.clear();
    in.seekg(start);
    in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    size_t got = static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0));
    Header h{};
    size_t pos = 0;
    bool found = false;
    for (; pos + 4 <= got; ++pos) {
        Header next{};
        if (parseHeader(&buf[pos], h) && (pos + h.frameBytes + 4 > got ||
                                          (parseHeader(&buf[pos + static_cast<size_t>(h.frameBytes)], next) &&
                                           next.sampleRate == h.sampleRate && next.layer == h.layer))) {
            found = true;
            break;
        }
    }
    if (!found) return facts;
    facts.valid = true;
    facts.version = h.versionIndex == 3 ? "1" : h.versionIndex == 2 ? "2" : "2.5";
    facts.layer = h.layer;
    facts.channelMode = h.mode == 3 ? 1 : h.mode == 2 ? 3 : 2;
    facts.jointStereo = h.mode == 1;
    int64_t audioStart = start + static_cast<int64_t>(pos);
    int64_t audioBytes = fileSize - audioStart - trailingTagBytes(in, fileSize);

    // Xing/Info sits after the side information; VBRI 32 bytes after the header
    bool mpeg1 = h.versionIndex == 3;
    size_t side = mpeg1 ? (h.mode == 3 ? 17 : 32) : (h.mode == 3 ? 9 : 17);
    int64_t frames = 0;
    const uint8_t* f = &buf[pos];
    size_t avail = got - pos;
    if (avail >= 4 + side + 12 &&
        (std::memcmp(f + 4 + side, "Xing", 4) == 0 || std::memcmp(f + 4 + side, "Info", 4) == 0)) {
        uint32_t flags = be32(f + 4 + side + 4);
        if (flags & 1) {
            frames = be32(f + 4 + side + 8);
            facts.vbr = std::memcmp(f + 4 + side, "Xing", 4) == 0;
        }
    } else if (avail >= 4 + 32 + 18 && std::memcmp(f + 36, "VBRI", 4) == 0) {
        frames = be32(f + 36 + 14);
        facts.vbr = true;
    }
    if (frames > 0) {
        facts.durationMs = frames * h.samples * 1000 / h.sampleRate;
        // an "Info" header marks CBR: its frame bitrate is the file's
        if (facts.vbr && facts.durationMs > 0)
            facts.averageBitrate = audioBytes * 8 * 1000 / facts.durationMs;
        else
            facts.averageBitrate = int64_t(h.bitrateKbps) * 1000;
    } else if (h.bitrateKbps > 0 && audioBytes > 0) {
        facts.durationMs = audioBytes * 8 / h.bitrateKbps;
        facts.averageBitrate = int64_t(h.bitrateKbps) * 1000;
    }
    return facts;
}

} // namespace quillotone
