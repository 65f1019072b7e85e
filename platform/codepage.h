// Text knowledge shared by both backends and the tools, written once:
// Windows-1252 (the ANSI code page of the POSIX stand-ins and of Windows'
// Western installations), UTF-8 and ASCII case.  OS-free.
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

// UTF-8 and UTF-16, nothing replaced: false for bytes that are not UTF-8
// (`bad` is then the offset of the first), or for UTF-16 with half a
// surrogate pair (a name Windows may hold but UTF-8 cannot spell).
bool Utf8ToUtf16(std::string_view utf8, std::u16string& text, std::size_t& bad);
bool Utf16ToUtf8(std::u16string_view text, std::string& utf8);
// UTF-16 as bytes, low byte first: the form of the registry's texts.  An
// odd last byte is dropped.
std::u16string Utf16FromLittleEndian(std::string_view bytes);
std::string Utf16ToLittleEndian(std::u16string_view text);

// The lower-case form of a UTF-16 code unit (Unicode's simple one-to-one
// mappings of the Basic Multilingual Plane).  The registry orders and
// matches names by it, unit by unit, as Wine's registry does.
char16_t LowerUtf16Unit(char16_t unit) noexcept;
// <0, 0, >0 as `a` orders before, with or after `b` by LowerUtf16Unit.
int CompareNamesNoCase(std::u16string_view a, std::u16string_view b) noexcept;

}  // namespace zelk::os
