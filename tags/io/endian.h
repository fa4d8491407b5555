// Byte order of the tag formats: ID3v2 and the MPEG header are big-endian; APEv2, Ogg and ASF are
// little-endian. Readers take a pointer to bytes already checked to be there.
#pragma once

#include <cstdint>

namespace tags {

inline uint64_t ReadLe(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(ReadLe(p, 4));
}
inline uint64_t ReadLe64(const uint8_t* p) {
    return ReadLe(p, 8);
}
inline uint32_t ReadBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void WriteLe(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends to a byte container (std::vector<uint8_t> or std::string).
template <typename Bytes> void AppendLe(Bytes& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<typename Bytes::value_type>((v >> (8 * i)) & 0xFF));
}
template <typename Bytes> void AppendBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<typename Bytes::value_type>((v >> shift) & 0xFF));
}

} // namespace tags
