// WMA attributes in one record, read and written through the ASF header editor.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>

namespace tags {

// Text fields hold their values whole. A name the file holds several times shows its values joined by
// "; "; numeric values (a track number stored as a DWORD) show in decimal.
struct TTagsData {
    TagText EncodedBy;    // "WM/EncodedBy"
    TagText SdkVersion;   // "WMFSDKVersion", read only
    TagText Genre;        // "WM/Genre"
    TagText Author;       // "Author", the artist
    TagText Title;        // "Title"
    TagText AlbumTitle;   // "WM/AlbumTitle"
    TagText Composer;     // "WM/Composer"
    TagText URL;          // "WM/URL"
    TagText TrackNumber;  // "WM/TrackNumber", as text or number
    TagText Year;         // "WM/Year"
    TagText Copyright;    // "Copyright"
    TagText Description;  // "Description"
    TagText Lyrics;       // "WM/Lyrics"
    int32_t Bitrate = 0;  // "Bitrate", bits per second, read only
    int32_t FileSize = 0; // "FileSize", low 32 bits, read only
    int32_t Duration = 0; // seconds, computed from FileSize and Bitrate
    bool IsVBR = false;   // "IsVBR", read only
};

// Fills the record from the file's attributes. False when the path names no file or the file is not
// ASF. Throws TFileError when the file cannot be opened or its header is damaged.
bool ReadWmaAttributes(const std::filesystem::path& path, TTagsData& data);

// Writes the twelve text attributes. A field that shows what the file holds leaves its attributes as
// they are (several values, numeric types); a changed one becomes the one attribute of its name (a
// number stays in its numeric type), an empty one deletes them. False when the path names no file,
// the file is not ASF or the rewrite fails (the file is then unchanged). Throws TFileError when the
// file cannot be opened or its header is damaged.
bool WriteWmaAttributes(const std::filesystem::path& path, const TTagsData& data);

} // namespace tags
