// The POSIX reader of initialisation files: parses a file's bytes once and
// answers private-profile lookups from the parsed copy with the results the
// Win32 lookup gives (as observed on Wine, whose implementation the win64
// test run exercises).
//
// What the Win32 lookup does, and this reader copies:
// - a file may start with a byte-order mark: UTF-8 (EF BB BF), UTF-16LE
//   (FF FE) or UTF-16BE (FE FF); such text is turned into the ANSI code page
//   (Windows-1252 here), characters it lacks becoming '?'.  Without a mark
//   the bytes are taken as they stand;
// - '\r' and '\n' each end a line; space, \t, \v, \f, \r and \n are white
//   space and are trimmed around section names, keys and values;
// - a line "[name]" (text after the last ']' ignored) opens a section; a '['
//   line without ']' is an ordinary key line.  Lines before the first section
//   belong to a nameless section that a lookup of "" finds; a later "[]"
//   never does;
// - "key=value" splits at the first '='; a line without '=' is a key without
//   a value, which a lookup answers with the default;
// - there are no comments: ";x=1" is the key ";x";
// - names match without regard to the case of A-Z; the first section of a
//   name and the first key of a name in it win, later duplicates are dead;
// - a value that starts and ends with the same quote (' or ") is copied
//   without them;
// - embedded zero bytes end a name or value where they stand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelk::os {

class ParsedProfile {
public:
    // Parses `bytes`, the whole content of one file.
    explicit ParsedProfile(std::string_view bytes);

    // Copies the value of `key` in `section` (or, when there is none,
    // `defaultText` without its trailing spaces) into `buffer`, cut to
    // size - 1 characters and zero-terminated; returns the characters copied.
    // `section` and `key` must not be null; size 0 leaves `buffer` untouched.
    unsigned long Lookup(char const* section, char const* key, char const* defaultText, char* buffer,
                         unsigned long size) const;

    std::size_t SectionCount() const noexcept { return m_sections.size(); }

private:
    struct Value {
        std::string text;
        bool present = false;  // false for a key line without '='
    };
    struct Section {
        // Folded key -> value; the first occurrence of a key wins.
        std::unordered_map<std::string, Value> keys;
    };

    void AddLine(std::string_view line);

    std::vector<Section> m_sections;                       // [0] is the nameless section
    std::unordered_map<std::string, std::size_t> m_index;  // folded name -> first section of that name
    std::size_t m_current = 0;
};

// The copy rules of the lookup, shared with the default: exposed for tests.
unsigned long CopyProfileValue(char const* value, char* buffer, unsigned long size);
unsigned long CopyProfileDefault(char const* defaultText, char* buffer, unsigned long size);

// The lookup's text form of a file's bytes (byte-order marks decoded).
std::string ProfileText(std::string_view bytes);

}  // namespace zelk::os
