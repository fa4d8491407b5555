#include "tags/asf/asf_editor.h"

#include "tags/io/endian.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace tags {

namespace {

using TGuid = std::array<uint8_t, 16>;

// GUIDs in their on-disk byte order.
constexpr TGuid kHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                       0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kContentDescriptionGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kExtendedGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr TGuid kHeaderExtensionGuid = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kMetadataGuid = {0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                                 0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
constexpr TGuid kMetadataLibraryGuid = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                        0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
constexpr TGuid kStreamBitrateGuid = {0xCE, 0x75, 0xF8, 0x7B, 0x8D, 0x46, 0xD1, 0x11,
                                      0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2};

constexpr size_t kObjectHeader = 24;     // GUID + 64-bit size
constexpr size_t kHeaderObjectSize = 30; // plus child count and two reserved bytes
constexpr size_t kExtensionHeader = 46;  // object header + reserved GUID, word, data size
constexpr size_t kFilePropertiesSize = kObjectHeader + 80;
// A header beyond this is taken as damaged rather than read into memory.
constexpr uint64_t kMaxHeader = 512u << 20;

constexpr std::array<const char*, 5> kContentNames = {"Title", "Author", "Copyright", "Description",
                                                      "Rating"};

bool sameGuid(const uint8_t* p, const TGuid& g) {
    return std::memcmp(p, g.data(), 16) == 0;
}

void append(std::vector<uint8_t>& out, const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
}

void appendGuid(std::vector<uint8_t>& out, const TGuid& g) {
    append(out, g.data(), g.size());
}

// Closes an object whose header (GUID + size placeholder) starts at `start`.
void finishObject(std::vector<uint8_t>& out, size_t start) {
    WriteLe(out.data() + start + 16, out.size() - start, 8);
}

// A stored UTF-16 string without its terminating zero (and anything after it).
std::vector<uint8_t> stripTerminator(const uint8_t* p, size_t n) {
    n &= ~size_t{1};
    for (size_t i = 0; i + 1 < n; i += 2)
        if (p[i] == 0 && p[i + 1] == 0) return std::vector<uint8_t>(p, p + i);
    return std::vector<uint8_t>(p, p + n);
}

std::vector<uint8_t> withTerminator(const std::vector<uint8_t>& v) {
    std::vector<uint8_t> out = v;
    out.push_back(0);
    out.push_back(0);
    return out;
}

// On-disk value types of Extended Content Description and the Metadata objects.
std::optional<TAsfType> fromStored(uint16_t t) {
    switch (t) {
    case 0:
        return TAsfType::String;
    case 1:
        return TAsfType::Binary;
    case 2:
        return TAsfType::Bool;
    case 3:
        return TAsfType::DWord;
    case 4:
        return TAsfType::QWord;
    case 5:
        return TAsfType::Word;
    case 6:
        return TAsfType::Guid;
    default:
        return std::nullopt;
    }
}

uint16_t toStored(TAsfType t) {
    switch (t) {
    case TAsfType::String:
        return 0;
    case TAsfType::Binary:
        return 1;
    case TAsfType::Bool:
        return 2;
    case TAsfType::DWord:
        return 3;
    case TAsfType::QWord:
        return 4;
    case TAsfType::Word:
        return 5;
    case TAsfType::Guid:
        return 6;
    }
    return 1;
}

// The value as the editor holds it, from the stored bytes; nullopt when the size does not fit the type.
std::optional<std::vector<uint8_t>> loadValue(TAsfType type, const uint8_t* p, size_t n) {
    switch (type) {
    case TAsfType::String:
        return stripTerminator(p, n);
    case TAsfType::Binary:
        return std::vector<uint8_t>(p, p + n);
    case TAsfType::Bool: {
        // 4 bytes in Extended Content Description, 2 in the Metadata objects
        if (n != 2 && n != 4) return std::nullopt;
        std::vector<uint8_t> v(4, 0);
        v[0] = ReadLe(p, static_cast<int>(n)) != 0 ? 1 : 0;
        return v;
    }
    case TAsfType::DWord:
        if (n != 4) return std::nullopt;
        break;
    case TAsfType::QWord:
        if (n != 8) return std::nullopt;
        break;
    case TAsfType::Word:
        if (n != 2) return std::nullopt;
        break;
    case TAsfType::Guid:
        if (n != 16) return std::nullopt;
        break;
    }
    return std::vector<uint8_t>(p, p + n);
}

bool valueSizeOk(TAsfType type, const std::vector<uint8_t>& v) {
    switch (type) {
    case TAsfType::String:
        return v.size() % 2 == 0;
    case TAsfType::Binary:
        return true;
    case TAsfType::Bool:
        return v.size() == 4;
    case TAsfType::DWord:
        return v.size() == 4;
    case TAsfType::QWord:
        return v.size() == 8;
    case TAsfType::Word:
        return v.size() == 2;
    case TAsfType::Guid:
        return v.size() == 16;
    }
    return false;
}

std::vector<uint8_t> storedValue(const TAsfAttribute& a, bool boolAsWord) {
    if (a.type == TAsfType::String) return withTerminator(a.value);
    if (a.type == TAsfType::Bool && boolAsWord) return {static_cast<uint8_t>(a.value[0] != 0), 0};
    return a.value;
}

} // namespace

std::string Utf16LeToUtf8(const uint8_t* data, size_t size) {
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return Utf16ToUtf8(units);
}

std::vector<uint8_t> Utf8ToUtf16Le(const std::string& text) {
    std::vector<uint8_t> out;
    for (char16_t u : Utf8ToUtf16(text)) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

uint64_t TAsfAttribute::number() const {
    switch (type) {
    case TAsfType::DWord:
    case TAsfType::QWord:
    case TAsfType::Word:
    case TAsfType::Bool:
        return ReadLe(value.data(), static_cast<int>(value.size()));
    default:
        return 0;
    }
}

std::string TAsfAttribute::text() const {
    switch (type) {
    case TAsfType::String:
        return Utf16LeToUtf8(value.data(), value.size());
    case TAsfType::Bool:
        return number() ? "true" : "false";
    case TAsfType::DWord:
    case TAsfType::QWord:
    case TAsfType::Word:
        return std::to_string(number());
    case TAsfType::Binary:
    case TAsfType::Guid:
        break;
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (uint8_t b : value) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

bool TAsfEditor::IsContentDescriptionName(const std::string& name) {
    std::string up = UpperCaseAscii(name);
    return std::any_of(kContentNames.begin(), kContentNames.end(),
                       [&](const char* n) { return UpperCaseAscii(n) == up; });
}

TAsfEditor::TOpenResult TAsfEditor::Open(TStream& stream) {
    *this = TAsfEditor();
    uint8_t head[kHeaderObjectSize];
    stream.Seek(0);
    if (stream.Read(head, sizeof head) != sizeof head || !sameGuid(head, kHeaderGuid))
        return TOpenResult::NotAsf;
    uint64_t size = ReadLe(head + 16, 8);
    int64_t fileSize = stream.Size();
    if (size < kHeaderObjectSize || size > kMaxHeader || fileSize < 0 ||
        size > static_cast<uint64_t>(fileSize))
        return TOpenResult::Damaged;
    header_.resize(static_cast<size_t>(size));
    stream.Seek(0);
    if (stream.Read(header_.data(), header_.size()) != header_.size()) return TOpenResult::Damaged;
    if (!parse()) {
        *this = TAsfEditor();
        return TOpenResult::Damaged;
    }
    open_ = true;
    return TOpenResult::Ok;
}

bool TAsfEditor::parse() {
    // Children are taken up to the header's end; the child count is rewritten from them.
    size_t pos = kHeaderObjectSize;
    while (pos < header_.size()) {
        if (header_.size() - pos < kObjectHeader) return false;
        uint64_t size = ReadLe(&header_[pos + 16], 8);
        if (size < kObjectHeader || size > header_.size() - pos) return false;
        TChild child;
        child.guid.assign(&header_[pos], &header_[pos] + 16);
        child.offset = pos;
        child.size = static_cast<size_t>(size);
        children_.push_back(child);
        pos += child.size;
    }
    for (size_t i = 0; i < children_.size(); ++i) {
        const uint8_t* g = children_[i].guid.data();
        if (sameGuid(g, kFilePropertiesGuid) && !fileProperties_) {
            if (children_[i].size < kFilePropertiesSize) return false;
            fileProperties_ = i;
        }
    }
    addDerived();
    // Content Description first, so that its attributes come before the extended ones.
    for (size_t i = 0; i < children_.size(); ++i)
        if (sameGuid(children_[i].guid.data(), kContentDescriptionGuid) && !contentDescription_) {
            if (!parseContentDescription(children_[i])) return false;
            contentDescription_ = i;
        }
    for (size_t i = 0; i < children_.size(); ++i)
        if (sameGuid(children_[i].guid.data(), kExtendedGuid) && !extended_) {
            if (!parseExtended(children_[i])) return false;
            extended_ = i;
        }
    for (size_t i = 0; i < children_.size(); ++i)
        if (sameGuid(children_[i].guid.data(), kHeaderExtensionGuid) && !headerExtension_) {
            if (!parseHeaderExtension(children_[i])) return false;
            headerExtension_ = i;
        }
    // The header may hold its own IsVBR; the computed one stands in only when it does not.
    bool headerIsVbr = std::any_of(attributes_.begin(), attributes_.end(), [](const TAsfAttribute& a) {
        return a.place != TAsfPlace::Derived && UpperCaseAscii(a.name) == "ISVBR";
    });
    if (headerIsVbr)
        attributes_.erase(std::remove_if(attributes_.begin(), attributes_.end(),
                                         [](const TAsfAttribute& a) {
                                             return a.place == TAsfPlace::Derived && a.name == "IsVBR";
                                         }),
                          attributes_.end());
    return true;
}

void TAsfEditor::addDerived() {
    if (!fileProperties_) return;
    const uint8_t* fp = &header_[children_[*fileProperties_].offset + kObjectHeader];
    uint64_t fileSize = ReadLe(fp + 16, 8);
    uint64_t playDuration = ReadLe(fp + 40, 8);
    uint64_t preroll = ReadLe(fp + 56, 8);
    uint32_t maxBitrate = static_cast<uint32_t>(ReadLe(fp + 76, 4));
    // The streams' average bit rates, when the header lists them, sum to the file's bit rate.
    uint64_t bitrate = 0;
    for (const auto& child : children_) {
        if (!sameGuid(child.guid.data(), kStreamBitrateGuid) || child.size < kObjectHeader + 2) continue;
        const uint8_t* p = &header_[child.offset + kObjectHeader];
        size_t count = ReadLe(p, 2);
        if (child.size < kObjectHeader + 2 + 6 * count) continue;
        for (size_t i = 0; i < count; ++i)
            bitrate += ReadLe(p + 2 + 6 * i + 2, 4);
        break;
    }
    if (bitrate == 0 || bitrate > std::numeric_limits<uint32_t>::max()) bitrate = maxBitrate;
    uint64_t duration = playDuration > preroll * 10000 ? playDuration - preroll * 10000 : 0;

    auto derived = [this](const char* name, TAsfType type, uint64_t v, int bytes) {
        TAsfAttribute a;
        a.name = name;
        a.type = type;
        a.place = TAsfPlace::Derived;
        AppendLe(a.value, v, bytes);
        attributes_.push_back(a);
    };
    derived("Duration", TAsfType::QWord, duration, 8);
    derived("Bitrate", TAsfType::DWord, bitrate, 4);
    derived("FileSize", TAsfType::QWord, fileSize, 8);
    derived("IsVBR", TAsfType::Bool, 0, 4);
}

bool TAsfEditor::parseContentDescription(const TChild& child) {
    const uint8_t* p = &header_[child.offset + kObjectHeader];
    size_t n = child.size - kObjectHeader;
    if (n < 10) return false;
    size_t pos = 10;
    for (size_t i = 0; i < kContentNames.size(); ++i) {
        size_t len = ReadLe(p + 2 * i, 2);
        if (len > n - pos) return false;
        std::vector<uint8_t> v = stripTerminator(p + pos, len);
        pos += len;
        if (v.empty()) continue;
        TAsfAttribute a;
        a.name = kContentNames[i];
        a.type = TAsfType::String;
        a.value = std::move(v);
        a.place = TAsfPlace::ContentDescription;
        attributes_.push_back(std::move(a));
    }
    return true;
}

bool TAsfEditor::parseExtended(const TChild& child) {
    const uint8_t* p = &header_[child.offset + kObjectHeader];
    size_t n = child.size - kObjectHeader;
    if (n < 2) return false;
    size_t count = ReadLe(p, 2);
    size_t pos = 2;
    for (size_t i = 0; i < count; ++i) {
        if (n - pos < 2) return false;
        size_t nameLen = ReadLe(p + pos, 2);
        pos += 2;
        if (n - pos < nameLen + 4) return false;
        std::vector<uint8_t> name = stripTerminator(p + pos, nameLen);
        pos += nameLen;
        uint16_t storedType = static_cast<uint16_t>(ReadLe(p + pos, 2));
        size_t valueLen = ReadLe(p + pos + 2, 2);
        pos += 4;
        if (n - pos < valueLen) return false;
        auto type = fromStored(storedType);
        std::optional<std::vector<uint8_t>> value;
        if (type && *type != TAsfType::Guid) value = loadValue(*type, p + pos, valueLen);
        if (!value) return false;
        pos += valueLen;
        TAsfAttribute a;
        a.name = Utf16LeToUtf8(name.data(), name.size());
        a.type = *type;
        a.value = std::move(*value);
        a.place = TAsfPlace::Extended;
        attributes_.push_back(std::move(a));
    }
    return true;
}

bool TAsfEditor::parseHeaderExtension(const TChild& child) {
    if (child.size < kExtensionHeader) return false;
    const uint8_t* base = &header_[child.offset];
    size_t dataSize = ReadLe(base + 42, 4);
    if (dataSize != child.size - kExtensionHeader) return false;
    size_t pos = kExtensionHeader;
    while (pos < child.size) {
        if (child.size - pos < kObjectHeader) return false;
        uint64_t size = ReadLe(base + pos + 16, 8);
        if (size < kObjectHeader || size > child.size - pos) return false;
        TChild sub;
        sub.guid.assign(base + pos, base + pos + 16);
        sub.offset = child.offset + pos;
        sub.size = static_cast<size_t>(size);
        extensionChildren_.push_back(sub);
        pos += sub.size;
    }
    for (const auto& sub : extensionChildren_) {
        const uint8_t* g = sub.guid.data();
        TAsfPlace place;
        if (sameGuid(g, kMetadataGuid) && !hasMetadata_) {
            place = TAsfPlace::Metadata;
            hasMetadata_ = true;
        } else if (sameGuid(g, kMetadataLibraryGuid) && !hasMetadataLibrary_) {
            place = TAsfPlace::MetadataLibrary;
            hasMetadataLibrary_ = true;
        } else {
            continue;
        }
        if (!parseMetadata(&header_[sub.offset + kObjectHeader], sub.size - kObjectHeader, place))
            return false;
    }
    return true;
}

bool TAsfEditor::parseMetadata(const uint8_t* p, size_t n, TAsfPlace place) {
    if (n < 2) return false;
    size_t count = ReadLe(p, 2);
    size_t pos = 2;
    for (size_t i = 0; i < count; ++i) {
        if (n - pos < 12) return false;
        uint16_t language = static_cast<uint16_t>(ReadLe(p + pos, 2));
        uint16_t streamNumber = static_cast<uint16_t>(ReadLe(p + pos + 2, 2));
        size_t nameLen = ReadLe(p + pos + 4, 2);
        uint16_t storedType = static_cast<uint16_t>(ReadLe(p + pos + 6, 2));
        uint64_t valueLen = ReadLe(p + pos + 8, 4);
        pos += 12;
        if (n - pos < nameLen || n - pos - nameLen < valueLen) return false;
        std::vector<uint8_t> name = stripTerminator(p + pos, nameLen);
        pos += nameLen;
        auto type = fromStored(storedType);
        std::optional<std::vector<uint8_t>> value;
        if (type) value = loadValue(*type, p + pos, static_cast<size_t>(valueLen));
        if (!value) return false;
        pos += static_cast<size_t>(valueLen);
        TAsfAttribute a;
        a.name = Utf16LeToUtf8(name.data(), name.size());
        a.type = *type;
        a.value = std::move(*value);
        a.place = place;
        a.stream = streamNumber;
        a.language = place == TAsfPlace::MetadataLibrary ? language : 0;
        attributes_.push_back(std::move(a));
    }
    return true;
}

std::vector<int> TAsfEditor::AttributeIndices(const std::string& name) const {
    std::vector<int> out;
    std::string up = UpperCaseAscii(name);
    for (size_t i = 0; i < attributes_.size(); ++i)
        if (UpperCaseAscii(attributes_[i].name) == up) out.push_back(static_cast<int>(i));
    return out;
}

bool TAsfEditor::fits(TAsfPlace place, const std::string& name, const std::vector<uint8_t>& value) const {
    size_t nameBytes = Utf8ToUtf16Le(name).size() + 2;
    switch (place) {
    case TAsfPlace::Derived:
        return false;
    case TAsfPlace::ContentDescription:
        return value.size() + 2 <= 0xFFFF;
    case TAsfPlace::Extended:
        return nameBytes <= 0xFFFF && value.size() + 2 <= 0xFFFF;
    case TAsfPlace::Metadata:
    case TAsfPlace::MetadataLibrary:
        return nameBytes <= 0xFFFF && value.size() + 2 <= std::numeric_limits<uint32_t>::max();
    }
    return false;
}

bool TAsfEditor::Modify(int index, TAsfType type, const std::vector<uint8_t>& value) {
    if (!open_ || index < 0 || index >= AttributeCount()) return false;
    TAsfAttribute& a = attributes_[static_cast<size_t>(index)];
    if (a.readOnly() || !valueSizeOk(type, value)) return false;
    if (a.place == TAsfPlace::ContentDescription && type != TAsfType::String) return false;
    if (a.place == TAsfPlace::Extended && type == TAsfType::Guid) return false;
    if (!fits(a.place, a.name, value)) return false;
    a.type = type;
    a.value = value;
    if (type == TAsfType::Bool)
        a.value = {static_cast<uint8_t>(value[0] | value[1] | value[2] | value[3] ? 1 : 0), 0, 0, 0};
    markDirty(a.place);
    return true;
}

// The object that holds `place` is re-encoded at the next flush.
void TAsfEditor::markDirty(TAsfPlace place) {
    switch (place) {
    case TAsfPlace::ContentDescription:
        dirtyCD_ = true;
        break;
    case TAsfPlace::Extended:
        dirtyECD_ = true;
        break;
    case TAsfPlace::Metadata:
        dirtyMeta_ = true;
        break;
    case TAsfPlace::MetadataLibrary:
        dirtyLib_ = true;
        break;
    case TAsfPlace::Derived:
        return;
    }
    modified_ = true;
}

bool TAsfEditor::Delete(int index) {
    if (!open_ || index < 0 || index >= AttributeCount()) return false;
    const TAsfAttribute& a = attributes_[static_cast<size_t>(index)];
    if (a.place == TAsfPlace::Derived) return false;
    markDirty(a.place);
    attributes_.erase(attributes_.begin() + index);
    return true;
}

int TAsfEditor::Add(const std::string& name, TAsfType type, const std::vector<uint8_t>& value) {
    if (!open_ || name.empty() || !valueSizeOk(type, value)) return -1;
    // A derived attribute's name cannot be added beside it.
    for (const auto& a : attributes_)
        if (a.readOnly() && UpperCaseAscii(a.name) == UpperCaseAscii(name)) return -1;
    TAsfPlace place;
    bool cdTaken = std::any_of(attributes_.begin(), attributes_.end(), [&](const TAsfAttribute& a) {
        return a.place == TAsfPlace::ContentDescription && UpperCaseAscii(a.name) == UpperCaseAscii(name);
    });
    if (IsContentDescriptionName(name) && type == TAsfType::String && !cdTaken &&
        fits(TAsfPlace::ContentDescription, name, value))
        place = TAsfPlace::ContentDescription;
    else if (type != TAsfType::Guid && fits(TAsfPlace::Extended, name, value))
        place = TAsfPlace::Extended;
    else if (headerExtension_ && fits(TAsfPlace::MetadataLibrary, name, value))
        place = TAsfPlace::MetadataLibrary;
    else
        return -1;

    TAsfAttribute a;
    a.name = name;
    if (place == TAsfPlace::ContentDescription) {
        // keep the object's own spelling of the name
        for (const char* n : kContentNames)
            if (UpperCaseAscii(n) == UpperCaseAscii(name)) a.name = n;
    }
    a.type = type;
    a.value = value;
    if (type == TAsfType::Bool)
        a.value = {static_cast<uint8_t>(value[0] | value[1] | value[2] | value[3] ? 1 : 0), 0, 0, 0};
    a.place = place;
    // after the last attribute of the same place, so that each object keeps its order
    size_t at = 0;
    for (size_t i = 0; i < attributes_.size(); ++i)
        if (attributes_[i].place <= place) at = i + 1;
    attributes_.insert(attributes_.begin() + static_cast<std::ptrdiff_t>(at), std::move(a));
    markDirty(place);
    return static_cast<int>(at);
}

std::vector<uint8_t> TAsfEditor::encodeContentDescription() const {
    std::vector<uint8_t> out;
    appendGuid(out, kContentDescriptionGuid);
    AppendLe(out, 0, 8);
    std::array<std::vector<uint8_t>, 5> values;
    for (size_t i = 0; i < kContentNames.size(); ++i)
        for (const auto& a : attributes_)
            if (a.place == TAsfPlace::ContentDescription && a.name == kContentNames[i])
                values[i] = withTerminator(a.value);
    for (const auto& v : values)
        AppendLe(out, v.size(), 2);
    for (const auto& v : values)
        append(out, v.data(), v.size());
    finishObject(out, 0);
    return out;
}

std::vector<uint8_t> TAsfEditor::encodeExtended() const {
    std::vector<uint8_t> out;
    appendGuid(out, kExtendedGuid);
    AppendLe(out, 0, 8);
    size_t countAt = out.size();
    AppendLe(out, 0, 2);
    size_t count = 0;
    for (const auto& a : attributes_) {
        if (a.place != TAsfPlace::Extended) continue;
        std::vector<uint8_t> name = withTerminator(Utf8ToUtf16Le(a.name));
        std::vector<uint8_t> value = storedValue(a, false);
        AppendLe(out, name.size(), 2);
        append(out, name.data(), name.size());
        AppendLe(out, toStored(a.type), 2);
        AppendLe(out, value.size(), 2);
        append(out, value.data(), value.size());
        ++count;
    }
    WriteLe(out.data() + countAt, count, 2);
    finishObject(out, 0);
    return out;
}

std::vector<uint8_t> TAsfEditor::encodeMetadata(TAsfPlace place) const {
    std::vector<uint8_t> out;
    appendGuid(out, place == TAsfPlace::Metadata ? kMetadataGuid : kMetadataLibraryGuid);
    AppendLe(out, 0, 8);
    size_t countAt = out.size();
    AppendLe(out, 0, 2);
    size_t count = 0;
    for (const auto& a : attributes_) {
        if (a.place != place) continue;
        std::vector<uint8_t> name = withTerminator(Utf8ToUtf16Le(a.name));
        std::vector<uint8_t> value = storedValue(a, true);
        AppendLe(out, a.language, 2);
        AppendLe(out, a.stream, 2);
        AppendLe(out, name.size(), 2);
        AppendLe(out, toStored(a.type), 2);
        AppendLe(out, value.size(), 4);
        append(out, name.data(), name.size());
        append(out, value.data(), value.size());
        ++count;
    }
    WriteLe(out.data() + countAt, count, 2);
    finishObject(out, 0);
    return out;
}

std::vector<uint8_t> TAsfEditor::encodeHeaderExtension(const TChild& child) const {
    std::vector<uint8_t> out;
    append(out, &header_[child.offset], kExtensionHeader);
    bool wroteLib = false, wroteMeta = false;
    for (const auto& sub : extensionChildren_) {
        const uint8_t* g = sub.guid.data();
        if (sameGuid(g, kMetadataGuid) && !wroteMeta && dirtyMeta_) {
            auto v = encodeMetadata(TAsfPlace::Metadata);
            append(out, v.data(), v.size());
            wroteMeta = true;
        } else if (sameGuid(g, kMetadataLibraryGuid) && !wroteLib && dirtyLib_) {
            auto v = encodeMetadata(TAsfPlace::MetadataLibrary);
            append(out, v.data(), v.size());
            wroteLib = true;
        } else {
            append(out, &header_[sub.offset], sub.size);
        }
    }
    if (dirtyLib_ && !hasMetadataLibrary_) {
        auto v = encodeMetadata(TAsfPlace::MetadataLibrary);
        append(out, v.data(), v.size());
    }
    finishObject(out, 0);
    WriteLe(out.data() + 42, out.size() - kExtensionHeader, 4);
    return out;
}

std::vector<uint8_t> TAsfEditor::BuildHeader(int64_t restSize) const {
    std::vector<uint8_t> out;
    append(out, header_.data(), kHeaderObjectSize);
    size_t count = 0;
    auto emit = [&](const std::vector<uint8_t>& v) {
        append(out, v.data(), v.size());
        ++count;
    };
    bool haveCD = std::any_of(attributes_.begin(), attributes_.end(), [](const TAsfAttribute& a) {
        return a.place == TAsfPlace::ContentDescription;
    });
    bool haveECD = std::any_of(attributes_.begin(), attributes_.end(),
                               [](const TAsfAttribute& a) { return a.place == TAsfPlace::Extended; });
    // New objects go after File Properties (or first, when there is none).
    auto emitNew = [&] {
        if (!contentDescription_ && haveCD) emit(encodeContentDescription());
        if (!extended_ && haveECD) emit(encodeExtended());
    };
    if (!fileProperties_) emitNew();
    size_t filePropertiesAt = 0;
    for (size_t i = 0; i < children_.size(); ++i) {
        const TChild& c = children_[i];
        if (contentDescription_ == i && dirtyCD_) {
            emit(encodeContentDescription());
        } else if (extended_ == i && dirtyECD_) {
            emit(encodeExtended());
        } else if (headerExtension_ == i && (dirtyMeta_ || dirtyLib_)) {
            emit(encodeHeaderExtension(c));
        } else {
            if (fileProperties_ == i) filePropertiesAt = out.size();
            emit(std::vector<uint8_t>(header_.begin() + static_cast<std::ptrdiff_t>(c.offset),
                                      header_.begin() + static_cast<std::ptrdiff_t>(c.offset + c.size)));
        }
        if (fileProperties_ == i) emitNew();
    }
    WriteLe(out.data() + 16, out.size(), 8);
    WriteLe(out.data() + 24, count, 4);
    if (fileProperties_) {
        uint8_t* fp = out.data() + filePropertiesAt + kObjectHeader;
        // A broadcast file's size field is not valid and stays as it is.
        bool broadcast = (ReadLe(fp + 64, 4) & 1) != 0;
        if (!broadcast)
            WriteLe(fp + 16, static_cast<uint64_t>(out.size()) + static_cast<uint64_t>(restSize), 8);
    }
    return out;
}

} // namespace tags

namespace tags {

bool TAsfEditor::Flush(const std::filesystem::path& path) const {
    if (!open_) return false;
    int64_t fileSize = 0;
    try {
        // The header must still be the one that was edited: never splice onto a changed file.
        TWideFileStream file(path, ModeReadShared);
        fileSize = file.Size();
        if (file.ReadBytes(header_.size()) != header_) return false;
    } catch (const TFileError&) {
        return false;
    }
    TMemoryStream head(BuildHeader(fileSize - HeaderSize()));
    return RewriteThroughTempFile(path, HeaderSize(), head);
}

} // namespace tags
