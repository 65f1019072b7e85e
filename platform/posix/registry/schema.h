// The registry file's format: its tables, its mark and version fields, the
// name order and conversions every connection registers, and bringing files
// of earlier versions up to date.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace zelk::os::registry {

using KeyId = std::int64_t;

// The hives; their ids are fixed when a database is made.  (Files made by
// earlier versions also hold a hive 1 for HKEY_CLASSES_ROOT, no longer read.)
inline constexpr KeyId kCurrentUserId = 2;
inline constexpr KeyId kLocalMachineId = 3;
inline constexpr KeyId kUsersId = 4;

// Marks the file as this library's registry (the bytes "ZELK"), so that a
// ZELK_REGISTRY pointing at some other SQLite database is refused rather
// than altered.
//
// The schema version (user_version): its low 16 bits are the version, the
// high 16 bits the oldest version that can still read the file (0: only its
// own).  Version 0 folded names A-Z only; 1 kept Windows-1252 names and
// text data and folded them in that page; 2 keeps names as UTF-8 and text
// data as UTF-16LE, as Windows does, compares names in Unicode upper case,
// and every page carries a checksum (checksum_vfs.h).  Earlier versions are
// brought up to 2 by the first process that may write them.  A later
// version's file is read only where it says version 2 can read it, and
// never written (kErrorAccessDenied), so it stays as it was.
inline constexpr std::uint32_t kApplicationId = 0x5A454C4B;
inline constexpr int kSchemaVersion = 2;

// Whether a file's user_version is a later version's, and whether that
// version says this one can still read the file.
constexpr bool IsLaterVersion(std::int64_t version) { return (version & 0xFFFF) > kSchemaVersion; }
constexpr bool MayReadLater(std::int64_t version) {
    std::int64_t const oldestReader = version >> 16;
    return oldestReader != 0 && oldestReader <= kSchemaVersion;
}

// What every connection needs: every version's name order and the
// conversions between them.
void AddFunctions(sqlite3* db);

// SQL that shows a reader who may not write an earlier version's file (of
// `version`) its names and text as the current version keeps them.
std::string EarlierAsCurrent(std::int64_t version);

// Room for the page checksums: a new (`empty`) file reserves it from its
// first page; an earlier version's file is rebuilt with it (VACUUM), before
// its schema is brought up to date, so a file of the current version always
// has it.  A Windows error code.
long AddChecksums(sqlite3* db, bool empty);

// Makes the schema in a new file, or brings an earlier version's up to date,
// in one write transaction; the caller holds the write turn.  A Windows
// error code.
long MakeOrUpgrade(sqlite3* db);

}  // namespace zelk::os::registry
