#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between UTF-8 (the program's text everywhere), UTF-16 and the local 8-bit
// code page, which is the character set of the current locale (nl_langinfo(CODESET)).
// The program sets its locale from the environment at start (QCoreApplication calls
// setlocale(LC_ALL, "")); before that, or in a plain test binary, the code set is that
// of the "C" locale, 7-bit ASCII.
//
// No function throws for bad input, and none reads past its input. Invalid input is
// repaired, never passed through:
// - An invalid UTF-8 sequence (stray continuation byte, overlong form, surrogate, value
//   above U+10FFFF, truncated sequence) becomes one replacement character per maximal
//   invalid subpart, the way the Unicode standard recommends: "\xE2\x82" followed by
//   "A" gives U+FFFD then "A".
// - An unpaired UTF-16 surrogate, and a last odd byte of UTF-16 bytes, become U+FFFD.
// - A byte that is invalid in the local code page becomes U+FFFD in UTF-8.
// - A character that the local code page cannot represent becomes '?'.
// The replacement character is U+FFFD in UTF-8 and UTF-16 and '?' in the local code page.
namespace galvorn::textcodec {

// The byte-order mark that opens a text, if any.
enum class Bom
{
    None,
    Utf8,    // EF BB BF
    Utf16Le, // FF FE
    Utf16Be, // FE FF
};

Bom detectBom(std::string_view bytes) noexcept;

// Length in bytes of the mark (0 for None).
std::size_t bomSize(Bom bom) noexcept;

// The text without its byte-order mark; unchanged when it has none.
std::string_view stripBom(std::string_view bytes) noexcept;

// How the bytes of a text file are to be read.
enum class Encoding
{
    Utf8,    // with or without a signature
    Utf16Le, // with its mark
    Utf16Be, // with its mark
    Local,   // the local 8-bit code page
};

// A mark decides first; without one the text is UTF-8 when every sequence in it is
// valid UTF-8, and the local code page otherwise. UTF-16 without a mark is not
// recognised.
Encoding detectEncoding(std::string_view bytes) noexcept;

// The text as UTF-8, without a byte-order mark.
std::string decodeToUtf8(std::string_view bytes, Encoding encoding);

bool isValidUtf8(std::string_view text) noexcept;

// The longest prefix of text that has at most maxBytes bytes and does not end inside a
// UTF-8 sequence. The bytes of an invalid subpart count as one unit each and are kept
// as they are; use sanitizeUtf8() first when the result must be valid.
std::string_view truncateUtf8(std::string_view text, std::size_t maxBytes) noexcept;

// The text with every invalid sequence replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view text);

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// UTF-16 given as bytes in the stated order, for file contents. A mark at the start is
// kept as U+FEFF; strip it first with stripBom() when it is not wanted.
std::string utf16BytesToUtf8(std::string_view bytes, bool bigEndian);

// The name of the local code page, as iconv knows it (for example "UTF-8", "GBK" or
// "ANSI_X3.4-1968").
std::string localCodeset();

std::string utf8ToLocal(std::string_view text);
std::string localToUtf8(std::string_view text);
std::string utf16ToLocal(std::u16string_view text);
std::u16string localToUtf16(std::string_view text);

// The same conversions against a named ASCII-compatible code set rather than the local
// one. A code set that iconv does not know is treated as ASCII: bytes above 0x7F are
// replaced.
std::string utf8ToCodeset(std::string_view text, const std::string& codeset);
std::string codesetToUtf8(std::string_view bytes, const std::string& codeset);

} // namespace galvorn::textcodec
