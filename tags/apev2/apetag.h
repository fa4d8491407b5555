// TAPETag: an APEv2 tag at the end of a file, in front of an optional Lyrics3 v2 block and ID3v1
// record. Holds the items in file order with their full values and item flags; knows nothing about
// what the keys mean.
#pragma once

#include "tags/io/files.h"
#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tags {

struct RField {
    std::string Key;
    std::string Value; // raw bytes: UTF-8 text for text items, anything for binary ones
    uint32_t Flags = 0;

    // Bits 1-2 of the item flags: 0 text, 1 binary, 2 external link.
    uint32_t Type() const { return (Flags >> 1) & 3; }
};

// Pictures are binary items, one per picture type, named as the ID3v2 types are ("Cover Art (Front)"
// for type 3); the value is a description (often a file name), a zero byte, and the image.
std::string_view ApePictureKey(uint8_t type); // empty for a type beyond the table
std::optional<uint8_t> ApePictureType(std::string_view key);

class TAPETag {
public:
    static constexpr uint32_t kHeaderFlags = 0xA0000000; // has a header, this is the header
    static constexpr uint32_t kFooterFlags = 0x80000000; // has a header, this is the footer
    // More items than any tag needs: such a tag is taken for damaged.
    static constexpr uint32_t kMaxItems = 1u << 24;

    void Clear();
    // False when the file cannot be read, is too short to hold a footer, or holds a tag beyond sane
    // limits (Error says which); true otherwise.
    bool ReadTags(const std::filesystem::path& path);
    // Replaces the tag with the items, in front of Lyrics3 and ID3v1. The result is that of finding
    // the footer; an error opening or writing the file is thrown (TFileError), with the file as it was.
    // A read-only file of the user's own is written, as by the other writers.
    bool WriteTags(const std::filesystem::path& path);

    bool ReadFrom(TStream& stream);
    bool WriteTo(TStream& stream) const;
    // The change WriteTo makes: the new tag and what follows it, from where the old tag starts. A tag
    // whose size does not fit its items is never cut (that could cut audio): it stays, and the new tag
    // goes behind it.
    TFileChange PlanWrite(TStream& stream, bool& footerRead) const;
    // Bytes a sound tag in front of the trailer takes (header included), 0 when there is none; reads
    // no more than the tag's size.
    static int64_t TagSizeIn(TStream& stream);

    // The first item whose key equals without regard to ASCII case gets the value (keeping its key,
    // place and, when the value does not change, its flags); else (key, value) is appended as text.
    // A value equal to what ItemValue shows leaves the item as it is, so several values stay apart.
    void SetItem(const std::string& key, const std::string& value);
    // The text of the first matching item, trimmed; several zero-separated values are joined by "; ".
    // Empty when there is none.
    std::string ItemValue(const std::string& key) const;
    // The values of the first matching item, each trimmed, empty ones left out.
    std::vector<std::string> ItemValues(const std::string& key) const;
    // Removes every item whose key matches; true when there was one.
    bool RemoveItem(const std::string& key);
    const RField* FindItem(const std::string& key) const;

    // The item list. Read items are kept in their file form (about the tag's own size in memory) until
    // the list itself is asked for.
    const std::vector<RField>& Items() const;
    std::vector<RField>& Items();
    size_t ItemCount() const;
    bool Exists() const { return exists_; }
    uint32_t Version() const { return version_; }
    // The footer's size field: items plus footer, without the header.
    uint32_t Size() const { return size_; }
    // Bytes the found tag occupies in the file, header included (0 when there is none).
    int64_t TotalSize() const { return totalSize_; }
    // Why the last read refused the tag; empty when it did not.
    const std::string& Error() const { return error_; }

    // The tag as written: header, items, footer.
    std::string Build() const;

private:
    struct TRawItem {
        std::string_view key, value;
        uint32_t flags;
    };
    TRawItem RawAt(size_t i) const;
    template <typename Out> void BuildInto(Out& out) const;
    long FindIndex(std::string_view key) const;
    void ToList() const;

    // Until the list is asked for: the items as in the file, and where each starts.
    mutable std::string raw_;
    mutable std::vector<uint32_t> offsets_;
    mutable bool listed_ = true;
    mutable std::vector<RField> items_;
    bool exists_ = false;
    uint32_t version_ = 0;
    uint32_t size_ = 0;
    int64_t totalSize_ = 0;
    std::string error_;
};

} // namespace tags
