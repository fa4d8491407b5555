// An editor for the attributes in an ASF (WMA) file's Header Object: enumerate attributes with name,
// type and value, find them by name, modify, delete and add, and build the new header. Objects that are
// not edited are kept byte for byte.
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tags {

// Data types as the Windows Media Format SDK numbers them.
enum class TAsfType : uint16_t { DWord = 0, String = 1, Binary = 2, Bool = 3, QWord = 4, Word = 5, Guid = 6 };

// Where an attribute lives in the header.
enum class TAsfPlace {
    Derived,            // computed from File Properties and friends, read only
    ContentDescription, // Title, Author, Copyright, Description, Rating
    Extended,           // Extended Content Description
    Metadata,           // Metadata Object in the Header Extension
    MetadataLibrary     // Metadata Library Object in the Header Extension
};

struct TAsfAttribute {
    std::string name; // UTF-8
    TAsfType type = TAsfType::String;
    // Strings: UTF-16LE without terminator. Bool: 4 bytes. DWord 4, QWord 8, Word 2, Guid 16 bytes.
    std::vector<uint8_t> value;
    TAsfPlace place = TAsfPlace::Extended;
    uint16_t stream = 0;
    uint16_t language = 0;

    bool readOnly() const { return place == TAsfPlace::Derived; }
    std::string text() const; // the value as UTF-8 text (strings) or decimal (numbers)
    uint64_t number() const;  // little-endian value of numeric types, 0 otherwise
};

// UTF-16LE bytes (no terminator) to UTF-8 and back; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* data, size_t size);
std::vector<uint8_t> Utf8ToUtf16Le(const std::string& text);

class TAsfEditor {
public:
    enum class TOpenResult { Ok, NotAsf, Damaged };

    // Reads and parses the Header Object at the start of the stream.
    TOpenResult Open(TStream& stream);
    bool IsOpen() const { return open_; }

    int AttributeCount() const { return static_cast<int>(attributes_.size()); }
    const TAsfAttribute& Attribute(int index) const { return attributes_.at(static_cast<size_t>(index)); }
    // Indices of the attributes called name, compared without regard to ASCII case, in header order.
    std::vector<int> AttributeIndices(const std::string& name) const;

    // Each returns false for a read-only attribute, an index out of range or a value that cannot be
    // stored (wrong size for its type, or too large for any object).
    bool Modify(int index, TAsfType type, const std::vector<uint8_t>& value);
    bool Delete(int index);
    // Content Description names go there, others into Extended Content Description, and values too
    // large for that into the Metadata Library. Returns the new index or -1.
    int Add(const std::string& name, TAsfType type, const std::vector<uint8_t>& value);

    bool Modified() const { return modified_; }
    int64_t HeaderSize() const { return static_cast<int64_t>(header_.size()); }
    // The new Header Object; restSize is the number of bytes that follow the header in the file.
    std::vector<uint8_t> BuildHeader(int64_t restSize) const;

    // Rewrites the file with the new header (through the temporary file); true on success.
    bool Flush(const std::filesystem::path& path) const;

    static bool IsContentDescriptionName(const std::string& name);

private:
    struct TChild {
        std::vector<uint8_t> guid; // 16 bytes
        size_t offset = 0;         // within header_
        size_t size = 0;
    };

    bool parse();
    bool parseContentDescription(const TChild& child);
    bool parseExtended(const TChild& child);
    bool parseHeaderExtension(const TChild& child);
    bool parseMetadata(const uint8_t* data, size_t size, TAsfPlace place);
    void addDerived();
    bool fits(TAsfPlace place, const std::string& name, const std::vector<uint8_t>& value) const;

    std::vector<uint8_t> encodeContentDescription() const;
    std::vector<uint8_t> encodeExtended() const;
    std::vector<uint8_t> encodeMetadata(TAsfPlace place) const;
    std::vector<uint8_t> encodeHeaderExtension(const TChild& child) const;

    std::vector<uint8_t> header_;
    std::vector<TChild> children_;
    std::vector<TChild> extensionChildren_;
    std::optional<size_t> fileProperties_, contentDescription_, extended_, headerExtension_;
    bool hasMetadata_ = false, hasMetadataLibrary_ = false;
    std::vector<TAsfAttribute> attributes_;
    bool open_ = false;
    bool modified_ = false;
    // Which objects must be re-encoded.
    void markDirty(TAsfPlace place);
    bool dirtyCD_ = false, dirtyECD_ = false, dirtyMeta_ = false, dirtyLib_ = false;
};

} // namespace tags
