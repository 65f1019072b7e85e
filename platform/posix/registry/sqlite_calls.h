// Holders for SQLite's connections and statements, and SQL run once, outside
// the store's statement cache (opening, making and upgrading a file).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

namespace zelk::os::registry {

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct DatabaseDeleter {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseDeleter>;

// Runs `sql` (any number of statements); a Windows error code.
long ExecScript(sqlite3* db, char const* sql);

// The first column of the first row of `sql` as an integer or a text.
long QueryOne(sqlite3* db, char const* sql, std::int64_t* number, std::string* text);

}  // namespace zelk::os::registry
