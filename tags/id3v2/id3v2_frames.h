// The frame level of ID3v2: parsing a tag into frames, the text encodings, and turning frames of any
// version into ID3v2.3 frames. Used by TID3v2 and its tests; nothing here touches a file.
#pragma once

#include "tags/io/picture.h"
#include "tags/io/stream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tags::id3v2 {

using Bytes = std::vector<uint8_t>;

enum Encoding : uint8_t { Latin1 = 0, Utf16Bom = 1, Utf16BE = 2, Utf8 = 3 };

// More frames than any tag needs: a tag with more is taken for damaged.
inline constexpr size_t kMaxFrames = size_t(1) << 24;

// One frame of a parsed tag: its header and where its content lies in the tag's frame area.
struct TFrame {
    std::string id;       // as stored: 3 characters in a 2.2 tag, 4 otherwise
    size_t contentAt = 0; // in TParsedTag::body
    size_t size = 0;      // content bytes as stored (flag data included)
    uint8_t status = 0;   // the two flag bytes (none in 2.2)
    uint8_t format = 0;
};

struct TParsedTag {
    bool startsWithId3 = false;
    uint8_t version = 0;
    uint8_t flags = 0;
    uint32_t size = 0; // whole tag with header (and footer), 0 when the header claims more than the file
    Bytes body;        // the frame area, whole-tag unsynchronisation of 2.2 and 2.3 undone
    size_t framesAt = 0;
    bool tooManyFrames = false;
    // One TDRC and no TYER: a 2.4 recording time can become TYER, TDAT and TIME and show the same year.
    bool recordingTimeAlone = false;
    std::vector<TFrame> frames; // filled when ParseTag is asked to list them
};

// Reads the tag at the stream's start. False only when the stream is shorter than 10 bytes; a damaged
// frame area ends the frame list there. Costs about the tag's own size, plus the list when asked for.
bool ParseTag(TStream& stream, TParsedTag& tag, bool listFrames = true);
// Calls visit for each frame in order, without a list; false when the tag has more than kMaxFrames.
bool ForEachFrame(const TParsedTag& tag, const std::function<void(const TFrame&)>& visit);

// The content as the frame means it (unsynchronisation undone; group byte, encryption method and data
// length removed); none for compressed or encrypted content, which is never decoded here.
std::optional<Bytes> Content(const TParsedTag& tag, const TFrame& frame);

// A whole frame for a 2.3 tag.
struct TFrame23 {
    std::string id;
    Bytes bytes; // header included
};
// The frame as it goes into a 2.3 tag: a 2.3 frame as it is; a 2.2 frame under its 2.3 ID (a picture's
// image format becomes a MIME type); a 2.4 frame with a 2.3 header, its text in encodings 2.3 knows,
// compressed or encrypted ones with their flags, and a recording time (the tag's only one, beside no
// TYER) as TYER, TDAT and TIME.
std::vector<TFrame23> For23(const TParsedTag& tag, const TFrame& frame);
// The 2.3 ID of a 2.2 frame; one of the experimental "X" IDs for a 2.2 frame 2.3 has no name for.
std::string Id23(std::string_view id22);

// Text of one string in the given encoding, as UTF-8. UTF-16 stops at its first zero unit and honours
// a byte-order mark; Latin-1 and UTF-8 keep inner zero bytes. Not trimmed.
std::string DecodeString(uint8_t encoding, const uint8_t* data, size_t size);
// Offset of the terminator of the first string (size when there is none), and its length.
size_t FindTerminator(uint8_t encoding, const uint8_t* data, size_t size);
size_t TerminatorSize(uint8_t encoding);
// The strings of a text frame's content (encoding byte first), decoded, in order; a terminator at the
// very end starts no further string.
std::vector<std::string> TextValues(const Bytes& content);

// Latin-1 when every character fits, else UTF-16 with byte-order mark.
uint8_t EncodingFor(std::string_view utf8);
Bytes EncodeString(uint8_t encoding, std::string_view utf8);

// A frame with a 2.3 header (plain size, the given flags) around the content.
Bytes MakeFrame(std::string_view id, const Bytes& content, uint8_t statusFlags = 0, uint8_t formatFlags = 0);

// An APIC frame's content (the description in Latin-1 when it fits, else UTF-16) and back; none for
// content that is not a sound picture.
Bytes PictureContent(const TPicture& picture);
std::optional<TPicture> ParsePicture(const Bytes& content);

// Text fields of a 2.4 frame in UTF-16BE or UTF-8, which 2.3 does not know, re-encoded for 2.3.
Bytes ReencodeFor23(std::string_view id, const Bytes& content);

// What a genre frame's values show: "(8)" and, in 2.4, "8" name the genre of that number ("Jazz"); a
// text after the references refines them and shows beside them ("(4)Eurodisco": "Disco; Eurodisco"),
// once when it says the same ("(8)Jazz": "Jazz"); "((" stands for a "(" of the text. Several values
// are joined by "; ".
std::string GenreText(const std::vector<std::string>& values, uint8_t version);

} // namespace tags::id3v2
