// ID3v2 at the start of an MP3 file: tag versions 2.2, 2.3 and 2.4 are read into a fixed set of fields,
// and written back as an ID3v2.3 tag in which only the frames of the fields that were set change; every
// other frame is carried over (under its 2.3 form).
#pragma once

#include "tags/io/stream.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tags {

class TID3v2 {
public:
    // The text fields, in the order of the field table.
    enum class Field {
        Title,
        Artist,
        Album,
        TrackText,
        Year,
        Genre,
        Comment,
        Composer,
        Encoder,
        Copyright,
        Language,
        Link,
        AudioSizeText,
        Count
    };

    // What a write does to a file, worked out from the file's bytes alone.
    struct TWritePlan {
        bool inPlace = false;     // the new tag replaces the old one byte for byte, nothing moves
        std::vector<uint8_t> tag; // the whole new tag, padding included
        int64_t keepFrom = 0;     // rebuild: the file is kept from here on, behind the new tag
    };

    void Clear();
    // False only when the file cannot be read or is shorter than 10 bytes; a damaged tag reads as far
    // as it is sound.
    bool ReadTags(const std::filesystem::path& path);
    bool ReadTags(TStream& stream);
    // Writes a new ID3v2.3 tag, in place or by rebuilding the file (see ChangeFile): the frames of the
    // fields that were set hold their new values, every other frame of the file's tag stays as it was.
    bool WriteTags(const std::filesystem::path& path) const;
    // The write for a file's current bytes; false when no tag can be built (larger than ID3v2 can say,
    // or a tag with more frames than kMaxFrames, which is taken for damaged).
    bool PlanWrite(TStream& file, TWritePlan& plan) const;
    // Whether a field will be written: its setter was called with a value other than the one read.
    bool Edited(Field field) const { return edited_[static_cast<size_t>(field)]; }
    // Why the tag was taken for damaged (more frames than any tag has), so that no write touches it;
    // empty when it was not.
    const std::string& Error() const { return error_; }
    bool TrackEdited() const { return trackEdited_; }

    bool Exists() const { return exists_; }
    uint8_t VersionID() const { return versionId_; }
    uint32_t Size() const { return size_; }
    uint16_t Track() const { return track_; }
    const TagText& Text(Field field) const { return text_[static_cast<size_t>(field)]; }

    const TagText& Title() const { return Text(Field::Title); }
    const TagText& Artist() const { return Text(Field::Artist); }
    const TagText& Album() const { return Text(Field::Album); }
    const TagText& TrackText() const { return Text(Field::TrackText); }
    const TagText& Year() const { return Text(Field::Year); }
    const TagText& Genre() const { return Text(Field::Genre); }
    const TagText& Comment() const { return Text(Field::Comment); }
    const TagText& Composer() const { return Text(Field::Composer); }
    const TagText& Encoder() const { return Text(Field::Encoder); }
    const TagText& Copyright() const { return Text(Field::Copyright); }
    const TagText& Language() const { return Text(Field::Language); }
    const TagText& Link() const { return Text(Field::Link); }
    const TagText& AudioSizeText() const { return Text(Field::AudioSizeText); }

    // Setters store the value trimmed on both ends and mark the field for writing, unless it equals
    // the value read (so a genre "(8)" shown as "Jazz", or several values shown joined by "; ", stay as
    // they are). Composer and Language have none: their frames are always carried over. The link is
    // written in Latin-1, as ID3 asks; other characters are percent-encoded as in a URI.
    void SetTitle(const TagText& value) { Set(Field::Title, value); }
    void SetArtist(const TagText& value) { Set(Field::Artist, value); }
    void SetAlbum(const TagText& value) { Set(Field::Album, value); }
    void SetYear(const TagText& value) { Set(Field::Year, value); }
    void SetGenre(const TagText& value) { Set(Field::Genre, value); }
    void SetComment(const TagText& value) { Set(Field::Comment, value); }
    void SetEncoder(const TagText& value) { Set(Field::Encoder, value); }
    void SetCopyright(const TagText& value) { Set(Field::Copyright, value); }
    void SetLink(const TagText& value) { Set(Field::Link, value); }
    // A track number of 0 writes no TRCK; otherwise a total the frame had stays ("4/12").
    void SetTrack(uint16_t value);
    // The total a written track number gets ("4/12"), in place of the one the frame had; empty for none.
    void SetTrackTotal(const TagText& total);

    // Whole ID3v2.3 frames (header included) that a write puts into the tag behind the fields' frames.
    // Each replaces the file's frames of its ID, or of its ID and description for user text (TXXX) and
    // user links (WXXX); a frame of another kind replaces only an equal one. Frames they do not replace
    // stay.
    void SetAddedFrames(std::vector<std::vector<uint8_t>> frames);

private:
    void Set(Field field, const TagText& value);

    bool read_ = false; // ReadTags filled the fields
    std::bitset<static_cast<size_t>(Field::Count)> edited_;
    bool trackEdited_ = false;
    bool trackTotalSet_ = false;
    TagText trackTotal_;
    std::vector<std::vector<uint8_t>> added_;
    mutable std::string error_;
    bool exists_ = false;
    uint8_t versionId_ = 0;
    uint32_t size_ = 0;
    uint16_t track_ = 0;
    std::array<TagText, static_cast<size_t>(Field::Count)> text_;
};

} // namespace tags
