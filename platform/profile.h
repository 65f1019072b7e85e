// The private-profile lookup: texts from an initialisation file.
//
// Win32: GetPrivateProfileStringA.  POSIX: our own reader
// (platform/ini_parser.h lists its rules), which resolves the name again on
// every lookup (one stat of the path it names, so a file rewritten, renamed
// over or deleted, a symbolic link repointed or a folder swapped serves the
// very next lookup) and keeps the parse of each recently used file for as
// long as the name resolves to that same, unchanged file.
#pragma once

#include <string>

namespace zelk::os {

// Copies the value of `key` in `section` of the file `fileName` (a Windows
// name, see platform/files.h), or `defaultText` when the file, section, key
// or value is missing, into `buffer`: cut to size - 1 characters and
// zero-terminated.  Returns the number of characters copied.  A null
// `section` gives the list of section names, a null `key` the list of the
// section's keys (ParsedProfile::Lookup says how).  Size 0 leaves `buffer`
// untouched.  Safe to call from many threads at once.
unsigned long GetProfileText(char const* fileName, char const* section, char const* key, char const* defaultText,
                             char* buffer, unsigned long size);

// 1 when the named file can be read, 0 otherwise (also for a null or empty
// name).  On POSIX this is the lookup's own reading of the file, so the
// answer and the lookups agree: a file that cannot be read (a directory, no
// permission, too large for memory) gives 0 here and defaults there.
int IsProfileReadable(char const* fileName);

// Reads the whole named file as the lookups do (the same name resolution);
// false when it cannot be read.  For tools that check message files.
bool ReadProfileBytes(char const* fileName, std::string& bytes);

}  // namespace zelk::os
