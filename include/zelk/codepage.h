/// @file
/// Texts between Windows-1252 and UTF-8.
///
/// The library's texts (error descriptions, thread names, registry strings)
/// are bytes of the ANSI code page, Windows-1252 on POSIX systems and on
/// Western Windows installations; terminals, files and other libraries often
/// want UTF-8.  These convert whole texts either way, as Windows'
/// MultiByteToWideChar and WideCharToMultiByte do for code page 1252:
///
/// - every Windows-1252 byte is one character (the five unassigned bytes
///   0x81, 0x8D, 0x8F, 0x90 and 0x9D become the control characters of the
///   same number), so Windows-1252 to UTF-8 never fails;
/// - a character that Windows-1252 lacks becomes '?', as Windows makes it;
/// - malformed UTF-8 (an overlong form, a surrogate, a value past U+10FFFF,
///   a stray continuation byte, a cut sequence) becomes one '?' for each
///   byte that begins no character.
///
/// Zero bytes are characters like any other.  Any thread may call these.
/// @code
/// CErrorClone error;
/// list.GetError(error, pos);
/// char text[300];
/// error.GetDescriptionLine(0, 0, text, sizeof text);
/// std::printf("%s\n", Cp1252ToUtf8(text).c_str());         // "Größe" on a UTF-8 terminal
/// std::string const name = Utf8ToCp1252("Zürich \u2192 Köln");  // "Z\xFCrich ? K\xF6ln"
/// @endcode
#pragma once

#include <zelk/export.h>

#include <cstddef>
#include <string>
#include <string_view>

/// Converts Windows-1252 bytes to UTF-8 into a buffer of the caller's.
/// @param text the bytes; null counts as empty
/// @param length the number of bytes
/// @param buffer receives as many whole characters as fit in `size` - 1
///        bytes, zero-terminated; null with `size` 0 only measures
/// @param size the buffer's size in bytes
/// @return the length of the whole result in bytes (without the terminating
///         zero), whether it fitted or not: at most 3 * `length`
ZELK_API std::size_t Cp1252ToUtf8(char const* text, std::size_t length, char* buffer, std::size_t size);
/// Converts UTF-8 to Windows-1252 bytes into a buffer of the caller's
/// ('?' for what Windows-1252 lacks and for malformed bytes; see the file).
/// @param text the UTF-8 text; null counts as empty
/// @param length its length in bytes
/// @param buffer receives up to `size` - 1 bytes, zero-terminated; null with
///        `size` 0 only measures
/// @param size the buffer's size in bytes
/// @return the length of the whole result in bytes (without the terminating
///         zero), whether it fitted or not: at most `length`
ZELK_API std::size_t Utf8ToCp1252(char const* text, std::size_t length, char* buffer, std::size_t size);

/// Windows-1252 to UTF-8 as a string (made in the caller's own code).
/// @param text the Windows-1252 bytes
/// @return the UTF-8 text
inline std::string Cp1252ToUtf8(std::string_view text) {
    std::string result(Cp1252ToUtf8(text.data(), text.size(), nullptr, 0), '\0');
    Cp1252ToUtf8(text.data(), text.size(), result.data(), result.size() + 1);
    return result;
}
/// UTF-8 to Windows-1252 as a string (made in the caller's own code).
/// @param text the UTF-8 text
/// @return the Windows-1252 bytes
inline std::string Utf8ToCp1252(std::string_view text) {
    std::string result(Utf8ToCp1252(text.data(), text.size(), nullptr, 0), '\0');
    Utf8ToCp1252(text.data(), text.size(), result.data(), result.size() + 1);
    return result;
}
