// The private-profile lookup: one text from an initialisation file.
//
// Win32: GetPrivateProfileStringA.  POSIX: our own reader, which gives the
// same results (platform/posix/ini_parser.h lists the rules) and keeps a
// parsed copy of each recently used file, with the file held open and
// checked (fstat: size, times, inode, link count) at every lookup, so a
// file rewritten, renamed over or deleted serves the next lookup.  The name
// is resolved again only when that check fails: a directory renamed away
// from under a still unchanged file keeps serving the file.
#pragma once

namespace zelk::os {

// Copies the value of `key` in `section` of the file `fileName` (a Windows
// name, see platform/files.h), or `defaultText` when the file, section, key
// or value is missing, into `buffer`: cut to size - 1 characters and
// zero-terminated.  Returns the number of characters copied.  `section` and
// `key` must not be null; size 0 leaves `buffer` untouched.  Safe to call
// from many threads at once.
unsigned long GetProfileText(char const* fileName, char const* section, char const* key, char const* defaultText,
                             char* buffer, unsigned long size);

}  // namespace zelk::os
