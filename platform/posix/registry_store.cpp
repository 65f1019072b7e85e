#include "platform/posix/registry_store.h"

#include "platform/codepage.h"
#include "platform/posix/registry_vfs.h"
#include "platform/registry.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace zelk::os::registry {

namespace {

// Marks the file as this library's registry (the bytes "ZELK"), so that a
// ZELK_REGISTRY pointing at some other SQLite database is refused rather
// than altered.
//
// The schema version (user_version): its low 16 bits are the version, the
// high 16 bits the oldest version that can still read the file (0: only its
// own).  Version 0 folded names A-Z only; 1 kept Windows-1252 names and
// text data and folded them in that page; 2 keeps names as UTF-8 and text
// data as UTF-16LE, as Windows does, compares names in Unicode upper case,
// and every page carries a checksum (registry_vfs.h).  Earlier versions are
// brought up to 2 by the first process that may write them.  A later
// version's file is read only where it says version 2 can read it, and
// never written (kErrorAccessDenied), so it stays as it was.
constexpr std::uint32_t kApplicationId = 0x5A454C4B;
constexpr int kSchemaVersion = 2;

// How often a journal-mode switch that met another process's lock tries again.
constexpr int kSwitchRetryMs = 5;

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

// How a reader that may not write an earlier version's file sees it: names
// and text as the current version keeps them, names compared as that
// version compared them (version 0: A-Z only).  Temporary views, so they
// hide the file's tables from this connection alone; they convert only
// while the file is of that version, so a writer that brings it up to date
// meanwhile does not get its names converted twice.
std::string EarlierAsCurrent(std::int64_t version) {
    std::string const collation = version == 0 ? "NOCASE" : "zelk_names";
    std::string const earlier = "(SELECT user_version < 2 FROM pragma_user_version)";
    return "CREATE TEMP VIEW keys AS SELECT id, parent, CASE WHEN " + earlier + " THEN zelk_utf8(name) ELSE name END COLLATE " +
           collation + " AS name FROM main.keys;"
           "CREATE TEMP VIEW vals AS SELECT key, CASE WHEN " + earlier + " THEN zelk_utf8(name) ELSE name END COLLATE " +
           collation + " AS name, type, CASE WHEN " + earlier + " THEN zelk_utf16(type, data) ELSE data END AS data FROM main.vals;";
}

// The sub-tree of ?1, ?1 included.
#define ZELK_SUBTREE "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN t ON keys.parent = t.id) "

// In the order of RegistryStore::Statement.
constexpr char const* kStatementText[] = {
    "SELECT id FROM keys WHERE parent = ?1 AND name = ?2",
    "INSERT INTO keys(parent, name) VALUES(?1, ?2)",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2",
    // The EXISTS makes a write to a deleted key change nothing, which the
    // caller reads as "key deleted".  An existing value keeps its spelling.
    "INSERT INTO vals(key, name, type, data) SELECT ?1, ?2, ?3, ?4 "
    "WHERE EXISTS(SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name LIMIT 1 OFFSET ?2",
    "SELECT name FROM keys WHERE parent = ?1 AND name > ?2 ORDER BY name LIMIT 1",
    "SELECT name, type, data FROM vals WHERE key = ?1 AND name > ?2 ORDER BY name LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM vals WHERE key = ?1 AND name = ?2",
    "DELETE FROM keys WHERE id = ?1",
    ZELK_SUBTREE "DELETE FROM vals WHERE key IN t",
    ZELK_SUBTREE "DELETE FROM keys WHERE id IN t AND (?2 OR id <> ?1)",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SAVEPOINT step",
    "RELEASE step",
    "ROLLBACK TO step",
};
#undef ZELK_SUBTREE

// Windows-1252 folded to lower case: A-Z, the accented capitals C0-DE (not
// the multiplication sign D7), and the four capitals in 80-9F: Š Œ Ž Ÿ.
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
    std::string const text = Cp1252ToUtf8(std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(arguments[0]))));
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
    std::string const text = Cp1252ToUtf16le(std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(arguments[1]))));
    sqlite3_result_blob(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// What every connection needs: both versions' name orders and the
// conversions between them.
void AddFunctions(sqlite3* db) {
    sqlite3_create_collation_v2(db, "zelk_names", SQLITE_UTF8, nullptr, CompareUnicode, nullptr);
    sqlite3_create_collation_v2(db, "zelk_nocase", SQLITE_UTF8, nullptr, CompareCp1252, nullptr);
    int const flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "zelk_utf8", 1, flags, nullptr, ToUtf8, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zelk_utf16", 2, flags, nullptr, ToUtf16, nullptr, nullptr, nullptr);
}

long ExecScript(sqlite3* db, char const* sql) {
    int const rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return ErrorFromSqlite(rc, sqlite3_system_errno(db));
}

// The first column of the first row of `sql` as an integer or a text.
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

// Text bound without a copy; an empty view still binds '' (a null pointer
// would bind SQL NULL).
int BindName(sqlite3_stmt* statement, int index, std::string_view name) {
    return sqlite3_bind_text(statement, index, name.empty() ? "" : name.data(), static_cast<int>(name.size()),
                             SQLITE_STATIC);
}

long ErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return kErrorAccessDenied;
    case ENOENT:
    case ENOTDIR:
        return kErrorPathNotFound;
    default:
        return kErrorCantOpen;
    }
}

// What the first bytes of a registry file say (`got` of them read), read
// before the file is opened as a database, so that a file that is not ours
// is never opened by SQLite (which would switch or extend it, or make side
// files beside it).
enum class Header { kEmpty, kOurs, kAskSqlite, kForeign };

Header ReadHeader(unsigned char const (&header)[100], long got, std::string const& path, bool& wal) {
    wal = false;
    if (got == 0) {
        return Header::kEmpty;
    }
    if (got != static_cast<long>(sizeof(header)) || std::memcmp(header, "SQLite format 3", 16) != 0) {
        return Header::kForeign;
    }
    wal = header[18] == 2;
    std::uint32_t const id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                             (std::uint32_t{header[70]} << 8) | header[71];
    if (id == kApplicationId) {
        return Header::kOurs;
    }
    // This library marks a new file in its first commit, made before the
    // file goes into WAL mode, so the mark is in the file itself.  Files of
    // earlier versions went into WAL mode first: their mark may still be in
    // a log not yet folded in.  Only then does SQLite look (the side files
    // are there already).
    struct stat log {};
    if (id == 0 && wal && stat((path + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
        return Header::kAskSqlite;
    }
    return Header::kForeign;
}

}  // namespace

namespace {

// The UTF-16 units of a UTF-8 name, upcased, one at a time.  A byte that
// starts no character (none is stored) stands for itself.
class UpperUnits {
public:
    explicit UpperUnits(std::string_view text) : m_text(text) {}
    bool Next(char16_t& unit) {
        if (m_low != 0) {
            unit = std::exchange(m_low, 0);
            return true;
        }
        if (m_pos >= m_text.size()) {
            return false;
        }
        auto const lead = static_cast<unsigned char>(m_text[m_pos]);
        if (lead < 0x80) {
            ++m_pos;
            unit = static_cast<char16_t>(AsciiUpper(static_cast<char>(lead)));
            return true;
        }
        std::size_t const at = m_pos;
        char32_t const c = DecodeUtf8(m_text, m_pos);
        if (c == kNoCharacter) {
            unit = static_cast<char16_t>(static_cast<unsigned char>(m_text[at]));
        } else if (c > 0xFFFF) {
            unit = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            m_low = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit = UpcaseUtf16(static_cast<char16_t>(c));
        }
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    char16_t m_low = 0;
};

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    // The order of CompareNamesNoCase, decoding the UTF-8 names as it goes.
    UpperUnits x(a), y(b);
    int tie = 0;
    for (;;) {
        char16_t p = 0, q = 0;
        bool const more = x.Next(p);
        if (more != y.Next(q)) {
            return more ? 1 : -1;
        }
        if (!more) {
            return tie;
        }
        if (int const order = CompareNameUnits(p, q, tie)) {
            return order;
        }
    }
}

long ErrorFromSqlite(int code, int systemErrno) {
    if (code == SQLITE_IOERR_DATA) {
        return kErrorBadDb;  // a page failed its checksum, or the file is marked damaged
    }
    switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return kErrorSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kErrorLockViolation;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return kErrorAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:  // a statement that does not fit the file's tables
        return kErrorBadDb;
    case SQLITE_FULL:
        return kErrorDiskFull;
    case SQLITE_NOMEM:
        return kErrorOutOfMemory;
    case SQLITE_CANTOPEN:
        return ErrorFromErrno(systemErrno);
    case SQLITE_IOERR:
        switch (systemErrno) {
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case ENOSPC:
            return kErrorDiskFull;
        default:
            return kErrorRegistryIoFailed;
        }
    default:
        return kErrorRegistryIoFailed;
    }
}

// One use of a cached statement: reset and unbound on every way out, so no
// statement keeps a read snapshot open between calls (other processes'
// writes must show up in the next call).
class RegistryStore::Use {
public:
    Use(RegistryStore& store, Statement which) : m_statement(store.m_statements[which].get()) {}
    ~Use() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    Use(Use const&) = delete;
    Use& operator=(Use const&) = delete;
    sqlite3_stmt* operator*() const noexcept { return m_statement; }

private:
    sqlite3_stmt* m_statement;
};

// The write turn for one write, unless a transaction holds it already;
// released when the write left no transaction open.
class RegistryStore::Turn {
public:
    explicit Turn(RegistryStore& store)
        : m_store(store), m_result(store.InWrite() ? kErrorSuccess : store.m_turn.Take(store.m_busyTimeout)) {}
    ~Turn() { m_store.EndTurnIfDone(); }
    Turn(Turn const&) = delete;
    Turn& operator=(Turn const&) = delete;
    long Result() const noexcept { return m_result; }

private:
    RegistryStore& m_store;
    long m_result;
};

// A write transaction that rolls back unless committed.  BEGIN IMMEDIATE
// takes the write lock up front, so two processes never deadlock upgrading
// their read locks.  Inside a transaction that is already open (a
// RegistryTransaction) it is a savepoint: a failed step undoes only itself.
class RegistryStore::Transaction {
public:
    explicit Transaction(RegistryStore& store)
        : m_store(store), m_turn(store), m_nested(sqlite3_get_autocommit(store.m_db.get()) == 0) {
        m_result = m_turn.Result();
        if (m_result == kErrorSuccess) {
            Use begin(store, m_nested ? kSavepoint : kBegin);
            m_result = store.ToWindowsError(sqlite3_step(*begin));
        }
        m_open = m_result == kErrorSuccess;
    }
    ~Transaction() {
        if (m_open) {
            if (m_nested) {
                Use undo(m_store, kRollbackTo);
                sqlite3_step(*undo);
            }
            Use end(m_store, m_nested ? kRelease : kRollback);
            sqlite3_step(*end);
        }
    }
    Transaction(Transaction const&) = delete;
    Transaction& operator=(Transaction const&) = delete;
    long Result() const noexcept { return m_result; }
    long Commit() {
        Use commit(m_store, m_nested ? kRelease : kCommit);
        long const result = m_store.ToWindowsError(sqlite3_step(*commit));
        m_open = result != kErrorSuccess;
        return result;
    }

private:
    RegistryStore& m_store;
    Turn m_turn;
    bool m_nested;
    long m_result;
    bool m_open;
};

RegistryStore::~RegistryStore() { Close(); }

long RegistryStore::ToWindowsError(int code) { return ErrorFromSqlite(code, m_db ? sqlite3_system_errno(m_db.get()) : 0); }

void RegistryStore::EndTurnIfDone() noexcept {
    if (!InWrite()) {
        m_turn.Release();
    }
}

void RegistryStore::Close(bool quick) noexcept {
    for (auto& statement : m_statements) {
        statement.reset();
    }
    if (quick && m_db) {
        // Closing the process's last connection would fold the log into the
        // file, which may take long; the next connection does it when due.
        sqlite3_db_config(m_db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    m_db.reset();
    m_turn.Detach();
    for (Cursor& cursor : m_cursors) {
        cursor = Cursor();
    }
}

long RegistryStore::Open(std::string const& path, Role role, int busyTimeout) {
    if (m_db) {
        return kErrorSuccess;
    }
    m_empty = false;
    if (path.empty()) {
        return kErrorPathNotFound;
    }
    long const result = Connect(path, role, busyTimeout);
    if (result != kErrorSuccess) {
        Close();
    }
    return result;
}

long RegistryStore::Connect(std::string const& path, Role role, int busyTimeout) {
    unsigned const fileMode = role == Role::kMachine ? 0644 : 0600;
    // Other threads of this process may have the file open: it is opened
    // and made only where no close can drop their locks (registry_lock.h).
    unsigned char start[100];
    long got = ReadFileStart(path, start, sizeof(start));
    if (got < 0 && errno == ENOENT) {
        long const made = MakeParentFolders(path, role == Role::kMachine ? 0755 : 0700);
        // Whatever the umask says: every user reads the machine file.
        int const error = made == kErrorSuccess ? MakeFile(path, fileMode) : 0;
        if (made == kErrorAccessDenied || (made == kErrorSuccess && ErrorFromErrno(error) == kErrorAccessDenied)) {
            m_empty = true;  // not there, and not ours to make: an empty hive
            return kErrorSuccess;
        } else if (made != kErrorSuccess) {
            return made;
        } else if (error != 0 && error != EEXIST) {
            return ErrorFromErrno(error);
        }
        got = ReadFileStart(path, start, sizeof(start));
    }
    if (got < 0) {
        return ErrorFromErrno(errno);
    }
    bool wal = false;
    Header const header = ReadHeader(start, got, path, wal);
    if (header == Header::kForeign) {
        return kErrorBadDb;
    }
    bool const network = IsNetworkFileSystem(path);

    if (long const opened = OpenDatabase(path, SQLITE_OPEN_READWRITE, busyTimeout); opened != kErrorSuccess) {
        return opened;
    }
    sqlite3* const raw = m_db.get();
    bool const readOnly = m_readOnly;
    m_busyTimeout = busyTimeout;
    if (!readOnly) {
        m_turn.Attach(path);
    }
    if (network && wal && readOnly) {
        // Reading a WAL file maps its shared memory, which other hosts do not
        // see; only a writer may switch the file to the rollback journal.
        return kErrorCantOpen;
    }

    std::int64_t id = 0;
    std::int64_t version = 0;
    if (header != Header::kEmpty) {
        if (long const r = QueryOne(raw, "PRAGMA application_id", &id, nullptr); r != kErrorSuccess) {
            return r;
        }
        if (long const r = QueryOne(raw, "PRAGMA user_version", &version, nullptr); r != kErrorSuccess) {
            return r;
        }
    }
    if (id == kApplicationId && (version & 0xFFFF) > kSchemaVersion) {
        // A later version's file: read where it says this version can, as
        // a reader only (so nothing, not even a log checkpoint, changes it).
        std::int64_t const oldestReader = version >> 16;
        if (oldestReader == 0 || oldestReader > kSchemaVersion) {
            return kErrorBadDb;
        }
        if (long const reopened = OpenDatabase(path, SQLITE_OPEN_READONLY, busyTimeout); reopened != kErrorSuccess) {
            return reopened;
        }
        return Prepare();
    }
    if (id != kApplicationId || version < kSchemaVersion) {
        if (readOnly) {
            if (id == kApplicationId) {
                // An earlier version's file, not ours to upgrade: read as it
                // is, through views that give names and text as the current
                // version keeps them.
                if (long const r = ExecScript(raw, EarlierAsCurrent(version).c_str()); r != kErrorSuccess) {
                    return r;
                }
            } else if (header == Header::kEmpty) {
                Close();
                m_empty = true;
                return kErrorSuccess;
            } else {
                return kErrorBadDb;
            }
        } else if (long const checked = AddChecksums(header == Header::kEmpty); checked != kErrorSuccess) {
            return checked;
        } else if (long const made = MakeOrUpgrade(); made != kErrorSuccess) {
            return made;
        }
    }
    if (!readOnly) {
        // WAL for the user's own file on a local disk: readers never wait
        // for writers.  The rollback journal where readers may lack write
        // access (the machine file) or shared memory would not reach the
        // other hosts (a network file system).
        bool const useWal = role == Role::kUser && !network;
        char const* const wanted = useWal ? "wal" : "delete";
        char const* const setMode = useWal ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE";
        std::string mode;
        long r = QueryOne(raw, "PRAGMA journal_mode", nullptr, &mode);
        if (r == kErrorSuccess && mode != wanted) {
            // A switch takes the write lock on top of a read, where SQLite
            // does not wait: another process making or switching a new file
            // at the same moment would fail this open.  The switch waits
            // for its turn as a write does, then here for readers of a
            // rollback journal (who leave within a statement).
            Turn turn(*this);
            r = turn.Result();
            if (r == kErrorSuccess) {
                r = QueryOne(raw, setMode, nullptr, &mode);
            }
            for (int waited = 0; r == kErrorLockViolation && waited < busyTimeout; waited += kSwitchRetryMs) {
                sqlite3_sleep(kSwitchRetryMs);
                r = QueryOne(raw, setMode, nullptr, &mode);
            }
        }
        if (r != kErrorSuccess) {
            return r;
        }
        if (mode != wanted) {
            return kErrorLockViolation;  // others have it open in the other mode
        }
        if (mode == "wal") {
            // The log and its index stay beside the file (emptied when the
            // last writer closes): a reader who may not make them can read.
            int persist = 1;
            sqlite3_file_control(raw, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
            ExecScript(raw, "PRAGMA journal_size_limit = 1048576");
        }
    }
    // FULL: the log (or the file) is synced at every commit, so a written
    // value survives a crash of the machine too, not only of the process.
    if (long const r = ExecScript(raw, "PRAGMA synchronous = FULL"); r != kErrorSuccess) {
        return r;
    }
    return Prepare();
}

// Makes the schema in a new file, or brings an earlier version's up to date,
// in one write transaction: two processes that start on a new file at once
// make it once.  A new file is still in rollback mode here, so the mark
// lands in the file itself.
long RegistryStore::MakeOrUpgrade() {
    sqlite3* const db = m_db.get();
    Turn turn(*this);
    if (turn.Result() != kErrorSuccess) {
        return turn.Result();
    }
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
        sqlite3_prepare_v2(db, "SELECT id, parent, zelk_utf8(name) FROM old_keys WHERE parent <> 0 ORDER BY id", -1, &raw, nullptr);
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
                result = ToWindowsError(rc);
            }
        }
        if (result == kErrorSuccess && rc != SQLITE_DONE) {
            result = ToWindowsError(rc);
        }
        old.reset();
        sqlite3_prepare_v2(db, "INSERT INTO vals SELECT ?1, zelk_utf8(name), type, zelk_utf16(type, data) FROM old_vals WHERE key = ?2 "
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
                result = ToWindowsError(rc);
            }
        }
        keys.reset();
        values.reset();
        insert.reset();
        find.reset();
        if (result == kErrorSuccess) {
            result = ExecScript(db,
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

long RegistryStore::OpenDatabase(std::string const& path, int flags, int busyTimeout) {
    m_db.reset();
    sqlite3* raw = nullptr;
    // NOMUTEX: a connection belongs to one thread at a time.
    int const rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, CheckedVfsName());
    m_db.reset(raw);
    if (rc != SQLITE_OK) {
        return raw ? ErrorFromSqlite(rc, sqlite3_system_errno(raw)) : kErrorOutOfMemory;
    }
    sqlite3_extended_result_codes(raw, 1);  // a failed page checksum is SQLITE_IOERR_DATA
    sqlite3_busy_timeout(raw, busyTimeout);
    AddFunctions(raw);
    m_readOnly = sqlite3_db_readonly(raw, "main") == 1;
    return kErrorSuccess;
}

// Room for the page checksums: a new file reserves it from its first page;
// an earlier version's file is rebuilt with it (VACUUM), before its schema
// is brought up to date, so a file of the current version always has it.
long RegistryStore::AddChecksums(bool empty) {
    int reserved = -1;  // asks without changing
    sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved);
    if (reserved == kChecksumBytes) {
        return kErrorSuccess;
    }
    reserved = kChecksumBytes;
    sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved);
    return empty ? kErrorSuccess : ExecScript(m_db.get(), "VACUUM");
}

long RegistryStore::Prepare() {
    static_assert(sizeof(kStatementText) / sizeof(kStatementText[0]) == kStatementCount);
    for (int i = 0; i < kStatementCount; ++i) {
        sqlite3_stmt* raw = nullptr;
        int const rc = sqlite3_prepare_v3(m_db.get(), kStatementText[i], -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        m_statements[i].reset(raw);
        // A reader's views of an earlier version's file take no writes.
        if (rc != SQLITE_OK && !m_readOnly) {
            return ToWindowsError(rc);
        }
    }
    return kErrorSuccess;
}

std::uint32_t RegistryStore::DataVersion() {
    unsigned version = 0;
    sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

long RegistryStore::Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result) {
    if (!m_db) {
        return kErrorFileNotFound;  // an empty store
    }
    KeyId current = parent;
    for (std::string_view const name : path) {
        Use find(*this, kFindChild);
        sqlite3_bind_int64(*find, 1, current);
        BindName(*find, 2, name);
        int const rc = sqlite3_step(*find);
        if (rc == SQLITE_DONE) {
            // Opening below a key that another handle deleted is "deleted",
            // not "not found".
            if (current == parent) {
                long const exists = Exists(parent);
                return exists == kErrorSuccess ? kErrorFileNotFound : exists;
            }
            return kErrorFileNotFound;
        }
        if (rc != SQLITE_ROW) {
            return ToWindowsError(rc);
        }
        current = sqlite3_column_int64(*find, 0);
    }
    result = current;
    return kErrorSuccess;
}

long RegistryStore::Create(KeyId parent, std::vector<std::string_view> const& path, KeyId& result) {
    if (!m_db) {
        return kErrorAccessDenied;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    Transaction transaction(*this);
    if (transaction.Result() != kErrorSuccess) {
        return transaction.Result();
    }
    if (long const exists = Exists(parent); exists != kErrorSuccess) {
        return exists;
    }
    KeyId current = parent;
    for (std::string_view const name : path) {
        Use find(*this, kFindChild);
        sqlite3_bind_int64(*find, 1, current);
        BindName(*find, 2, name);
        int rc = sqlite3_step(*find);
        if (rc == SQLITE_ROW) {
            current = sqlite3_column_int64(*find, 0);
            continue;
        }
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
        Use insert(*this, kInsertChild);
        sqlite3_bind_int64(*insert, 1, current);
        BindName(*insert, 2, name);
        rc = sqlite3_step(*insert);
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
        current = sqlite3_last_insert_rowid(m_db.get());
    }
    if (long const committed = transaction.Commit(); committed != kErrorSuccess) {
        return committed;
    }
    result = current;
    return kErrorSuccess;
}

long RegistryStore::Exists(KeyId key) {
    if (!m_db) {
        return kErrorSuccess;  // an empty store
    }
    Use exists(*this, kKeyExists);
    sqlite3_bind_int64(*exists, 1, key);
    int const rc = sqlite3_step(*exists);
    if (rc == SQLITE_ROW) {
        return kErrorSuccess;
    }
    return rc == SQLITE_DONE ? kErrorKeyDeleted : ToWindowsError(rc);
}

long RegistryStore::QueryValue(KeyId key, std::string_view name, std::uint32_t* type, std::string* data) {
    if (!m_db) {
        return kErrorFileNotFound;  // an empty store
    }
    {
        Use query(*this, kQueryValue);
        sqlite3_bind_int64(*query, 1, key);
        BindName(*query, 2, name);
        int const rc = sqlite3_step(*query);
        if (rc == SQLITE_ROW) {
            if (type) {
                *type = static_cast<std::uint32_t>(sqlite3_column_int64(*query, 0));
            }
            if (data) {
                auto const* bytes = static_cast<char const*>(sqlite3_column_blob(*query, 1));
                data->assign(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(*query, 1)));
            }
            return kErrorSuccess;
        }
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorFileNotFound : exists;
}

long RegistryStore::SetValue(KeyId key, std::string_view name, std::uint32_t type, unsigned char const* data,
                             std::uint32_t size) {
    if (!m_db) {
        return kErrorAccessDenied;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    Turn turn(*this);
    if (turn.Result() != kErrorSuccess) {
        return turn.Result();
    }
    Use set(*this, kSetValue);
    sqlite3_bind_int64(*set, 1, key);
    BindName(*set, 2, name);
    sqlite3_bind_int64(*set, 3, type);
    // A null pointer would bind SQL NULL; an empty value is an empty blob.
    static unsigned char const kNothing = 0;
    sqlite3_bind_blob(*set, 4, size != 0 ? data : &kNothing, static_cast<int>(size), SQLITE_STATIC);
    int const rc = sqlite3_step(*set);
    if (rc != SQLITE_DONE) {
        return ToWindowsError(rc);
    }
    return sqlite3_changes(m_db.get()) == 0 ? kErrorKeyDeleted : kErrorSuccess;
}

template <class Read>
long RegistryStore::EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read) {
    if (!m_db) {
        return kErrorNoMoreItems;  // an empty store
    }
    Statement const next = which == kEnumKey ? kNextKey : kNextValue;
    Cursor* cursor = nullptr;
    for (Cursor& c : m_cursors) {
        if (c.which == which && c.key == key && c.index + 1 == index) {
            cursor = &c;
        }
    }
    {
        // The row after the name read last, if nothing changed since: the
        // data version (read inside the statement's own read transaction)
        // moves with every change, by this connection or any other.
        if (cursor) {
            Use step(*this, next);
            sqlite3_bind_int64(*step, 1, key);
            BindName(*step, 2, cursor->name);
            int const rc = sqlite3_step(*step);
            if ((rc == SQLITE_ROW || rc == SQLITE_DONE) && DataVersion() == cursor->version) {
                if (rc == SQLITE_DONE) {
                    cursor->key = 0;
                    return kErrorNoMoreItems;  // the key is there: nothing changed
                }
                read(*step);
                cursor->index = index;
                cursor->name.assign(reinterpret_cast<char const*>(sqlite3_column_text(*step, 0)),
                                    static_cast<std::size_t>(sqlite3_column_bytes(*step, 0)));
                return kErrorSuccess;
            }
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                return ToWindowsError(rc);
            }
        }
        Use enumerate(*this, which);
        sqlite3_bind_int64(*enumerate, 1, key);
        sqlite3_bind_int64(*enumerate, 2, index);
        int const rc = sqlite3_step(*enumerate);
        if (rc == SQLITE_ROW) {
            read(*enumerate);
            if (!cursor) {
                cursor = &m_cursors[m_nextCursor];
                m_nextCursor = (m_nextCursor + 1) % kCursors;
            }
            cursor->which = which;
            cursor->key = key;
            cursor->index = index;
            cursor->version = DataVersion();
            cursor->name.assign(reinterpret_cast<char const*>(sqlite3_column_text(*enumerate, 0)),
                                static_cast<std::size_t>(sqlite3_column_bytes(*enumerate, 0)));
            return kErrorSuccess;
        }
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorNoMoreItems : exists;
}

namespace {

void AssignColumn(std::string& to, sqlite3_stmt* row, int column, void const* bytes) {
    to.assign(bytes ? static_cast<char const*>(bytes) : "", static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
}

}  // namespace

long RegistryStore::EnumKey(KeyId key, std::uint32_t index, std::string& name) {
    return EnumRow(kEnumKey, key, index, [&](sqlite3_stmt* row) { AssignColumn(name, row, 0, sqlite3_column_text(row, 0)); });
}

long RegistryStore::EnumValue(KeyId key, std::uint32_t index, std::string& name, std::uint32_t& type,
                              std::string& data) {
    return EnumRow(kEnumValue, key, index, [&](sqlite3_stmt* row) {
        AssignColumn(name, row, 0, sqlite3_column_text(row, 0));
        type = static_cast<std::uint32_t>(sqlite3_column_int64(row, 1));
        AssignColumn(data, row, 2, sqlite3_column_blob(row, 2));
    });
}

long RegistryStore::DeleteValue(KeyId key, std::string_view name) {
    if (!m_db) {
        return kErrorFileNotFound;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    Turn turn(*this);
    if (turn.Result() != kErrorSuccess) {
        return turn.Result();
    }
    {
        Use remove(*this, kDeleteValue);
        sqlite3_bind_int64(*remove, 1, key);
        BindName(*remove, 2, name);
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    if (sqlite3_changes(m_db.get()) != 0) {
        return kErrorSuccess;
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorFileNotFound : exists;
}

long RegistryStore::BeginWrite() {
    if (!m_db) {
        return kErrorAccessDenied;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    // The turn stays taken until the transaction ends.
    if (long const taken = m_turn.Take(m_busyTimeout); taken != kErrorSuccess) {
        return taken;
    }
    long result;
    {
        Use begin(*this, kBegin);
        result = ToWindowsError(sqlite3_step(*begin));
    }
    EndTurnIfDone();
    return result;
}

long RegistryStore::CommitWrite() {
    long result;
    {
        Use commit(*this, kCommit);
        result = ToWindowsError(sqlite3_step(*commit));
    }
    EndTurnIfDone();
    return result;
}

void RegistryStore::RollbackWrite() noexcept {
    if (m_db && sqlite3_get_autocommit(m_db.get()) == 0) {
        Use rollback(*this, kRollback);
        sqlite3_step(*rollback);
    }
    EndTurnIfDone();
}

long RegistryStore::DeleteKey(KeyId key) {
    if (!m_db) {
        return kErrorAccessDenied;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    Transaction transaction(*this);
    if (transaction.Result() != kErrorSuccess) {
        return transaction.Result();
    }
    {
        Use children(*this, kHasChildren);
        sqlite3_bind_int64(*children, 1, key);
        int const rc = sqlite3_step(*children);
        if (rc == SQLITE_ROW) {
            return kErrorAccessDenied;  // Windows refuses to delete a key that has sub-keys
        }
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    for (Statement const which : {kDeleteValues, kDeleteKey}) {
        Use remove(*this, which);
        sqlite3_bind_int64(*remove, 1, key);
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    return transaction.Commit();
}

long RegistryStore::DeleteTree(KeyId key, bool withKey) {
    if (!m_db) {
        return kErrorAccessDenied;  // an empty store
    }
    if (m_readOnly) {
        return kErrorAccessDenied;
    }
    Transaction transaction(*this);
    if (transaction.Result() != kErrorSuccess) {
        return transaction.Result();
    }
    for (Statement const which : {kDeleteTreeValues, kDeleteTreeKeys}) {
        Use remove(*this, which);
        sqlite3_bind_int64(*remove, 1, key);
        if (which == kDeleteTreeKeys) {
            sqlite3_bind_int(*remove, 2, withKey ? 1 : 0);
        }
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    return transaction.Commit();
}

}  // namespace zelk::os::registry
