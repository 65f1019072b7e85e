// SQL run once, outside the store's statement cache.
#include "platform/posix/registry/sqlite_calls.h"

#include "platform/posix/registry/sqlite_errors.h"
#include "platform/registry.h"

namespace zelk::os::registry {

long ExecScript(sqlite3* db, char const* sql) {
    int const rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return ErrorFromSqlite(rc, sqlite3_system_errno(db));
}

long QueryOne(sqlite3* db, char const* sql, std::int64_t* number, std::string* text) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    StatementPtr statement(raw);
    if (rc != SQLITE_OK) {
        return ErrorFromSqlite(rc, sqlite3_system_errno(db));
    }
    rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW) {
        return ErrorFromSqlite(rc == SQLITE_DONE ? SQLITE_ERROR : rc, sqlite3_system_errno(db));
    }
    if (number) {
        *number = sqlite3_column_int64(raw, 0);
    }
    if (text) {
        auto const* bytes = sqlite3_column_text(raw, 0);
        text->assign(bytes ? reinterpret_cast<char const*>(bytes) : "");
    }
    return kErrorSuccess;
}

}  // namespace zelk::os::registry
