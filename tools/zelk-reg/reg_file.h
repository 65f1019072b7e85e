// regedit's .reg files: "Windows Registry Editor Version 5.00" (UTF-16LE
// with a byte-order mark as regedit writes them, UTF-8, or the ANSI code
// page as older editors save it) and "REGEDIT4" (the ANSI code page).
//
// Reading turns a whole file into a plan of registry changes before anything
// is written, so a file with an error changes nothing.  Writing is regedit's
// export format, byte for byte.
#pragma once

#include "key_name.h"
#include "registry_access.h"

#include <zelk/hkey.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::regtool {

struct RegChange {
    enum Kind {
        kCreateKey,  // [KEY]
        kDeleteKey,  // [-KEY], with everything below it; a missing key is no error
        kSetValue,  // "name"=data or @=data, in the key of the last kCreateKey
        kDeleteValue,  // "name"=- or @=-; a missing value is no error
    };
    Kind kind = kCreateKey;
    std::size_t line = 0;  // where it stands in the file, for messages
    KeyName key;  // for the key changes
    Value value;  // the value changes' name, type and registry bytes
};

// Parses the bytes of a .reg file.  False with "FILE:LINE: what" (`fileName`
// as given) for anything regedit would not import as it stands: a missing
// header, a malformed line, an unknown root, a value outside a key section,
// a NUL character inside a string.
bool ReadRegFile(std::string_view bytes, std::string const& fileName, std::vector<RegChange>& changes,
                 std::string& error);

// Builds an export: the header, then one section per key, each followed by a
// blank line; values in regedit's notation, hex data wrapped at 80 columns.
class RegFileWriter {
public:
    RegFileWriter();
    // Starts the section of `key` (UTF-8, as it should appear).
    void Key(std::string_view key);
    void Add(Value const& value);
    // The file: UTF-16LE with a byte-order mark, CRLF line ends.
    std::string Bytes() const;

private:
    void Append(std::string_view ascii);
    void AppendHex(std::size_t column, std::string_view bytes);

    std::u16string m_text;
};

}  // namespace zelk::regtool
