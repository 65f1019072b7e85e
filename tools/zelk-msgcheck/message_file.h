// One message file as the library reads it: the parse its lookups use, the
// reader's view of every line, and the texts that lookups can find.
#pragma once

#include "platform/ini_parser.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zelk::msgcheck {

// The name the library is given for a path on the command line.  A name with
// a backslash is taken as it stands.  A plain path has its slashes turned
// into backslashes (and a bare file name gets ".\" before it), so that the
// library derives the English name beside it the Windows way.
std::string MessageFileName(std::string const& argument);

// The name a message file's findings carry: the path as it resolves now.
std::string ResolvedName(std::string const& name);

// A key that lookups can find, with a text (possibly empty).
struct Text {
    std::string key;  // as spelled
    std::size_t line = 0;
    std::string value;  // as it stands in the file, quotes kept
};

// A section that lookups search (the first of its name, with a name).
struct Section {
    std::string name;  // as spelled
    std::size_t line = 0;
    std::map<std::string, Text> texts;  // folded key -> text; only keys a lookup could ever ask for
};

class MessageFile {
public:
    // Reads the file with the library's own reader; false when it cannot be read.
    bool Load(std::string const& name, std::string display);

    std::string const& Display() const { return m_display; }
    os::ProfileLines const& Lines() const { return m_lines; }
    // Live sections by folded name.
    std::map<std::string, Section> const& Sections() const { return m_sections; }
    // What GetText would copy for `section` / `key` into a buffer of `size` bytes.
    std::string Lookup(char const* section, char const* key, unsigned long size) const;

private:
    std::string m_display;
    os::ProfileLines m_lines;
    std::unique_ptr<os::ParsedProfile const> m_profile;
    std::map<std::string, Section> m_sections;
};

// Names fold only A-Z, as the reader's do.
std::string Folded(std::string text);

// Comment-like lines (';' or '#' first) are left alone by the checks: the
// reader never finds them under a code.
bool IsCommentLike(std::string const& name);

}  // namespace zelk::msgcheck
