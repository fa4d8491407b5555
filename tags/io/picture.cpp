#include "tags/io/picture.h"

#include "tags/io/endian.h"

#include <array>

namespace tags {

namespace {

constexpr std::array<std::string_view, kPictureTypeCount> kTypeNames = {"other picture",
                                                                        "file icon",
                                                                        "other file icon",
                                                                        "front cover",
                                                                        "back cover",
                                                                        "leaflet page",
                                                                        "media picture",
                                                                        "lead artist picture",
                                                                        "artist picture",
                                                                        "conductor picture",
                                                                        "band picture",
                                                                        "composer picture",
                                                                        "lyricist picture",
                                                                        "recording location",
                                                                        "picture during recording",
                                                                        "picture during performance",
                                                                        "video capture",
                                                                        "fish picture",
                                                                        "illustration",
                                                                        "band logo",
                                                                        "publisher logo"};

uint32_t Be16(const unsigned char* p) {
    return uint32_t(p[0]) << 8 | p[1];
}

const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

void AppendBlob(std::string& out, std::string_view bytes) {
    AppendBe32(out, static_cast<uint32_t>(bytes.size()));
    out.append(bytes);
}

} // namespace

std::string_view PictureTypeName(uint8_t type) {
    return type < kTypeNames.size() ? kTypeNames[type] : "picture";
}

std::string_view SniffImageMime(std::string_view d) {
    if (d.size() >= 3 && d.substr(0, 3) == "\xFF\xD8\xFF") return "image/jpeg";
    if (d.size() >= 8 && d.substr(0, 8) == "\x89PNG\r\n\x1A\n") return "image/png";
    if (d.size() >= 6 && (d.substr(0, 6) == "GIF87a" || d.substr(0, 6) == "GIF89a")) return "image/gif";
    if (d.size() >= 12 && d.substr(0, 4) == "RIFF" && d.substr(8, 4) == "WEBP") return "image/webp";
    if (d.size() >= 2 && d.substr(0, 2) == "BM") return "image/bmp";
    if (d.size() >= 4 && (d.substr(0, 4) == std::string_view("II*\0", 4) || d.substr(0, 4) == "MM\0*"))
        return "image/tiff";
    return {};
}

void SniffImageSize(TPicture& picture) {
    const std::string_view d = picture.data;
    const unsigned char* p = Bytes(d);
    const std::string_view mime = SniffImageMime(d);
    if (mime == "image/png" && d.size() >= 26 && d.substr(12, 4) == "IHDR") {
        picture.width = ReadBe32(p + 16);
        picture.height = ReadBe32(p + 20);
        static constexpr uint8_t channels[] = {1, 0, 3, 1, 2, 0, 4};
        const uint8_t colorType = p[25];
        picture.depth = colorType < std::size(channels) ? uint32_t(p[24]) * channels[colorType] : 0;
    } else if (mime == "image/gif" && d.size() >= 10) {
        picture.width = uint32_t(p[6]) | uint32_t(p[7]) << 8;
        picture.height = uint32_t(p[8]) | uint32_t(p[9]) << 8;
    } else if (mime == "image/jpeg") {
        // The first start-of-frame segment holds precision, height, width and components.
        for (size_t at = 2; at + 4 <= d.size();) {
            if (p[at] != 0xFF) return;
            const unsigned char marker = p[at + 1];
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            const size_t length = Be16(p + at + 2);
            const bool frame =
                marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame && at + 10 <= d.size()) {
                picture.height = Be16(p + at + 5);
                picture.width = Be16(p + at + 7);
                picture.depth = uint32_t(p[at + 4]) * p[at + 9];
                return;
            }
            if (length < 2) return;
            at += 2 + length;
        }
    }
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const unsigned char* p = Bytes(bytes);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            out += kDigits[(v >> shift) & 63];
    }
    if (const size_t rest = bytes.size() - i) {
        const uint32_t v = uint32_t(p[i]) << 16 | (rest == 2 ? uint32_t(p[i + 1]) << 8 : 0);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    bool padded = false;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+' || c == '-')
            v = 62;
        else if (c == '/' || c == '_')
            v = 63;
        else if (c == '=') {
            padded = true;
            continue;
        } else if (c == ' ' || c == '\r' || c == '\n' || c == '\t')
            continue;
        else
            return std::nullopt;
        if (padded) return std::nullopt; // digits after the padding
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1) return std::nullopt;
    if (count == 2) out += static_cast<char>(bits >> 4);
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

std::string FlacPictureBlock(const TPicture& picture) {
    std::string out;
    out.reserve(32 + picture.mime.size() + picture.description.size() + picture.data.size());
    AppendBe32(out, picture.type);
    AppendBlob(out, picture.mime);
    AppendBlob(out, picture.description);
    AppendBe32(out, picture.width);
    AppendBe32(out, picture.height);
    AppendBe32(out, picture.depth);
    AppendBe32(out, picture.colors);
    AppendBlob(out, picture.data);
    return out;
}

std::optional<TPicture> ParseFlacPictureBlock(std::string_view block) {
    const unsigned char* p = Bytes(block);
    size_t at = 0;
    auto number = [&](uint32_t& out) {
        if (block.size() - at < 4) return false;
        out = ReadBe32(p + at);
        at += 4;
        return true;
    };
    auto blob = [&](std::string& out) {
        uint32_t n = 0;
        if (!number(n) || block.size() - at < n) return false;
        out.assign(block.substr(at, n));
        at += n;
        return true;
    };
    TPicture picture;
    uint32_t type = 0;
    if (!number(type) || type > 255 || !blob(picture.mime) || !blob(picture.description) ||
        !number(picture.width) || !number(picture.height) || !number(picture.depth) ||
        !number(picture.colors) || !blob(picture.data))
        return std::nullopt;
    picture.type = static_cast<uint8_t>(type);
    return picture;
}

} // namespace tags
