// The tag editor's save on arbitrary files: load, edit one field, save into a temporary copy, as the
// dialog's OK does. Input: byte 0 picks the file kind (MP3, Ogg, WMA), byte 1 the field, byte 2 the
// write format; the rest is the file. No crash, hang or unbounded allocation; a save that succeeds
// shows an edited title on the next load.
#include "tagedit/format_tags.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A folder of our own for the run's files, removed when the run ends.
char folderName[] = "/tmp/tag_edit_fuzz-XXXXXX";

std::filesystem::path Folder() {
    static const bool made = [] {
        if (!mkdtemp(folderName)) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folderName, ec);
        });
        return true;
    }();
    (void)made;
    return folderName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static const char* const kExtensions[] = {".mp3", ".ogg", ".wma"};
    const auto kind = data[0] % 3;
    const auto field = static_cast<tagedit::Field>(data[1] % tagedit::kFieldCount);
    const int writeFormat = data[2] % static_cast<int>(tagedit::WriteFormats.size());
    const std::filesystem::path file = Folder() / (std::string("file") + kExtensions[kind]);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 3), static_cast<std::streamsize>(size - 3));
        if (!out) std::abort();
    }

    const std::string value = "Fuzz \xe2\x9c\x93 value";
    try {
        tagedit::TagFields fields = tagedit::ReadTags(file, 1).value_or(tagedit::TagFields{});
        tagedit::SetFieldText(fields, field, value);
        tagedit::FieldSet edited;
        edited.set(static_cast<size_t>(field));
        const bool saved = tagedit::WriteTags(file, fields, edited, writeFormat);
        // ID3v2 (read first) is among the tags written for MP3; Ogg and WMA have one form
        const bool id3v2Written = writeFormat == 1 || writeFormat == 3 || writeFormat == 5;
        if (saved && field == tagedit::Field::Title && (kind != 0 || id3v2Written)) {
            const auto back = tagedit::ReadTags(file, 1);
            if (!back || back->Title != value) std::abort();
        }
    } catch (const std::exception&) {
        // the file layer's errors (a damaged Ogg stream, for one) are results, not crashes
    }
    return 0;
}
