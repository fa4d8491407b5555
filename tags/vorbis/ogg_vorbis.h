// Ogg Vorbis: stream properties from the identification header and the last page, and the Vorbis
// comments of the comment header, which are written back by rebuilding the header pages.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tags {

// The Ogg page checksum (CRC-32, polynomial 0x04C11DB7, initial 0, no reflection, no final inversion)
// over the given bytes; for a page, computed with its checksum field set to zero.
uint32_t OggChecksum(const uint8_t* data, size_t size, uint32_t crc = 0);

// Renumbers the pages of one stream from pos on by delta, with new checksums; stops at the first bytes
// that are not a page (those stay as they are).
void RenumberOggPages(TStream& stream, int64_t pos, uint32_t serial, int64_t delta);

// What a comment write does to a file: the file becomes head followed by its bytes from keepFrom
// on, and the pages of the stream behind the head are renumbered by renumberBy.
struct TOggWritePlan {
    std::vector<uint8_t> head;
    int64_t keepFrom = 0;
    uint32_t serial = 0;
    int64_t renumberBy = 0;
    bool unchanged = false; // the comment header stays as it is: nothing to write
};

class TOggVorbis {
public:
    int64_t FileSize = 0;
    uint8_t ChannelMode = 0;
    uint32_t SampleRate = 0;
    uint16_t BitRateNominal = 0; // kbit/s
    int64_t Samples = 0;         // granule position of the last page
    int64_t ID3v2Size = 0;       // an ID3v2 tag in front of the Ogg stream
    // A key that the file holds several times shows its values joined by "; ".
    TagText Title, Artist, Album, Date, Genre, Comment, Copyright;
    uint16_t Track = 0;
    TagText TrackTotal; // what follows the "/" of the track number's comment ("12" of "3/12")
    TagText Vendor;
    // Comments that no field owns, as stored ("KEY=value"), in file order; PERFORMER and DESCRIPTION
    // are among them, as they only stand in for an empty ARTIST or COMMENT. Read for information;
    // WriteComments keeps the file's own.
    std::vector<std::string> OtherComments;
    // Comments ("KEY=value", the key as Vorbis allows it) that a write puts behind the others; they
    // replace the file's comments of their keys, unless a field owns the key.
    std::vector<std::string> AddedComments;

    void Clear();
    // False when the stream does not start (after an ID3v2 tag) with an Ogg page holding a Vorbis
    // identification header. The path variant throws TFileError when the file cannot be opened.
    bool ReadInfo(const std::filesystem::path& path);
    bool ReadInfo(TStream& stream);
    // Rewrites the comment header from the eight fields. A field that still shows what the file holds
    // leaves its comments exactly as they are (several values, key spelling, place); a changed one
    // replaces them with its value in the place of the first (an empty value removes them), and a
    // changed Track keeps the file's "/total". The vendor string and every comment that no field owns
    // stay. False, with the file untouched, when the file has no comment header that can be rewritten
    // or the rewrite fails. Throws TFileError when the file cannot be opened.
    bool WriteComments(const std::filesystem::path& path) const;
    // The write for a file's current bytes; false when the file's comment header cannot be rewritten.
    bool PlanWrite(TStream& file, TOggWritePlan& plan) const;

    double Duration() const;
    uint16_t BitRate() const;
    bool Valid() const;
};

} // namespace tags
