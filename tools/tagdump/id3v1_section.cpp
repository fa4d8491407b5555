// tagdump's "id3v1" section: TID3v1 with its Lyrics3 fields.
#include "section.h"

#include "tags/id3v1/id3v1.h"
#include "tags/io/text.h"

#include <stdexcept>

namespace tagdump {

namespace {

bool DumpId3v1(const std::filesystem::path& file, Json& out) {
    tags::TID3v1 tag;
    if (!tag.ReadTags(file)) throw std::runtime_error("cannot read the file");
    if (!tag.Exists() && !tag.LyricsExists()) return false;
    out.Set("Exists", tag.Exists())
        .Set("Version", tag.Version())
        .Set("Title", tag.Title())
        .Set("Artist", tag.Artist())
        .Set("Album", tag.Album())
        .Set("Year", tag.Year())
        .Set("Comment", tag.Comment())
        .Set("Track", tag.Track())
        .Set("GenreID", tag.GenreID())
        .Set("Genre", tag.Genre())
        .Set("LyricsExists", tag.LyricsExists())
        .Set("LyricsSize", tag.LyricsSize())
        .Set("Lyrics", tag.Lyrics())
        .Set("LyricsAuthor", tag.LyricsAuthor())
        .Set("LyricsImage", tag.LyricsImage())
        .Set("TrailerSize", tag.TrailerSize());
    return true;
}

const char* const kFields[] = {"Title", "Artist",  "Album",  "Year",         "Comment",    "Track",
                               "Genre", "GenreID", "Lyrics", "LyricsAuthor", "LyricsImage"};

bool TakesId3v1(const std::string& field) {
    for (const char* f : kFields)
        if (tags::SameTextAscii(f, field)) return true;
    return false;
}

uint8_t Byte(const std::string& field, const std::string& value) {
    const int n = tags::ParseInt(value, -1);
    if (n < 0 || n > 255) throw std::runtime_error(field + " must be a number from 0 to 255");
    return static_cast<uint8_t>(n);
}

bool WriteId3v1(const std::filesystem::path& file, const Fields& fields) {
    tags::TID3v1 tag;
    if (!tag.ReadTags(file)) return false;
    for (const auto& [field, value] : fields) {
        auto is = [&](const char* name) { return tags::SameTextAscii(field, name); };
        if (is("Title"))
            tag.SetTitle(value);
        else if (is("Artist"))
            tag.SetArtist(value);
        else if (is("Album"))
            tag.SetAlbum(value);
        else if (is("Year"))
            tag.SetYear(value);
        else if (is("Comment"))
            tag.SetComment(value);
        else if (is("Track"))
            tag.SetTrack(Byte(field, value));
        else if (is("Genre"))
            tag.SetGenre(value);
        else if (is("GenreID"))
            tag.SetGenreID(Byte(field, value));
        else if (is("Lyrics"))
            tag.SetLyrics(value);
        else if (is("LyricsAuthor"))
            tag.SetLyricsAuthor(value);
        else if (is("LyricsImage"))
            tag.SetLyricsImage(value);
    }
    return tag.WriteTags(file);
}

const bool registered = Register({"id3v1", 10, DumpId3v1, TakesId3v1, WriteId3v1});

} // namespace

} // namespace tagdump
