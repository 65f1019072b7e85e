// The reader of initialisation files: parses a file's bytes once and answers
// private-profile lookups from the parsed copy with the results that
// GetPrivateProfileStringA gives (as Wine runs it; the Windows test runs
// check every rule below against the system).  The POSIX lookups use it, and
// so does the message-file checker on every system, which also asks it for
// the reader's view of each line.  No operating-system call: both backends
// build it.
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
// - there are no comments in lookups: ";x=1" is the key ";x";
// - names match without regard to the case of A-Z; the first section of a
//   name and the first key of a name in it win, later duplicates are dead;
// - a value that starts and ends with the same quote (' or ") is copied
//   without them;
// - embedded zero bytes end a name or value where they stand;
// - a null section lists the names of all sections (repeated ones too, the
//   nameless ones not), a null key the keys of a section (those with a value
//   whose name does not start with ';'), each followed by a zero byte and the
//   list by another; see Lookup for how a list is cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelk::os {

enum class ProfileEncoding { kAnsi, kUtf8, kUtf16LE, kUtf16BE };

// In ProfileLine::lost: bytes of a marked file that form no character at
// all (they read as '?', as do characters the code page lacks).
constexpr std::uint32_t kMalformed = 0xFFFFFFFF;

// One line as the reader takes it, for tools that report on a file.
struct ProfileLine {
    enum class Kind { kBlank, kSection, kKey };
    std::size_t number = 0;  // from 1; "\r\n" ends one line
    Kind kind = Kind::kBlank;
    std::string text;  // the whole line as text, without its end
    std::string name;  // the section's name or the key, as a listing gives it
    std::string value;  // a key's value as it stands (trimmed, up to a zero byte, quotes kept)
    bool hasValue = false;  // a key line with '='
    bool cutAtZero = false;  // a zero byte ended the name or the value early
    std::string trailing;  // a section line's text after its last ']'
    std::size_t section = 0;  // the section the line is in: 0 before the first, then 1, 2, ... in file order
    std::size_t firstLine = 0;  // a repeated section or key: the line of the one that counts
    bool dead = false;  // never found: a repeated section or key, or any line in a repeated section
    std::vector<std::uint32_t> lost;  // characters of this line that became '?' (or kMalformed)
};

struct ProfileLines {
    ProfileEncoding encoding = ProfileEncoding::kAnsi;
    std::vector<ProfileLine> lines;
};

// Names compare without regard to the case of A-Z; a lookup hashes the name
// it is asked for as it stands, without folding it into a copy.
struct ProfileNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;  // not noexcept: the table then keeps each hash
};
struct ProfileNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};
template <class T>
using ProfileNameMap = std::unordered_map<std::string, T, ProfileNameHash, ProfileNameEqual>;

class ParsedProfile {
public:
    // Parses `bytes`, the whole content of one file; when `lines` is given,
    // also fills it with the reader's view of every line.
    explicit ParsedProfile(std::string_view bytes, ProfileLines* lines = nullptr);

    // Copies the value of `key` in `section` (or, when there is none,
    // `defaultText` without its trailing spaces) into `buffer`, cut to
    // size - 1 characters and zero-terminated; returns the characters copied.
    // A null `section` lists the section names, a null `key` the section's
    // keys (the default when it has none).  A list that does not fit is cut
    // to size - 2 bytes with a zero after them (the byte after that is left
    // alone), and the result is size - 2.  Size 0 leaves `buffer` untouched.
    unsigned long Lookup(char const* section, char const* key, char const* defaultText, char* buffer,
                         unsigned long size) const;

private:
    struct Value {  // of the first key of a name
        std::string text;
        bool present = false;  // false for a key line without '='
        std::size_t line = 0;
    };
    struct Listed {  // every key line, in file order, for the list of keys
        std::string name;  // as spelled
        bool present = false;
    };
    struct Section {
        std::string name;  // as spelled
        bool dead = false;  // a repeated name: listed, never searched
        std::size_t line = 0;
        std::vector<Listed> keys;
        ProfileNameMap<Value> index;
    };

    void AddLine(std::string_view line, std::size_t number, ProfileLine* view);
    unsigned long ListSections(char* buffer, unsigned long size) const;
    static unsigned long ListKeys(Section const& section, char* buffer, unsigned long size);

    std::vector<Section> m_sections;  // [0] is the nameless section
    ProfileNameMap<std::size_t> m_index;  // name -> the first section of that name
    std::size_t m_current = 0;
};

// The copy rules of the lookup, shared with the default: exposed for tests
// and for the checker, which asks what a buffer of a given size keeps.
unsigned long CopyProfileValue(char const* value, char* buffer, unsigned long size);
unsigned long CopyProfileDefault(char const* defaultText, char* buffer, unsigned long size);

// The lookup's text form of a file's bytes (byte-order marks decoded).
std::string ProfileText(std::string_view bytes);

}  // namespace zelk::os
