// A picture as every tag format holds one (type, MIME type, description, data), and the byte forms
// that more than one format shares: the FLAC picture block that Vorbis comments carry in base64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tags {

struct TPicture {
    uint8_t type = 3;        // the ID3v2 numbering: 3 front cover, 4 back cover, ... 20
    std::string mime;        // "image/jpeg"; may be empty when the format keeps none
    std::string description; // UTF-8
    std::string data;
    // What a FLAC picture block says about the image; 0 when unknown.
    uint32_t width = 0, height = 0, depth = 0, colors = 0;

    bool operator==(const TPicture&) const = default;
};

inline constexpr uint8_t kPictureTypeCount = 21;

// "front cover", "back cover", ... for the report; "picture" for a type beyond the table.
std::string_view PictureTypeName(uint8_t type);

// The MIME type the data's first bytes show (JPEG, PNG, GIF, BMP, WebP, TIFF); empty when none.
std::string_view SniffImageMime(std::string_view data);

// Fills width, height, depth from a PNG, JPEG or GIF header where the data has one.
void SniffImageSize(TPicture& picture);

// Base64 with padding, as Vorbis comments carry binary data.
std::string Base64Encode(std::string_view bytes);
// None for text that is not base64 (white space inside is skipped).
std::optional<std::string> Base64Decode(std::string_view text);

// The FLAC picture block (big-endian lengths) and back; none when the block is damaged.
std::string FlacPictureBlock(const TPicture& picture);
std::optional<TPicture> ParseFlacPictureBlock(std::string_view block);

} // namespace tags
