// The frame level of ID3v2: parsing a tag into frames, the text encodings, and building 2.3 frames.
// Used by TID3v2 and its tests; nothing here touches a file.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tags::id3v2 {

using Bytes = std::vector<uint8_t>;

enum Encoding : uint8_t { Latin1 = 0, Utf16Bom = 1, Utf16BE = 2, Utf8 = 3 };

struct TFrame {
    std::string id;
    // The content as the frame means it: unsynchronisation undone, group byte and data length removed.
    Bytes content;
    // False for compressed or encrypted content, which is never decoded.
    bool readable = true;
    // The whole frame as it goes into a 2.3 tag, header included; empty when it cannot be carried over.
    Bytes carried;
};

struct TParsedTag {
    bool startsWithId3 = false;
    uint8_t version = 0;
    uint8_t flags = 0;
    uint32_t size = 0; // whole tag with header (and footer), 0 when the header claims more than the file
    std::vector<TFrame> frames;
};

// Reads the tag at the stream's start. False only when the stream is shorter than 10 bytes; a damaged
// frame area ends the frame list there.
bool ParseTag(TStream& stream, TParsedTag& tag);

// Text of one string in the given encoding, as UTF-8. UTF-16 stops at its first zero unit and honours
// a byte-order mark; Latin-1 and UTF-8 keep inner zero bytes. Not trimmed.
std::string DecodeString(uint8_t encoding, const uint8_t* data, size_t size);
// Offset of the terminator of the first string (size when there is none), and its length.
size_t FindTerminator(uint8_t encoding, const uint8_t* data, size_t size);
size_t TerminatorSize(uint8_t encoding);

// Latin-1 when every character fits, else UTF-16 with byte-order mark.
uint8_t EncodingFor(std::string_view utf8);
Bytes EncodeString(uint8_t encoding, std::string_view utf8);

// A frame with a 2.3 header (plain size, the given flags) around the content.
Bytes MakeFrame(std::string_view id, const Bytes& content, uint8_t statusFlags = 0, uint8_t formatFlags = 0);

// Text fields of a 2.4 frame in UTF-16BE or UTF-8, which 2.3 does not know, re-encoded for 2.3.
Bytes ReencodeFor23(std::string_view id, const Bytes& content);

} // namespace tags::id3v2
