// TID3v1: the 128-byte ID3v1 record (1.0 and 1.1) at the very end of a file, and the Lyrics3 v2.00
// block that may stand in front of it. Fields are UTF-8 in memory and ISO-8859-1 in the file.
#pragma once

#include "tags/io/files.h"
#include "tags/io/stream.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tags {

inline constexpr int kGenreCount = 148;
extern const std::array<std::string_view, kGenreCount> GenreNames;

class TID3v1 {
public:
    TID3v1() { Clear(); }

    void Clear();
    // Reads both trailer tags; true when the file could be read, whether or not tags were found.
    bool ReadTags(const std::filesystem::path& path);
    // Replaces the trailer tags with the fields; on a failed write the old trailer is put back.
    bool WriteTags(const std::filesystem::path& path);
    // Cuts an ID3v1 record and a Lyrics3 block off the end of the file.
    bool RemoveTags(const std::filesystem::path& path);

    // The same on a stream (parsers are tested and fuzzed on memory); these throw TFileError.
    void ReadFrom(TStream& stream, bool parseFields = true);
    void WriteTo(TStream& stream);
    void RemoveFrom(TStream& stream);
    // The changes WriteTo and RemoveFrom make: the trailer from where the old one starts.
    TFileChange PlanWrite(TStream& stream);
    TFileChange PlanRemove(TStream& stream);

    bool Exists() const { return exists_; }
    uint8_t Version() const { return version_; }
    const TagText& Title() const { return title_; }
    const TagText& Artist() const { return artist_; }
    const TagText& Album() const { return album_; }
    const TagText& Year() const { return year_; }
    const TagText& Comment() const { return comment_; }
    uint8_t Track() const { return track_; }
    uint8_t GenreID() const { return genreId_; }
    TagText Genre() const;
    bool LyricsExists() const { return lyricsExists_; }
    int32_t LyricsSize() const { return lyricsSize_; }
    const TagText& Lyrics() const { return lyrics_; }
    const TagText& LyricsAuthor() const { return lyricsAuthor_; }
    const TagText& LyricsImage() const { return lyricsImage_; }
    // Bytes that ID3v1 and Lyrics3 occupy at the end of the file.
    int64_t TrailerSize() const;

    void SetTitle(const TagText& value);
    void SetArtist(const TagText& value);
    void SetAlbum(const TagText& value);
    void SetComment(const TagText& value);
    // Trimmed on the right and cut to 4 characters (the record's 4 Latin-1 bytes).
    void SetYear(const TagText& value);
    void SetTrack(uint8_t value) { track_ = value; }
    // The first genre name equal without regard to case, else 255.
    void SetGenre(const TagText& name);
    void SetGenreID(uint8_t id) { genreId_ = id; }
    void SetLyrics(const TagText& value) { lyrics_ = value; }
    void SetLyricsAuthor(const TagText& value) { lyricsAuthor_ = value; }
    void SetLyricsImage(const TagText& value) { lyricsImage_ = value; }

    // The Lyrics3 block that the fields give (empty when the rules ask for none), and the record.
    std::string BuildLyrics3() const;
    std::array<uint8_t, 128> BuildRecord() const;

private:
    void ParseLyricsFields(TStream& stream, int64_t begin, int64_t end);
    void Written(size_t trailerBytes);
    void Removed();

    bool exists_;
    uint8_t version_;
    TagText title_, artist_, album_, year_, comment_;
    uint8_t track_;
    uint8_t genreId_;
    bool lyricsExists_;
    int32_t lyricsSize_;
    TagText lyrics_, lyricsAuthor_, lyricsImage_;
};

} // namespace tags
