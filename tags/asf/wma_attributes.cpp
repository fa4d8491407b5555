#include "tags/asf/wma_attributes.h"

#include "tags/asf/asf_editor.h"
#include "tags/io/files.h"
#include "tags/io/text.h"

#include <cmath>
#include <cstdio>

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
    bool whole; // no 255-byte cut
};

// The order in which the attributes are written.
constexpr TField kWritten[] = {
    {"WM/EncodedBy", &TTagsData::EncodedBy, false},
    {"WM/Genre", &TTagsData::Genre, false},
    {"Author", &TTagsData::Author, false},
    {"WM/Composer", &TTagsData::Composer, false},
    {"Title", &TTagsData::Title, false},
    {"WM/AlbumTitle", &TTagsData::AlbumTitle, false},
    {"WM/Year", &TTagsData::Year, false},
    {"WM/TrackNumber", &TTagsData::TrackNumber, false},
    {"WM/URL", &TTagsData::URL, false},
    {"Copyright", &TTagsData::Copyright, false},
    {"Description", &TTagsData::Description, true},
    {"WM/Lyrics", &TTagsData::Lyrics, true},
};

// String attributes that are read, with the read-only SDK version among them.
constexpr TField kRead[] = {
    {"WM/ENCODEDBY", &TTagsData::EncodedBy, false},
    {"WMFSDKVERSION", &TTagsData::SdkVersion, false},
    {"WM/GENRE", &TTagsData::Genre, false},
    {"AUTHOR", &TTagsData::Author, false},
    {"TITLE", &TTagsData::Title, false},
    {"WM/ALBUMTITLE", &TTagsData::AlbumTitle, false},
    {"WM/COMPOSER", &TTagsData::Composer, false},
    {"WM/URL", &TTagsData::URL, false},
    {"WM/YEAR", &TTagsData::Year, false},
    {"WM/TRACKNUMBER", &TTagsData::TrackNumber, false},
    {"COPYRIGHT", &TTagsData::Copyright, false},
    {"DESCRIPTION", &TTagsData::Description, true},
    {"WM/LYRICS", &TTagsData::Lyrics, true},
};

} // namespace

bool ReadWmaAttributes(const std::filesystem::path& path, TTagsData& data) {
    if (!WideFileExists(path)) return false;
    data = TTagsData();
    checkStillThere(path);
    TAsfEditor editor;
    if (!openEditor(path, editor)) return false;
    for (int i = 0; i < editor.AttributeCount(); ++i) {
        const TAsfAttribute& a = editor.Attribute(i);
        std::string name = UpperCaseAscii(a.name);
        switch (a.type) {
        case TAsfType::String:
            for (const auto& f : kRead)
                if (name == f.name) {
                    std::string text = a.text();
                    data.*f.field = f.whole ? text : CutUtf8(text, kShortStringBytes);
                }
            break;
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
        data.Duration = 0;
        if (data.FileSize > 0 && data.Bitrate > 0)
            data.Duration = static_cast<int32_t>(
                std::nearbyint(double(data.FileSize) * 8 / (data.Bitrate / 1000.0 + 0.5) / 1000));
    }
    return true;
}

bool WriteWmaAttributes(const std::filesystem::path& path, const TTagsData& data) {
    if (!WideFileExists(path)) return false;
    checkStillThere(path);
    TAsfEditor editor;
    if (!openEditor(path, editor)) return false;
    for (const auto& f : kWritten) {
        const TagText& field = data.*f.field;
        std::vector<uint8_t> value = Utf8ToUtf16Le(f.whole ? field : CutUtf8(field, kShortStringBytes));
        std::vector<int> indices = editor.AttributeIndices(f.name);
        if (!indices.empty()) {
            // Later attributes of the same name would make readers show the old value beside the new.
            for (size_t k = indices.size(); k-- > 1;)
                if (!editor.Delete(indices[k])) return false;
            int first = indices.front();
            if (value.empty()) {
                if (!editor.Delete(first)) return false;
            } else if (!editor.Modify(first, TAsfType::String, value)) {
                // too large for its object: move it where it fits
                if (!editor.Delete(first) || editor.Add(f.name, TAsfType::String, value) < 0) return false;
            }
        } else if (!value.empty() && editor.Add(f.name, TAsfType::String, value) < 0) {
            return false;
        }
    }
    if (!editor.Modified()) return true;
    return editor.Flush(path);
}

} // namespace tags
