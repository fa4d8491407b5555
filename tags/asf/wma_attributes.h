// WMA attributes in one record, read and written through the ASF header editor.
#pragma once

#include "tags/asf/asf_editor.h"
#include "tags/io/picture.h"
#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

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
// The same, and then the added attributes: those of one name together replace every attribute of that
// name that the file holds. An added attribute that no object can hold is left out, and its index goes
// into `refused`.
bool WriteWmaAttributes(const std::filesystem::path& path, const TTagsData& data,
                        const std::vector<TAsfAttribute>& added, std::vector<size_t>* refused = nullptr);

// The value of a "WM/Picture" attribute: picture type, data size (32 bits), MIME type and description
// (UTF-16LE, each ending in a zero unit), then the data. None for a value that is not one.
std::vector<uint8_t> AsfPictureValue(const TPicture& picture);
std::optional<TPicture> ParseAsfPicture(const std::vector<uint8_t>& value);

} // namespace tags
