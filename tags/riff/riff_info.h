// RIFF INFO: the LIST chunk of type "INFO" in a WAVE file, whose sub-chunks hold text under four-letter
// IDs (INAM title, IART artist, IPRD album, ...).
#pragma once

#include "tags/io/files.h"
#include "tags/io/stream.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tags {

class TRiffInfo {
public:
    struct TItem {
        std::string id; // four characters
        TagText value;  // UTF-8 (text that is not UTF-8 is read as Latin-1)
    };

    void Clear() { *this = TRiffInfo{}; }
    // False when the file is no RIFF WAVE file (or cannot be read); the items of every INFO list, as far
    // as they are sound, otherwise.
    bool ReadTags(const std::filesystem::path& path);
    bool ReadFrom(TStream& stream);
    // Writes the items as the file's one INFO list, at its end; an INFO list elsewhere becomes a JUNK
    // chunk of the same size, every other chunk stays where it is. Through ChangeFile: false when the
    // file is no RIFF WAVE file, when a chunk claims more than the file holds (a list behind it would
    // count as its content) or when the file would outgrow what RIFF can say; an error opening or
    // writing the file is thrown (TFileError), with the file as it was.
    bool WriteTags(const std::filesystem::path& path) const;
    // The change for the stream's bytes; false when it cannot be written, true with no change when the
    // file already says what the items say.
    bool PlanWrite(TStream& stream, std::optional<TFileChange>& change) const;

    const std::vector<TItem>& Items() const { return items_; }
    bool Exists() const { return exists_; }
    // The value of the first item with the ID; empty when there is none.
    TagText Value(std::string_view id) const;
    // Replaces the items with the ID by one holding the value (at the first one's place, else at the
    // end); an empty value removes them.
    void Set(const std::string& id, const TagText& value);

    // The whole LIST chunk the items give (none when there are no items).
    std::vector<uint8_t> BuildList() const;

private:
    std::vector<TItem> items_;
    bool exists_ = false;
};

} // namespace tags
