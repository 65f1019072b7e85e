// The registry's keys and values in one file: the statements, their cache
// and the listing cursors, and the reads and writes.
#include "platform/posix/registry/store.h"

#include "platform/registry.h"

#include <utility>

namespace zelk::os::registry {

namespace {

// In the order of RegistryStore::Statement.
// The sub-tree of ?1, ?1 included.
#define ZELK_SUBTREE \
  "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN t ON keys.parent = t.id) "

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

// Text bound without a copy; an empty view still binds '' (a null pointer
// would bind SQL NULL).
int BindName(sqlite3_stmt* statement, int index, std::string_view name) {
    return sqlite3_bind_text(statement, index, name.empty() ? "" : name.data(), static_cast<int>(name.size()),
                             SQLITE_STATIC);
}

}  // namespace

// One use of a cached statement: reset and unbound on every way out, so no
// statement keeps a read snapshot open between calls (other processes'
// writes must show up in the next call).
class RegistryStore::Use {
public:
    Use(RegistryStore& store, Statement which) : m_statement(store.m_statements[which].get()) {}
    // The same, with a key and a name bound as ?1 and ?2.
    Use(RegistryStore& store, Statement which, KeyId key, std::string_view name) : Use(store, which) {
        sqlite3_bind_int64(m_statement, 1, key);
        BindName(m_statement, 2, name);
    }
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
    explicit Transaction(RegistryStore& store) : m_store(store), m_turn(store.m_file), m_nested(store.InWrite()) {
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
    Database::Turn m_turn;
    bool m_nested;
    long m_result;
    bool m_open;
};

RegistryStore::~RegistryStore() { Close(); }

void RegistryStore::Close(bool quick) noexcept {
    for (auto& statement : m_statements) {
        statement.reset();
    }
    m_file.Close(quick);
    for (Cursor& cursor : m_cursors) {
        cursor = Cursor();
    }
}

long RegistryStore::Open(std::string const& path, Role role, int busyTimeout) {
    if (IsOpen()) {
        return kErrorSuccess;
    }
    long result = m_file.Open(path, role, busyTimeout);
    if (result == kErrorSuccess && IsOpen()) {
        result = Prepare();
    }
    if (result != kErrorSuccess) {
        Close();
    }
    return result;
}

long RegistryStore::Prepare() {
    static_assert(sizeof(kStatementText) / sizeof(kStatementText[0]) == kStatementCount);
    for (int i = 0; i < kStatementCount; ++i) {
        sqlite3_stmt* raw = nullptr;
        int const rc =
            sqlite3_prepare_v3(m_file.Handle(), kStatementText[i], -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        m_statements[i].reset(raw);
        // A reader's views of an earlier version's file take no writes.
        if (rc != SQLITE_OK && !m_file.ReadOnly()) {
            return ToWindowsError(rc);
        }
    }
    return kErrorSuccess;
}

std::uint32_t RegistryStore::DataVersion() {
    unsigned version = 0;
    sqlite3_file_control(m_file.Handle(), "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

long RegistryStore::Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result) {
    if (!IsOpen()) {
        return kErrorFileNotFound;  // an empty store
    }
    KeyId current = parent;
    for (std::string_view const name : path) {
        Use find(*this, kFindChild, current, name);
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
    Transaction transaction(*this);
    if (transaction.Result() != kErrorSuccess) {
        return transaction.Result();
    }
    if (long const exists = Exists(parent); exists != kErrorSuccess) {
        return exists;
    }
    KeyId current = parent;
    for (std::string_view const name : path) {
        Use find(*this, kFindChild, current, name);
        int rc = sqlite3_step(*find);
        if (rc == SQLITE_ROW) {
            current = sqlite3_column_int64(*find, 0);
            continue;
        }
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
        Use insert(*this, kInsertChild, current, name);
        rc = sqlite3_step(*insert);
        if (rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
        current = sqlite3_last_insert_rowid(m_file.Handle());
    }
    if (long const committed = transaction.Commit(); committed != kErrorSuccess) {
        return committed;
    }
    result = current;
    return kErrorSuccess;
}

long RegistryStore::Exists(KeyId key) {
    if (!IsOpen()) {
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
    if (!IsOpen()) {
        return kErrorFileNotFound;  // an empty store
    }
    {
        Use query(*this, kQueryValue, key, name);
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
    Database::Turn turn(m_file);
    if (turn.Result() != kErrorSuccess) {
        return turn.Result();
    }
    Use set(*this, kSetValue, key, name);
    sqlite3_bind_int64(*set, 3, type);
    // A null pointer would bind SQL NULL; an empty value is an empty blob.
    static unsigned char const kNothing = 0;
    sqlite3_bind_blob(*set, 4, size != 0 ? data : &kNothing, static_cast<int>(size), SQLITE_STATIC);
    int const rc = sqlite3_step(*set);
    if (rc != SQLITE_DONE) {
        return ToWindowsError(rc);
    }
    return sqlite3_changes(m_file.Handle()) == 0 ? kErrorKeyDeleted : kErrorSuccess;
}

template <class Read>
long RegistryStore::EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read) {
    if (!IsOpen()) {
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
            Use step(*this, next, key, cursor->name);
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
    to.assign(bytes ? static_cast<char const*>(bytes) : "",
              static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
}

}  // namespace

long RegistryStore::EnumKey(KeyId key, std::uint32_t index, std::string& name) {
    return EnumRow(kEnumKey, key, index,
                   [&](sqlite3_stmt* row) { AssignColumn(name, row, 0, sqlite3_column_text(row, 0)); });
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
    if (!IsOpen()) {
        return kErrorFileNotFound;  // an empty store
    }
    Database::Turn turn(m_file);
    if (turn.Result() != kErrorSuccess) {
        return turn.Result();
    }
    {
        Use remove(*this, kDeleteValue, key, name);
        if (int const rc = sqlite3_step(*remove); rc != SQLITE_DONE) {
            return ToWindowsError(rc);
        }
    }
    if (sqlite3_changes(m_file.Handle()) != 0) {
        return kErrorSuccess;
    }
    long const exists = Exists(key);
    return exists == kErrorSuccess ? kErrorFileNotFound : exists;
}

long RegistryStore::BeginWrite() {
    // The turn stays taken until the transaction ends; a store that takes
    // no writes refuses here.
    if (long const taken = m_file.TakeTurn(); taken != kErrorSuccess) {
        return taken;
    }
    long result;
    {
        Use begin(*this, kBegin);
        result = ToWindowsError(sqlite3_step(*begin));
    }
    m_file.EndTurnIfDone();
    return result;
}

long RegistryStore::CommitWrite() {
    long result;
    {
        Use commit(*this, kCommit);
        result = ToWindowsError(sqlite3_step(*commit));
    }
    m_file.EndTurnIfDone();
    return result;
}

void RegistryStore::RollbackWrite() noexcept {
    if (InWrite()) {
        Use rollback(*this, kRollback);
        sqlite3_step(*rollback);
    }
    m_file.EndTurnIfDone();
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
