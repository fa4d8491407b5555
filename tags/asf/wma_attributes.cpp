#include "tags/asf/wma_attributes.h"

#include "tags/asf/asf_editor.h"
#include "tags/io/endian.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace tags {

namespace {

// The code the platform's runtime gives for a file it cannot parse.
constexpr unsigned kInvalidFormat = 0xC00D0BBD;

std::string hexCode(unsigned code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", code);
    return buf;
}

void checkStillThere(const std::filesystem::path& path) {
    if (!WideFileExists(path)) throw TFileError("The file\r\n" + path.string() + "\r\ndoes'nt exists!");
}

// Opens the editor on the file; false for a file that is not ASF.
bool openEditor(const std::filesystem::path& path, TAsfEditor& editor) {
    TWideFileStream file(path, ModeReadShared);
    switch (editor.Open(file)) {
    case TAsfEditor::TOpenResult::Ok:
        return true;
    case TAsfEditor::TOpenResult::NotAsf:
        return false;
    case TAsfEditor::TOpenResult::Damaged:
        break;
    }
    throw TFileError("Could not create Metadata Editor ($" + hexCode(kInvalidFormat) + ").");
}

struct TField {
    const char* name;
    TagText TTagsData::*field;
    bool written;
};

// In the order in which they are written.
constexpr TField kFields[] = {
    {"WM/EncodedBy", &TTagsData::EncodedBy, true},
    {"WMFSDKVersion", &TTagsData::SdkVersion, false},
    {"WM/Genre", &TTagsData::Genre, true},
    {"Author", &TTagsData::Author, true},
    {"WM/Composer", &TTagsData::Composer, true},
    {"Title", &TTagsData::Title, true},
    {"WM/AlbumTitle", &TTagsData::AlbumTitle, true},
    {"WM/Year", &TTagsData::Year, true},
    {"WM/TrackNumber", &TTagsData::TrackNumber, true},
    {"WM/URL", &TTagsData::URL, true},
    {"Copyright", &TTagsData::Copyright, true},
    {"Description", &TTagsData::Description, true},
    {"WM/Lyrics", &TTagsData::Lyrics, true},
};

// Types a field shows as text: strings, and numbers in decimal (a track number is usually a DWORD).
bool isTextual(TAsfType type) {
    return type == TAsfType::String || type == TAsfType::DWord || type == TAsfType::QWord ||
           type == TAsfType::Word;
}

// The attributes of a name that a field shows, in header order.
std::vector<int> textualIndices(const TAsfEditor& editor, const char* name) {
    std::vector<int> out;
    for (int i : editor.AttributeIndices(name))
        if (isTextual(editor.Attribute(i).type)) out.push_back(i);
    return out;
}

// What the field shows: every value, joined by "; ". A value repeated in another object (writers put
// the title in Content Description and again in the extended attributes) shows once.
std::string shownText(const TAsfEditor& editor, const std::vector<int>& indices) {
    std::vector<std::string> parts;
    for (int i : indices) {
        std::string part = editor.Attribute(i).text();
        if (!part.empty() && std::find(parts.begin(), parts.end(), part) == parts.end())
            parts.push_back(std::move(part));
    }
    std::string out;
    for (const auto& part : parts)
        out += (out.empty() ? "" : "; ") + part;
    return out;
}

// A whole decimal number goes back into a numeric attribute in its own type; anything else is a string.
std::pair<TAsfType, std::vector<uint8_t>> encodeValue(TAsfType current, const std::string& text) {
    int bytes = current == TAsfType::DWord   ? 4
                : current == TAsfType::QWord ? 8
                : current == TAsfType::Word  ? 2
                                             : 0;
    if (bytes > 0 && !text.empty() && text.size() <= 19 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        const uint64_t n = std::stoull(text);
        if (bytes == 8 || n < (uint64_t{1} << (8 * bytes))) {
            std::vector<uint8_t> value;
            AppendLe(value, n, bytes);
            return {current, value};
        }
    }
    return {TAsfType::String, Utf8ToUtf16Le(text)};
}

} // namespace

bool ReadWmaAttributes(const std::filesystem::path& path, TTagsData& data) {
    if (!WideFileExists(path)) return false;
    data = TTagsData();
    checkStillThere(path);
    TAsfEditor editor;
    if (!openEditor(path, editor)) return false;
    for (const auto& f : kFields)
        data.*f.field = shownText(editor, textualIndices(editor, f.name));
    for (int i = 0; i < editor.AttributeCount(); ++i) {
        const TAsfAttribute& a = editor.Attribute(i);
        std::string name = UpperCaseAscii(a.name);
        switch (a.type) {
        case TAsfType::Bool:
            if (name == "ISVBR") data.IsVBR = a.value[0] != 0;
            break;
        case TAsfType::DWord:
            if (name == "BITRATE") data.Bitrate = static_cast<int32_t>(a.number());
            break;
        case TAsfType::QWord:
            if (name == "FILESIZE") data.FileSize = static_cast<int32_t>(static_cast<uint32_t>(a.number()));
            break;
        default:
            break;
        }
    }
    if (data.FileSize > 0 && data.Bitrate > 0)
        data.Duration = static_cast<int32_t>(
            std::nearbyint(double(data.FileSize) * 8 / (data.Bitrate / 1000.0 + 0.5) / 1000));
    return true;
}

bool WriteWmaAttributes(const std::filesystem::path& path, const TTagsData& data) {
    return WriteWmaAttributes(path, data, {});
}

bool WriteWmaAttributes(const std::filesystem::path& path, const TTagsData& data,
                        const std::vector<TAsfAttribute>& added, std::vector<size_t>* refused) {
    if (!WideFileExists(path)) return false;
    checkStillThere(path);
    TAsfEditor editor;
    if (!openEditor(path, editor)) return false;
    for (const auto& f : kFields) {
        if (!f.written) continue;
        const TagText& wanted = data.*f.field;
        std::vector<int> indices = textualIndices(editor, f.name);
        // A field that still shows what the file holds keeps every value in its own type.
        if (wanted == shownText(editor, indices)) continue;
        // Later attributes of the same name would make readers show the old value beside the new.
        while (indices.size() > (wanted.empty() ? 0 : 1)) {
            if (!editor.Delete(indices.back())) return false;
            indices.pop_back();
        }
        if (wanted.empty()) continue;
        if (indices.empty()) {
            if (editor.Add(f.name, TAsfType::String, Utf8ToUtf16Le(wanted)) < 0) return false;
            continue;
        }
        const auto [type, value] = encodeValue(editor.Attribute(indices.front()).type, wanted);
        if (!editor.Modify(indices.front(), type, value)) {
            // too large for its object: move it where it fits
            if (!editor.Delete(indices.front()) || editor.Add(f.name, type, value) < 0) return false;
        }
    }
    std::vector<std::string> replaced;
    for (size_t i = 0; i < added.size(); ++i) {
        const TAsfAttribute& a = added[i];
        if (std::find(replaced.begin(), replaced.end(), UpperCaseAscii(a.name)) == replaced.end()) {
            replaced.push_back(UpperCaseAscii(a.name));
            std::vector<int> old = editor.AttributeIndices(a.name);
            for (auto it = old.rbegin(); it != old.rend(); ++it)
                if (!editor.Delete(*it)) return false;
        }
        if (editor.Add(a.name, a.type, a.value) < 0 && refused) refused->push_back(i);
    }
    if (!editor.Modified()) return true;
    return editor.Flush(path);
}

std::vector<uint8_t> AsfPictureValue(const TPicture& picture) {
    std::vector<uint8_t> out{picture.type};
    AppendLe(out, picture.data.size(), 4);
    for (const std::string* text : {&picture.mime, &picture.description}) {
        const std::vector<uint8_t> units = Utf8ToUtf16Le(*text);
        out.insert(out.end(), units.begin(), units.end());
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), picture.data.begin(), picture.data.end());
    return out;
}

std::optional<TPicture> ParseAsfPicture(const std::vector<uint8_t>& value) {
    if (value.size() < 5) return std::nullopt;
    TPicture picture;
    picture.type = value[0];
    const uint32_t size = ReadLe32(&value[1]);
    size_t at = 5;
    for (std::string* text : {&picture.mime, &picture.description}) {
        size_t end = at;
        while (end + 1 < value.size() && (value[end] | value[end + 1]) != 0)
            end += 2;
        if (end + 1 >= value.size()) return std::nullopt;
        *text = Utf16LeToUtf8(value.data() + at, end - at);
        at = end + 2;
    }
    if (value.size() - at < size) return std::nullopt;
    picture.data.assign(reinterpret_cast<const char*>(value.data()) + at, size);
    return picture;
}

} // namespace tags
