#include "tags/io/text.h"

#include <limits>

namespace tags {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// Decodes one UTF-8 character at pos; returns its code point and advances pos, or returns -1 and
// advances by one byte when the sequence is broken (overlong forms and surrogates included).
int32_t DecodeUtf8(std::string_view s, size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int length;
    int32_t cp;
    int32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return -1;
    }
    if (pos + length > s.size()) {
        ++pos;
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return -1;
    }
    pos += length;
    return cp;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string Trim(std::string_view text) {
    return TrimLeft(TrimRight(text));
}

std::string TrimLeft(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return std::string(text.substr(start));
}

std::string TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(0, end));
}

std::string UpperCaseAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

int64_t ParseInt64(std::string_view text, int64_t defaultValue) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return defaultValue;
    // Accumulate negatively so that the most negative value parses too.
    int64_t value = 0;
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return defaultValue;
        int digit = c - '0';
        if (value < (min + digit) / 10) return defaultValue;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min) return defaultValue;
        value = -value;
    }
    return value;
}

int ParseInt(std::string_view text, int defaultValue) {
    int64_t v = ParseInt64(text, std::numeric_limits<int64_t>::min());
    if (v == std::numeric_limits<int64_t>::min() || v < std::numeric_limits<int>::min() ||
        v > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(v);
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char c : latin1)
        AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        int32_t cp = DecodeUtf8(utf8, pos);
        out += (cp >= 0 && cp <= 0xFF) ? static_cast<char>(cp) : '?';
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            uint32_t low = utf16[++i];
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        int32_t cp = DecodeUtf8(utf8, pos);
        if (cp < 0) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool FitsLatin1(std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size()) {
        int32_t cp = DecodeUtf8(utf8, pos);
        if (cp < 0 || cp > 0xFF) return false;
    }
    return true;
}

bool IsValidUtf8(std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size())
        if (DecodeUtf8(utf8, pos) < 0) return false;
    return true;
}

std::string ValidUtf8Prefix(std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        if (DecodeUtf8(utf8, pos) < 0) return std::string(utf8.substr(0, start));
    }
    return std::string(utf8);
}

std::string CutUtf8(std::string_view utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the character that the cut would split.
    size_t back = cut;
    while (back > 0 && (static_cast<unsigned char>(utf8[back]) & 0xC0) == 0x80 && cut - back < 3)
        --back;
    if ((static_cast<unsigned char>(utf8[back]) & 0xC0) != 0x80 && back != cut) {
        // utf8[back] starts the split character only when its length runs past the cut.
        size_t probe = back;
        if (DecodeUtf8(utf8, probe) >= 0 && probe > cut) cut = back;
    }
    return std::string(utf8.substr(0, cut));
}

} // namespace tags
