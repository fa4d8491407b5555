// The text helpers on arbitrary bytes: conversions round-trip and cuts stay valid UTF-8.
#include "tags/io/text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (tags::Utf8ToLatin1(tags::Latin1ToUtf8(bytes)) != bytes) std::abort();
    const std::string latin = tags::Utf8ToLatin1(bytes);
    if (latin.size() > size) std::abort();
    const std::string utf8 = tags::Utf16ToUtf8(tags::Utf8ToUtf16(bytes));
    if (!tags::IsValidUtf8(utf8) || (tags::IsValidUtf8(bytes) && utf8 != bytes)) std::abort();
    for (size_t cut : {size_t(0), size / 2, size > 0 ? size - 1 : 0}) {
        const std::string part = tags::CutUtf8(utf8, cut);
        if (part.size() > cut || utf8.compare(0, part.size(), part) != 0 || !tags::IsValidUtf8(part))
            std::abort();
        if (cut < utf8.size() && part.size() + 4 <= cut)
            std::abort(); // a cut gives up at most the bytes of one character
    }
    const std::string trimmed = tags::Trim(bytes);
    if (!trimmed.empty() && (static_cast<unsigned char>(trimmed.front()) <= 0x20 ||
                             static_cast<unsigned char>(trimmed.back()) <= 0x20))
        std::abort();
    (void)tags::ParseInt(bytes, 0);
    return 0;
}
