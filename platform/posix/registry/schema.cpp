// The registry file's format: its tables, its mark and version fields, the
// name order and conversions every connection registers, and bringing files
// of earlier versions up to date.
#include "platform/posix/registry/schema.h"

#include "platform/codepage.h"
#include "platform/posix/registry/checksum_vfs.h"
#include "platform/posix/registry/name_order.h"
#include "platform/posix/registry/sqlite_calls.h"
#include "platform/posix/registry/sqlite_errors.h"
#include "platform/registry.h"

#include <array>
#include <string_view>
#include <unordered_map>

namespace zelk::os::registry {

namespace {

// Names keep their spelling and compare with CompareNames.  AUTOINCREMENT
// keeps the id of a deleted key from being handed to a new one, so a handle
// that still names it sees the key as deleted.
constexpr char const kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE zelk_names,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE zelk_names,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'),"
    "  (3, 0, 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS');"
    "PRAGMA application_id = 1514490955;"
    "PRAGMA user_version = 2;";
static_assert(kApplicationId == 1514490955 && kSchemaVersion == 2);

// Windows-1252 folded to lower case: A-Z, the accented capitals C0-DE (not
// the multiplication sign D7), and the four capitals in 80-9F: Š Œ Ž Ÿ.
// Frozen file-format knowledge, not a code page: version 1 files' indexes
// were built in exactly this order, and SQLite needs it unchanged to read
// their tables until they are converted.
constexpr std::array<unsigned char, 256> kFold = [] {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c) {
        fold[c] = static_cast<unsigned char>(c);
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        fold[c] = static_cast<unsigned char>(c + 32);
    }
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7) {
            fold[c] = static_cast<unsigned char>(c + 32);
        }
    }
    fold[0x8A] = 0x9A;
    fold[0x8C] = 0x9C;
    fold[0x8E] = 0x9E;
    fold[0x9F] = 0xFF;
    return fold;
}();

// Version 1's comparison of Windows-1252 names, for its tables until they
// are converted.
int CompareCp1252(void*, int lengthA, void const* a, int lengthB, void const* b) {
    auto const* x = static_cast<unsigned char const*>(a);
    auto const* y = static_cast<unsigned char const*>(b);
    int const common = lengthA < lengthB ? lengthA : lengthB;
    for (int i = 0; i < common; ++i) {
        if (kFold[x[i]] != kFold[y[i]]) return kFold[x[i]] < kFold[y[i]] ? -1 : 1;
    }
    return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
}

int CompareUnicode(void*, int lengthA, void const* a, int lengthB, void const* b) {
    return CompareNames(std::string_view(static_cast<char const*>(a), static_cast<std::size_t>(lengthA)),
                        std::string_view(static_cast<char const*>(b), static_cast<std::size_t>(lengthB)));
}

// zelk_utf8(name): a Windows-1252 name of an earlier version in UTF-8.
void ToUtf8(sqlite3_context* context, int, sqlite3_value** arguments) {
    auto const* bytes = reinterpret_cast<char const*>(sqlite3_value_text(arguments[0]));
    std::string const text =
        Cp1252ToUtf8(std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(arguments[0]))));
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// zelk_utf16(type, data): an earlier version's Windows-1252 text data in
// UTF-16LE; data of other types as they are.
void ToUtf16(sqlite3_context* context, int, sqlite3_value** arguments) {
    std::int64_t const type = sqlite3_value_int64(arguments[0]);
    if (type != 1 && type != 2 && type != 7) {  // REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ
        sqlite3_result_value(context, arguments[1]);
        return;
    }
    auto const* bytes = static_cast<char const*>(sqlite3_value_blob(arguments[1]));
    std::string const text = Cp1252ToUtf16le(
        std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(arguments[1]))));
    sqlite3_result_blob(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

void AddFunctions(sqlite3* db) {
    sqlite3_create_collation_v2(db, "zelk_names", SQLITE_UTF8, nullptr, CompareUnicode, nullptr);
    sqlite3_create_collation_v2(db, "zelk_nocase", SQLITE_UTF8, nullptr, CompareCp1252, nullptr);
    int const flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "zelk_utf8", 1, flags, nullptr, ToUtf8, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zelk_utf16", 2, flags, nullptr, ToUtf16, nullptr, nullptr, nullptr);
}

// How a reader that may not write an earlier version's file sees it: names
// and text as the current version keeps them, names compared as that
// version compared them (version 0: A-Z only).  Temporary views, so they
// hide the file's tables from this connection alone; they convert only
// while the file is of that version, so a writer that brings it up to date
// meanwhile does not get its names converted twice.
std::string EarlierAsCurrent(std::int64_t version) {
    std::string const collation = version == 0 ? "NOCASE" : "zelk_names";
    std::string const earlier = "(SELECT user_version < 2 FROM pragma_user_version)";
    return "CREATE TEMP VIEW keys AS SELECT id, parent, CASE WHEN " + earlier +
           " THEN zelk_utf8(name) ELSE name END COLLATE " + collation +
           " AS name FROM main.keys;"
           "CREATE TEMP VIEW vals AS SELECT key, CASE WHEN " +
           earlier + " THEN zelk_utf8(name) ELSE name END COLLATE " + collation + " AS name, type, CASE WHEN " +
           earlier + " THEN zelk_utf16(type, data) ELSE data END AS data FROM main.vals;";
}

long AddChecksums(sqlite3* db, bool empty) {
    int reserved = -1;  // asks without changing
    sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved);
    if (reserved == kChecksumBytes) {
        return kErrorSuccess;
    }
    reserved = kChecksumBytes;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved);
    return empty ? kErrorSuccess : ExecScript(db, "VACUUM");
}

// One write transaction: two processes that start on a new file at once
// make it once.  A new file is still in rollback mode here, so the mark
// lands in the file itself.
long MakeOrUpgrade(sqlite3* db) {
    if (long const r = ExecScript(db, "BEGIN IMMEDIATE"); r != kErrorSuccess) {
        return r;
    }
    std::int64_t id = 0, version = 0, objects = 0;
    long result = QueryOne(db, "PRAGMA application_id", &id, nullptr);
    if (result == kErrorSuccess) {
        result = QueryOne(db, "PRAGMA user_version", &version, nullptr);
    }
    if (result == kErrorSuccess) {
        result = QueryOne(db, "SELECT count(*) FROM sqlite_master", &objects, nullptr);
    }
    if (result == kErrorSuccess && id == 0 && objects == 0) {
        result = ExecScript(db, kSchema);
    } else if (result == kErrorSuccess && id == kApplicationId && version < kSchemaVersion) {
        // Names and text data move from Windows-1252 to Unicode.  Names
        // that folded apart before and are one name now merge: the first
        // key (by age) keeps its spelling and takes the other's sub-keys;
        // of two values the older key's stays.  Ids are kept, so the
        // handles of processes still running stay right.
        result = ExecScript(db, "ALTER TABLE keys RENAME TO old_keys; ALTER TABLE vals RENAME TO old_vals;");
        if (result == kErrorSuccess) {
            result = ExecScript(db, kSchema);
        }
        std::unordered_map<KeyId, KeyId> moved;
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db, "SELECT id, parent, zelk_utf8(name) FROM old_keys WHERE parent <> 0 ORDER BY id", -1,
                           &raw, nullptr);
        StatementPtr old(raw);
        sqlite3_prepare_v2(db, "INSERT INTO keys(id, parent, name) VALUES(?1, ?2, ?3) ON CONFLICT DO NOTHING", -1, &raw,
                           nullptr);
        StatementPtr insert(raw);
        sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2", -1, &raw, nullptr);
        StatementPtr find(raw);
        if (result == kErrorSuccess && (!old || !insert || !find)) {
            result = kErrorBadDb;
        }
        int rc = SQLITE_DONE;
        while (result == kErrorSuccess && (rc = sqlite3_step(old.get())) == SQLITE_ROW) {
            KeyId const key = sqlite3_column_int64(old.get(), 0);
            KeyId parent = sqlite3_column_int64(old.get(), 1);
            if (auto const it = moved.find(parent); it != moved.end()) {
                parent = it->second;
            }
            sqlite3_bind_int64(insert.get(), 1, key);
            sqlite3_bind_int64(insert.get(), 2, parent);
            sqlite3_bind_value(insert.get(), 3, sqlite3_column_value(old.get(), 2));
            rc = sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
            if (rc == SQLITE_DONE && sqlite3_changes(db) == 0) {
                sqlite3_bind_int64(find.get(), 1, parent);
                sqlite3_bind_value(find.get(), 2, sqlite3_column_value(old.get(), 2));
                rc = sqlite3_step(find.get());
                if (rc == SQLITE_ROW) {
                    moved[key] = sqlite3_column_int64(find.get(), 0);
                    rc = SQLITE_DONE;
                }
                sqlite3_reset(find.get());
            }
            if (rc != SQLITE_DONE) {
                result = ErrorFromSqlite(rc, sqlite3_system_errno(db));
            }
        }
        if (result == kErrorSuccess && rc != SQLITE_DONE) {
            result = ErrorFromSqlite(rc, sqlite3_system_errno(db));
        }
        old.reset();
        sqlite3_prepare_v2(
            db,
            "INSERT INTO vals SELECT ?1, zelk_utf8(name), type, zelk_utf16(type, data) FROM old_vals WHERE key = ?2 "
            "ON CONFLICT DO NOTHING",
            -1, &raw, nullptr);
        StatementPtr values(raw);
        sqlite3_prepare_v2(db, "SELECT id FROM old_keys ORDER BY id", -1, &raw, nullptr);
        StatementPtr keys(raw);
        while (result == kErrorSuccess && values && keys && (rc = sqlite3_step(keys.get())) == SQLITE_ROW) {
            KeyId const key = sqlite3_column_int64(keys.get(), 0);
            auto const it = moved.find(key);
            sqlite3_bind_int64(values.get(), 1, it == moved.end() ? key : it->second);
            sqlite3_bind_int64(values.get(), 2, key);
            rc = sqlite3_step(values.get());
            sqlite3_reset(values.get());
            if (rc != SQLITE_DONE) {
                result = ErrorFromSqlite(rc, sqlite3_system_errno(db));
            }
        }
        keys.reset();
        values.reset();
        insert.reset();
        find.reset();
        if (result == kErrorSuccess) {
            result =
                ExecScript(db,
                           "UPDATE sqlite_sequence SET seq = max(seq, (SELECT seq FROM sqlite_sequence WHERE name = "
                           "'old_keys')) WHERE name = 'keys';"
                           "DROP TABLE old_vals; DROP TABLE old_keys;");
        }
    } else if (result == kErrorSuccess) {
        result = id == kApplicationId ? kErrorSuccess : kErrorBadDb;  // made meanwhile, or someone else's
    }
    if (result == kErrorSuccess) {
        result = ExecScript(db, "COMMIT");
    }
    if (result != kErrorSuccess) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return result;
}

}  // namespace zelk::os::registry
