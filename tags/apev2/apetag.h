// TAPETag: an APEv2 tag at the end of a file, in front of an optional Lyrics3 v2 block and ID3v1
// record. Holds the items in file order with their full values and item flags; knows nothing about
// what the keys mean.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tags {

struct RField {
    std::string Key;
    std::string Value; // raw bytes: UTF-8 text for text items, anything for binary ones
    uint32_t Flags = 0;

    // Bits 1-2 of the item flags: 0 text, 1 binary, 2 external link.
    uint32_t Type() const { return (Flags >> 1) & 3; }
};

class TAPETag {
public:
    static constexpr uint32_t kHeaderFlags = 0xA0000000; // has a header, this is the header
    static constexpr uint32_t kFooterFlags = 0x80000000; // has a header, this is the footer

    void Clear();
    // False when the file cannot be read or is too short to hold a footer; true otherwise.
    bool ReadTags(const std::filesystem::path& path);
    // Replaces the tag with the items, in front of Lyrics3 and ID3v1. The result is that of finding
    // the footer; an error opening or writing the file is thrown (TFileError), after the old tag has
    // been put back.
    bool WriteTags(const std::filesystem::path& path);

    bool ReadFrom(TStream& stream);
    bool WriteTo(TStream& stream) const;

    // The first item whose key equals without regard to ASCII case gets the value (keeping its key,
    // place and, when the value does not change, its flags); else (key, value) is appended as text.
    void SetItem(const std::string& key, const std::string& value);
    // The text of the first matching item, trimmed; empty when there is none.
    std::string ItemValue(const std::string& key) const;
    const RField* FindItem(const std::string& key) const;

    const std::vector<RField>& Items() const { return items_; }
    std::vector<RField>& Items() { return items_; }
    bool Exists() const { return exists_; }
    uint32_t Version() const { return version_; }
    // The footer's size field: items plus footer, without the header.
    uint32_t Size() const { return size_; }
    // Bytes the found tag occupies in the file, header included (0 when there is none).
    int64_t TotalSize() const { return totalSize_; }

    // The tag as written: header, items, footer.
    std::string Build() const;

private:
    std::vector<RField> items_;
    bool exists_ = false;
    uint32_t version_ = 0;
    uint32_t size_ = 0;
    int64_t totalSize_ = 0;
};

} // namespace tags
