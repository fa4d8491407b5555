// tagdump's "ape" section: TAPETag's items in file order. Any --set field is an item key.
#include "section.h"

#include "tags/apev2/apetag.h"
#include "tags/io/text.h"

#include <cstdio>
#include <stdexcept>

namespace tagdump {

namespace {

std::string Hex(const std::string& bytes, size_t limit) {
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        char h[3];
        std::snprintf(h, sizeof h, "%02x", static_cast<unsigned char>(bytes[i]));
        out += h;
    }
    return out;
}

bool DumpApe(const std::filesystem::path& file, Json& out) {
    tags::TAPETag tag;
    if (!tag.ReadTags(file) || !tag.Exists())
        return false; // also a file too short to hold a footer: no tag there
    Json items = Json::Array();
    for (const auto& item : tag.Items()) {
        Json i = Json::Object();
        i.Set("Key", item.Key).Set("Flags", item.Flags);
        if (item.Type() != 1 && tags::IsValidUtf8(item.Value))
            i.Set("Value", item.Value);
        else // binary: its length and the first bytes, enough to recognise it
            i.Set("Length", static_cast<int64_t>(item.Value.size())).Set("Hex", Hex(item.Value, 64));
        items.Push(std::move(i));
    }
    out.Set("Version", tag.Version()).Set("Size", tag.Size()).Set("Items", std::move(items));
    return true;
}

bool TakesApe(const std::string& field) {
    // APEv2 keys: 2 to 255 printable ASCII characters.
    if (field.size() < 2 || field.size() > 255) return false;
    for (char c : field)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

bool WriteApe(const std::filesystem::path& file, const Fields& fields) {
    tags::TAPETag tag;
    tag.ReadTags(file);
    for (const auto& [key, value] : fields)
        tag.SetItem(key, value);
    tag.WriteTags(file);
    return true;
}

const bool registered = Register({"ape", 30, DumpApe, TakesApe, WriteApe});

} // namespace

} // namespace tagdump
