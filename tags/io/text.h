// Text helpers shared by every tag format. TagText is UTF-8; each format converts at its own edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tags {

// Trimming removes every byte of 0x20 or less (spaces, zero bytes, control bytes) from the ends only;
// such a byte inside a value stays. UTF-8 sequences never contain such bytes, so trimming is safe on them.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Upper-cases a-z only, whatever else the text holds.
std::string UpperCaseAscii(std::string_view text);
// Equal after upper-casing a-z only.
bool SameTextAscii(std::string_view a, std::string_view b);

// The whole text must be a decimal integer with an optional sign, within range; otherwise defaultValue.
int64_t ParseInt64(std::string_view text, int64_t defaultValue = 0);
int ParseInt(std::string_view text, int defaultValue = 0);

// ISO-8859-1 <-> UTF-8. A character that Latin-1 cannot hold, and each byte of a broken UTF-8
// sequence, becomes "?".
std::string Latin1ToUtf8(std::string_view latin1);
std::string Utf8ToLatin1(std::string_view utf8);

// UTF-16 (native char16_t units) <-> UTF-8. Unpaired surrogates and broken sequences become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

// True when every character fits ISO-8859-1 (and the text is valid UTF-8).
bool FitsLatin1(std::string_view utf8);
bool IsValidUtf8(std::string_view utf8);
// The longest prefix that is valid UTF-8 (no overlong forms, no surrogates).
std::string ValidUtf8Prefix(std::string_view utf8);

// The longest prefix of at most maxBytes bytes that does not split a UTF-8 character.
std::string CutUtf8(std::string_view utf8, size_t maxBytes);

} // namespace tags
