// Text knowledge shared by both backends and the tools, written once:
// Windows-1252 (the ANSI code page of the POSIX stand-ins and of Windows'
// Western installations), UTF-8, UTF-16, ASCII case and the upper case that
// Windows compares registry names in.  OS-free.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelk::os {

// The character a Windows-1252 byte stands for.  Every byte stands for one:
// the five bytes the page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the control character of the same number, as Windows maps them, so
// the page is a one-to-one map of all 256 bytes.
char16_t Cp1252ToUnicode(unsigned char byte) noexcept;

// The Windows-1252 byte of a character; false when the page has none.
bool UnicodeToCp1252(char32_t character, unsigned char& byte) noexcept;

// A-Z and a-z only: the fold of names that Windows' profile lookup applies.
constexpr char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool EqualAsciiNoCase(std::string_view a, std::string_view b) noexcept;

// 0-15 for a hexadecimal digit of either case, -1 for anything else.
constexpr int HexDigitValue(char c) noexcept {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// UTF-8.  The decoder is strict: an overlong form, a surrogate, a value past
// U+10FFFF, a stray continuation byte or a cut sequence is no character.
void AppendUtf8(std::string& text, char32_t character);
inline constexpr char32_t kNoCharacter = 0xFFFFFFFF;
// The character at `pos`, advancing `pos` past it; on a malformed sequence
// kNoCharacter, with `pos` advanced past its lead byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) noexcept;
// Whether `text` is well-formed UTF-8, and its length in UTF-16 units.
bool IsUtf8(std::string_view text, std::size_t* utf16Length = nullptr) noexcept;

// The upper case of one UTF-16 unit as Windows upcases names to compare
// them: simple one-to-one mappings of the Basic Multilingual Plane (a table
// made from Unicode data, the same on every machine); a surrogate is its own
// upper case.
char16_t UpcaseUtf16(char16_t unit) noexcept;
// Its lower case, the same way: registries list names in the order of their
// upcased units lower-cased again (so "_" comes before "A", as in Wine).
char16_t LowercaseUtf16(char16_t unit) noexcept;

// Between Windows-1252 and Unicode as Windows converts between its ANSI code
// page and UTF-16: every byte has a character, so text of the page comes
// back as it went in; a character the page lacks becomes the near byte of
// Windows' best-fit table (Greek alpha 'a', A with macron 'A'), or '?' where
// there is none, one for each UTF-16 unit it takes (two for a character
// beyond U+FFFF).  UTF-16 is in
// little-endian bytes, as the registry keeps text data; an odd last byte is
// no unit and is dropped.  The UTF-8 given to Utf8ToCp1252 is well-formed.
std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);
std::string Cp1252ToUtf16le(std::string_view text);
std::string Utf16leToCp1252(std::string_view bytes);

// UTF-8 and UTF-16, nothing replaced: false for bytes that are not UTF-8
// (`bad` is then the offset of the first), or for UTF-16 with half a
// surrogate pair (a name Windows may hold but UTF-8 cannot spell).
bool Utf8ToUtf16(std::string_view utf8, std::u16string& text, std::size_t& bad);
bool Utf16ToUtf8(std::u16string_view text, std::string& utf8);
// UTF-16 as bytes, low byte first: the form of the registry's texts.  An
// odd last byte is dropped.
std::u16string Utf16FromLittleEndian(std::string_view bytes);
std::string Utf16ToLittleEndian(std::u16string_view text);

// The order registries list names in: by their upcased units lower-cased
// again (so "_" comes before "A", as Wine lists them), and names that differ
// only there (the Kelvin sign and K) by the upcased units.  <0, 0, >0 as `a`
// orders before, with or after `b`; 0 only for names Windows takes as one.
int CompareNamesNoCase(std::u16string_view a, std::u16string_view b) noexcept;
// One step of that order over two upcased units: their order by lower case,
// or 0, with the first difference of the units themselves kept in `tie`
// (for callers that decode names unit by unit).
inline int CompareNameUnits(char16_t p, char16_t q, int& tie) noexcept {
    if (p == q) return 0;
    char16_t const lowP = LowercaseUtf16(p), lowQ = LowercaseUtf16(q);
    if (lowP != lowQ) return lowP < lowQ ? -1 : 1;
    if (tie == 0) tie = p < q ? -1 : 1;
    return 0;
}

}  // namespace zelk::os
