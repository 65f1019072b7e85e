#include "platform/posix/registry_store.h"

#include "platform/registry.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace zelk::os::registry {

namespace {

// Marks the file as this library's registry (the bytes "ZELK"), so that a
// ZELK_REGISTRY pointing at some other SQLite database is refused rather
// than altered.
constexpr std::int64_t kApplicationId = 0x5A454C4B;

// Key and value names compare case-insensitively for A..Z and keep their
// spelling: NOCASE folds ASCII to lower case, which also gives the order in
// which Windows and Wine enumerate ("_x" before "A", "a_b" before "aB").
// AUTOINCREMENT keeps the id of a deleted key from being handed to a new
// one, so a handle that still names it sees the key as deleted.
constexpr char const kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'),"
    "  (3, 0, 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS');"
    "PRAGMA application_id = 1514490955;";
static_assert(kApplicationId == 1514490955);

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

}  // namespace

long ErrorFromSqlite(int code, int systemErrno) {
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
        switch (systemErrno) {
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

// A write transaction that rolls back unless committed.  BEGIN IMMEDIATE
// takes the write lock up front, so two processes never deadlock upgrading
// their read locks.  Inside a transaction that is already open (a
// RegistryTransaction) it is a savepoint: a failed step undoes only itself.
class RegistryStore::Transaction {
public:
    explicit Transaction(RegistryStore& store)
        : m_store(store), m_nested(sqlite3_get_autocommit(store.m_db.get()) == 0) {
        Use begin(store, m_nested ? kSavepoint : kBegin);
        m_result = store.Fail(sqlite3_step(*begin));
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
        long const result = m_store.Fail(sqlite3_step(*commit));
        m_open = result != kErrorSuccess;
        return result;
    }

private:
    RegistryStore& m_store;
    bool m_nested;
    long m_result;
    bool m_open;
};

RegistryStore::~RegistryStore() { Close(); }

long RegistryStore::Fail(int code) { return ErrorFromSqlite(code, m_db ? sqlite3_system_errno(m_db.get()) : 0); }

void RegistryStore::Close() noexcept {
    for (auto& statement : m_statements) {
        statement.reset();
    }
    m_db.reset();
}

void RegistryStore::Abandon() noexcept {
    // Deliberately leaked: finalising or closing would touch the parent's
    // locks and files.
    for (auto& statement : m_statements) {
        (void)statement.release();
    }
    (void)m_db.release();
}

void RegistryStore::SetBusyTimeout(int milliseconds) {
    m_busyTimeout = milliseconds < 0 ? 0 : milliseconds;
    if (m_db) {
        sqlite3_busy_timeout(m_db.get(), m_busyTimeout);
    }
}

long RegistryStore::Open() {
    if (m_db) {
        return kErrorSuccess;
    }
    std::string path;
    if (!DatabasePath(path)) {
        return kErrorPathNotFound;
    }
    if (long const made = MakeParentFolders(path); made != kErrorSuccess) {
        return made;
    }
    return OpenAt(path);
}

long RegistryStore::OpenAt(std::string const& path) {
    sqlite3* raw = nullptr;
    // NOMUTEX: the caller's lock already serialises every use.
    int const rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    DatabasePtr db(raw);
    if (rc != SQLITE_OK) {
        if (!raw) {
            return kErrorOutOfMemory;
        }
        // SQLite's last errno may come from a side file it probed; ask the
        // file (or, when there is none yet, its folder) directly.
        int reason = sqlite3_system_errno(raw);
        if ((rc & 0xFF) == SQLITE_CANTOPEN) {
            std::string::size_type const slash = path.rfind('/');
            std::string const folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
            if (access(path.c_str(), F_OK) == 0 ? access(path.c_str(), R_OK | W_OK) != 0
                                                : access(folder.c_str(), W_OK | X_OK) != 0) {
                reason = errno;
            }
        }
        return ErrorFromSqlite(rc, reason);
    }
    sqlite3_busy_timeout(raw, m_busyTimeout);
    if (sqlite3_db_readonly(raw, "main") == 1) {
        return kErrorAccessDenied;
    }
    std::string mode;
    if (long const r = QueryOne(raw, "PRAGMA journal_mode = WAL", nullptr, &mode); r != kErrorSuccess) {
        return r;
    }
    if (mode != "wal") {
        return kErrorAccessDenied;
    }
    // FULL: the WAL is synced at every commit, so a written value survives
    // a crash of the machine too, not only of the process.
    if (long const r = ExecScript(raw, "PRAGMA synchronous = FULL"); r != kErrorSuccess) {
        return r;
    }
    std::int64_t applicationId = 0;
    std::int64_t objects = 0;
    // A registry made before needs no write lock to open (the mark is set
    // in the transaction that makes the tables): opening for a read never
    // waits behind busy writers.
    if (long const r = QueryOne(raw, "PRAGMA application_id", &applicationId, nullptr); r != kErrorSuccess) {
        return r;
    }
    if (applicationId == kApplicationId) {
        m_db = std::move(db);
        if (long const prepared = Prepare(); prepared != kErrorSuccess) {
            Close();
            return prepared;
        }
        return kErrorSuccess;
    }
    // Checking and making the schema in one write transaction: two processes
    // that start on a new file at once make it once.
    if (long const r = ExecScript(raw, "BEGIN IMMEDIATE"); r != kErrorSuccess) {
        return r;
    }
    long result = QueryOne(raw, "PRAGMA application_id", &applicationId, nullptr);
    if (result == kErrorSuccess) {
        result = QueryOne(raw, "SELECT count(*) FROM sqlite_master", &objects, nullptr);
    }
    if (result == kErrorSuccess && applicationId != kApplicationId && (applicationId != 0 || objects != 0)) {
        result = kErrorBadDb;  // someone else's database
    }
    if (result == kErrorSuccess) {
        result = ExecScript(raw, kSchema);
    }
    if (result == kErrorSuccess) {
        result = ExecScript(raw, "COMMIT");
    }
    if (result != kErrorSuccess) {
        sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
        return result;
    }
    m_db = std::move(db);
    if (long const prepared = Prepare(); prepared != kErrorSuccess) {
        Close();
        return prepared;
    }
    return kErrorSuccess;
}

long RegistryStore::Prepare() {
    static_assert(sizeof(kStatementText) / sizeof(kStatementText[0]) == kStatementCount);
    for (int i = 0; i < kStatementCount; ++i) {
        sqlite3_stmt* raw = nullptr;
        int const rc = sqlite3_prepare_v3(m_db.get(), kStatementText[i], -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        m_statements[i].reset(raw);
        if (rc != SQLITE_OK) {
            return Fail(rc);
        }
    }
    return kErrorSuccess;
}

long RegistryStore::Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result) {
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
            return Fail(rc);
        }
        current = sqlite3_column_int64(*find, 0);
    }
    result = current;
    return kErrorSuccess;
}

long RegistryStore::Create(KeyId parent, std::vector<std::string_view> const& path, KeyId& result) {
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
            return Fail(rc);
        }
        Use insert(*this, kInsertChild);
        sqlite3_bind_int64(*insert, 1, current);
        BindName(*insert, 2, name);
        rc = sqlite3_step(*insert);
        if (rc != SQLITE_DONE) {
            return Fail(rc);
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
    Use exists(*this, kKeyExists);
    sqlite3_bind_int64(*exists, 1, key);
    int const rc = sqlite3_step(*exists);
    if (rc == SQLITE_ROW) {
        return kErrorSuccess;
    }
    return rc == SQLITE_DONE ? kErrorKeyDeleted : Fail(rc);
}

long RegistryStore::QueryValue(KeyId key, std::string_view name, std::uint32_t* type, unsigned char* data,
                               std::uint32_t* size) {
    long result = kErrorSuccess;
    {
        Use query(*this, kQueryValue);
        sqlite3_bind_int64(*query, 1, key);
        BindName(*query, 2, name);
        int const rc = sqlite3_step(*query);
        if (rc == SQLITE_ROW) {
            if (type) {
                *type = static_cast<std::uint32_t>(sqlite3_column_int64(*query, 0));
            }
            void const* bytes = sqlite3_column_blob(*query, 1);
            auto const needed = static_cast<std::uint32_t>(sqlite3_column_bytes(*query, 1));
            if (data) {
                if (*size < needed) {
                    result = kErrorMoreData;
                } else if (needed != 0) {
                    std::memcpy(data, bytes, needed);
                }
            }
            if (size) {
                *size = needed;
            }
            return result;
        }
        if (rc != SQLITE_DONE) {
            return Fail(rc);
        }
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorFileNotFound : exists;
}

long RegistryStore::SetValue(KeyId key, std::string_view name, std::uint32_t type, unsigned char const* data,
                             std::uint32_t size) {
    Use set(*this, kSetValue);
    sqlite3_bind_int64(*set, 1, key);
    BindName(*set, 2, name);
    sqlite3_bind_int64(*set, 3, type);
    // A null pointer would bind SQL NULL; an empty value is an empty blob.
    static unsigned char const kNothing = 0;
    sqlite3_bind_blob(*set, 4, size != 0 ? data : &kNothing, static_cast<int>(size), SQLITE_STATIC);
    int const rc = sqlite3_step(*set);
    if (rc != SQLITE_DONE) {
        return Fail(rc);
    }
    return sqlite3_changes(m_db.get()) == 0 ? kErrorKeyDeleted : kErrorSuccess;
}

template <class Read>
long RegistryStore::EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read) {
    {
        Use enumerate(*this, which);
        sqlite3_bind_int64(*enumerate, 1, key);
        sqlite3_bind_int64(*enumerate, 2, index);
        int const rc = sqlite3_step(*enumerate);
        if (rc == SQLITE_ROW) {
            read(*enumerate);
            return kErrorSuccess;
        }
        if (rc != SQLITE_DONE) {
            return Fail(rc);
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
    {
        Use remove(*this, kDeleteValue);
        sqlite3_bind_int64(*remove, 1, key);
        BindName(*remove, 2, name);
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return Fail(rc);
        }
    }
    if (sqlite3_changes(m_db.get()) != 0) {
        return kErrorSuccess;
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorFileNotFound : exists;
}

long RegistryStore::BeginWrite() {
    Use begin(*this, kBegin);
    return Fail(sqlite3_step(*begin));
}

long RegistryStore::CommitWrite() {
    Use commit(*this, kCommit);
    return Fail(sqlite3_step(*commit));
}

void RegistryStore::RollbackWrite() noexcept {
    if (m_db && sqlite3_get_autocommit(m_db.get()) == 0) {
        Use rollback(*this, kRollback);
        sqlite3_step(*rollback);
    }
}

long RegistryStore::DeleteKey(KeyId key) {
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
            return Fail(rc);
        }
    }
    for (Statement const which : {kDeleteValues, kDeleteKey}) {
        Use remove(*this, which);
        sqlite3_bind_int64(*remove, 1, key);
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return Fail(rc);
        }
    }
    return transaction.Commit();
}

long RegistryStore::DeleteTree(KeyId key, bool withKey) {
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
            return Fail(rc);
        }
    }
    return transaction.Commit();
}

}  // namespace zelk::os::registry
