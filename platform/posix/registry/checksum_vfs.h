// Page checksums for the registry files: a thin SQLite VFS over the system's
// default one that stamps every page it writes and checks every page it
// reads, so that a damaged page gives an error instead of wrong data.
//
// The checksum takes the last kChecksumBytes of each page, space SQLite
// leaves alone when the file's header reserves it (byte 20 of page 1).  A
// file whose page 1 reserves it is checked: the main file's pages, the
// pages read back from the write-ahead log and those read back from a
// rollback journal.  (Files of earlier versions reserve nothing; they are
// read unchecked until a writer brings them up to date.)  Page 1 itself is
// checked whenever it reserves the space or says it should (this library's
// mark and a schema version of 2 or more), so a damaged header cannot switch
// the checks off.
//
// A failed check gives SQLITE_IOERR_DATA.  It also marks the file damaged:
// from then on the layer refuses every write to the file, its log and its
// journal (SQLITE_IOERR_DATA again), in every process, until the file has
// been repaired and the mark removed.  The mark is a file beside the
// database, "<file>-damaged", made through the default VFS with the
// database's own permissions; where it cannot be made (a reader who may not
// write the folder) only the process that found the damage knows it, and
// that reader may not write the file anyway.
#pragma once

#include <sqlite3.h>

namespace zelk::os::registry {

inline constexpr int kChecksumBytes = 8;

// The layer's name for sqlite3_open_v2, registered on first use (not as the
// default VFS).  Null if SQLite has no default VFS to build on.
char const* CheckedVfsName();

// The suffix of the damage mark beside a database file.
inline constexpr char kDamagedSuffix[] = "-damaged";

}  // namespace zelk::os::registry
