#include "tags/id3v1/id3v1.h"

#include "tags/io/files.h"
#include "tags/io/text.h"

#include <cstdio>
#include <cstring>

namespace tags {

const std::array<std::string_view, kGenreCount> GenreNames = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "A capella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Thrash Metal",
    "Anime",
    "JPop",
    "Synthpop",
};

namespace {

constexpr int kRecordSize = 128;
constexpr int kFooterSize = 15; // 6 size digits + "LYRICS200"
constexpr int kFieldLimit = 99999;

bool IsLong(const TagText& utf8) {
    return Utf8ToLatin1(utf8).size() > 30;
}

std::string ReadAt(TStream& stream, int64_t position, size_t count) {
    stream.Seek(position);
    auto bytes = stream.ReadBytes(count);
    return std::string(bytes.begin(), bytes.end());
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size())
        out.append(text.substr(pos, hit - pos)).append(to);
    out.append(text.substr(pos));
    return out;
}

// Field text from the file: Latin-1 bytes trimmed on the right.
TagText FromRecord(const std::string& record, size_t offset, size_t length) {
    return Latin1ToUtf8(TrimRight(std::string_view(record).substr(offset, length)));
}

} // namespace

void TID3v1::Clear() {
    exists_ = false;
    version_ = 1;
    title_.clear();
    artist_.clear();
    album_.clear();
    year_.clear();
    comment_.clear();
    track_ = 0;
    genreId_ = 255;
    lyricsExists_ = false;
    lyricsSize_ = 0;
    lyrics_.clear();
    lyricsAuthor_.clear();
    lyricsImage_.clear();
}

TagText TID3v1::Genre() const {
    return genreId_ < kGenreCount ? TagText(GenreNames[genreId_]) : TagText();
}

int64_t TID3v1::TrailerSize() const {
    return (lyricsSize_ > 0 ? int64_t(lyricsSize_) + kFooterSize : 0) + (exists_ ? kRecordSize : 0);
}

void TID3v1::SetTitle(const TagText& value) {
    title_ = TrimRight(value);
}
void TID3v1::SetArtist(const TagText& value) {
    artist_ = TrimRight(value);
}
void TID3v1::SetAlbum(const TagText& value) {
    album_ = TrimRight(value);
}
void TID3v1::SetComment(const TagText& value) {
    comment_ = TrimRight(value);
}

void TID3v1::SetYear(const TagText& value) {
    year_ = Latin1ToUtf8(TrimRight(Utf8ToLatin1(value)).substr(0, 4));
}

void TID3v1::SetGenre(const TagText& name) {
    genreId_ = 255;
    for (int i = 0; i < kGenreCount; ++i)
        if (SameTextAscii(GenreNames[i], name)) {
            genreId_ = static_cast<uint8_t>(i);
            return;
        }
}

void TID3v1::ReadFrom(TStream& stream, bool parseFields) {
    const int64_t size = stream.Size();
    exists_ = false;
    lyricsExists_ = false;
    lyricsSize_ = 0;
    if (size >= kRecordSize) {
        const std::string record = ReadAt(stream, size - kRecordSize, kRecordSize);
        if (record.size() == kRecordSize && record.compare(0, 3, "TAG") == 0) {
            exists_ = true;
            if (parseFields) {
                const auto b125 = static_cast<uint8_t>(record[125]);
                const auto b126 = static_cast<uint8_t>(record[126]);
                version_ = ((b125 == 0 && b126 != 0) || (b125 == 0x20 && b126 != 0x20)) ? 2 : 1;
                title_ = FromRecord(record, 3, 30);
                artist_ = FromRecord(record, 33, 30);
                album_ = FromRecord(record, 63, 30);
                year_ = FromRecord(record, 93, 4);
                comment_ = FromRecord(record, 97, version_ == 2 ? 28 : 30);
                if (version_ == 2) track_ = b126;
                genreId_ = static_cast<uint8_t>(record[127]);
            }
        }
    }
    const int64_t tail = exists_ ? kRecordSize + kFooterSize : kFooterSize;
    if (size < tail) return;
    const std::string footer = ReadAt(stream, size - tail, kFooterSize);
    if (footer.size() != kFooterSize || footer.compare(6, 9, "LYRICS200") != 0) return;
    const int blockSize = ParseInt(footer.substr(0, 6), 0);
    // The size counts the begin mark too; a block must lie wholly inside the file.
    const int64_t begin = size - tail - blockSize;
    if (blockSize < 11 || begin < 0 || ReadAt(stream, begin, 11) != "LYRICSBEGIN") return;
    lyricsExists_ = true;
    lyricsSize_ = blockSize;
    if (parseFields) ParseLyricsFields(stream, begin + 11, begin + blockSize);
}

void TID3v1::ParseLyricsFields(TStream& stream, int64_t pos, int64_t end) {
    // Fields are read only inside the block: a damaged length cannot reach into the record or beyond.
    while (end - pos >= 8) {
        const std::string header = ReadAt(stream, pos, 8);
        if (header.size() < 8) return;
        const int length = ParseInt(header.substr(3, 5), -1);
        if (length < 0 || length > end - pos - 8) return;
        const std::string data = ReadAt(stream, pos + 8, static_cast<size_t>(length));
        if (data.size() != static_cast<size_t>(length)) return;
        pos += 8 + length;
        const std::string id = header.substr(0, 3);
        if (id == "IND") {
            // indicator flags: nothing to keep, they are derived when writing
        } else if (id == "LYR") {
            // Lone CRs and CR LF pairs both end up as CR LF.
            const std::string lines = ReplaceAll(ReplaceAll(Trim(data), "\r", "\r\n"), "\r\n\n", "\r\n");
            lyrics_ = Latin1ToUtf8(lines);
        } else if (id == "INF") {
            SetComment(Latin1ToUtf8(Trim(data)));
        } else if (id == "AUT") {
            lyricsAuthor_ = Latin1ToUtf8(Trim(data));
        } else if (id == "EAL") {
            SetAlbum(Latin1ToUtf8(Trim(data)));
        } else if (id == "EAR") {
            SetArtist(Latin1ToUtf8(Trim(data)));
        } else if (id == "ETT") {
            SetTitle(Latin1ToUtf8(Trim(data)));
        } else if (id == "IMG") {
            lyricsImage_ = Latin1ToUtf8(data);
        } else {
            return;
        }
    }
}

std::string TID3v1::BuildLyrics3() const {
    // An image reference alone keeps the block too: the writer never edits it, so it must survive.
    if (lyrics_.empty() && lyricsAuthor_.empty() && lyricsImage_.empty()) return {};
    std::string block = "LYRICSBEGIN";
    block += lyrics_.empty() ? "IND0000200" : "IND0000210";
    auto field = [&block](const char* id, const TagText& value) {
        if (Trim(value).empty()) return;
        // Latin-1 has one byte per character, so any cut falls on a character boundary.
        std::string stored = Utf8ToLatin1(value).substr(0, kFieldLimit);
        char digits[6];
        std::snprintf(digits, sizeof digits, "%05d", static_cast<int>(stored.size()));
        block.append(id).append(digits, 5).append(stored);
    };
    field("EAL", IsLong(album_) ? album_ : TagText());
    field("EAR", IsLong(artist_) ? artist_ : TagText());
    field("ETT", IsLong(title_) ? title_ : TagText());
    field("INF", IsLong(comment_) ? comment_ : TagText());
    field("AUT", lyricsAuthor_);
    field("LYR", lyrics_);
    field("IMG", lyricsImage_);
    // At most 7 fields of 99,999 bytes: the total always fits the six size digits.
    char size[7];
    std::snprintf(size, sizeof size, "%06d", static_cast<int>(block.size()));
    block.append(size, 6).append("LYRICS200");
    return block;
}

std::array<uint8_t, 128> TID3v1::BuildRecord() const {
    std::array<uint8_t, 128> record{};
    auto put = [&record](size_t offset, size_t length, const TagText& value) {
        const std::string stored = TrimRight(Utf8ToLatin1(value)).substr(0, length);
        std::memcpy(record.data() + offset, stored.data(), stored.size());
    };
    std::memcpy(record.data(), "TAG", 3);
    put(3, 30, title_);
    put(33, 30, artist_);
    put(63, 30, album_);
    put(93, 4, year_);
    put(97, 30, comment_);
    if (track_ != 0) {
        record[125] = 0;
        record[126] = track_;
    } else if ((record[125] == 0 && record[126] != 0) || (record[125] == 0x20 && record[126] != 0x20)) {
        // The comment's last two bytes would read back as a track number (a comment whose 29th
        // character is a space, say): store the comment's first 28 bytes only.
        record[125] = 0;
        record[126] = 0;
    }
    record[127] = genreId_;
    return record;
}

TFileChange TID3v1::PlanRemove(TStream& stream) {
    ReadFrom(stream, false);
    TFileChange change;
    change.offset = stream.Size() - TrailerSize();
    return change;
}

TFileChange TID3v1::PlanWrite(TStream& stream) {
    ReadFrom(stream, false);
    TFileChange change;
    change.offset = stream.Size() - TrailerSize();
    const std::string block = BuildLyrics3();
    const auto record = BuildRecord();
    change.data.assign(block.begin(), block.end());
    change.data.insert(change.data.end(), record.begin(), record.end());
    return change;
}

void TID3v1::Removed() {
    exists_ = false;
    lyricsExists_ = false;
    lyricsSize_ = 0;
}

void TID3v1::Written(size_t trailerBytes) {
    const auto block = static_cast<int32_t>(trailerBytes - kRecordSize);
    exists_ = true;
    version_ = track_ != 0 ? 2 : 1;
    lyricsExists_ = block > 0;
    lyricsSize_ = block > 0 ? block - kFooterSize : 0;
}

void TID3v1::RemoveFrom(TStream& stream) {
    const TFileChange change = PlanRemove(stream);
    if (!exists_ && !lyricsExists_) return;
    ApplyInPlace(stream, change);
    Removed();
}

void TID3v1::WriteTo(TStream& stream) {
    // The old trailer is kept until the new one is complete, so a full disk loses no tags.
    const TFileChange change = PlanWrite(stream);
    ApplyInPlace(stream, change);
    Written(change.data.size());
}

bool TID3v1::ReadTags(const std::filesystem::path& path) {
    Clear();
    try {
        TWideFileStream stream(path, ModeReadShared);
        ReadFrom(stream);
        return true;
    } catch (...) {
        return false;
    }
}

bool TID3v1::RemoveTags(const std::filesystem::path& path) {
    try {
        {
            TWideFileStream probe(path, ModeReadShared);
            ReadFrom(probe, false);
        }
        if (!exists_ && !lyricsExists_) return true;
        ChangeFile(path, [&](TStream& file) { return std::optional<TFileChange>(PlanRemove(file)); });
        Removed();
        return true;
    } catch (...) {
        return false;
    }
}

bool TID3v1::WriteTags(const std::filesystem::path& path) {
    try {
        size_t written = 0;
        ChangeFile(path, [&](TStream& file) {
            TFileChange change = PlanWrite(file);
            written = change.data.size();
            return std::optional<TFileChange>(std::move(change));
        });
        Written(written);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tags
