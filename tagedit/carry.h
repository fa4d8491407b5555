// What a conversion carries from the source's tags into the output's beyond the list row's ten fields:
// the common fields of CommonFieldMap, pictures, and other free-form text under its own name. Items
// that only one tag form knows (an ID3v2 rating, an APEv2 link, a WMA flag) go into a tag of that form
// as they are. Whatever the output's tags cannot hold is named for the run's report.
#pragma once

#include "tagedit/format_tags.h"
#include "tags/io/picture.h"

#include <optional>
#include <string>
#include <vector>

namespace tagedit {

// The tag an item of the source was read from.
enum class TagForm : uint8_t { ID3v2, APEv2, Vorbis, ASF, Lyrics3 };

// One thing the source's tags hold beyond the ten fields.
struct CarriedItem {
    TagForm origin = TagForm::ID3v2;
    const CommonFieldMapping* common = nullptr; // its row in CommonFieldMap, if it has one
    std::string key;                            // otherwise its name in the source
    std::vector<TagText> values;                // text of a common or free-form field, one per value
    std::optional<tags::TPicture> picture;
    // The item as the source holds it, which a tag of the same form takes over as it is.
    std::vector<uint8_t> id3v2Frame; // a whole ID3v2.3 frame
    std::optional<tags::RField> apeItem;
    std::optional<tags::TAsfAttribute> asfAttribute;

    // As the run's report names it: the common field's name, the key, or the picture's type.
    std::string Name() const;
};

struct SourceTags {
    std::vector<CarriedItem> items;
    // The recording date when the source says more than a year ("2001-05-06T10:30"), in the form the
    // source holds it; empty otherwise.
    TagText date;
    // Things that were there but could not be read (a damaged picture, a tag that could not be opened).
    std::vector<std::string> unreadable;
};

// Everything the source's tags hold beyond the ten fields, by the file's kind: an MP3 file's ID3v2 and
// APEv2 tags (and Lyrics3 lyrics) merged in the order of the read priority, where the first tag that
// has a field gives it and the first that has pictures gives all of them; an Ogg file's comments; a WMA
// file's attributes. WAV and unknown kinds hold nothing. Never throws.
SourceTags ReadSourceTags(const std::filesystem::path& source, int readPriority);

struct TaggingResult {
    bool written = false;                // as the writes' own results: every save that was tried succeeded
    std::vector<std::string> notCarried; // what the output's tags could not hold, for the run's report
};

// Tags a converted output with its list row's fields by the output format (the drop-down's index):
// MP3 by the write format, Ogg and WMA in their one form, WAV in a RIFF INFO list; all ten fields, as
// the output's tags are new, and with a source everything of it that the output's tags can hold. A
// year that the source's full date begins with is written as that date. The result names, once each,
// the row's fields and the source's items that no written tag holds whole (ID3v1's 30 bytes, a
// picture for WAV, a value over a format's limit). A thrown tags::TFileError passes through to the run.
TaggingResult TagConvertedFile(const std::filesystem::path& destination, const TagFields& fields,
                               int outputFormat, int writeFormat, const SourceTags* source = nullptr);

// The run's tagging step for one converted row: the source's tags are read by the read priority when
// `copySourceTags` is on (the Settings tab's option), and carried as above; off, the ten fields alone.
TaggingResult TagConvertedRow(const std::filesystem::path& source, const std::filesystem::path& destination,
                              const TagFields& fields, int outputFormat, int writeFormat, int readPriority,
                              bool copySourceTags);

} // namespace tagedit
