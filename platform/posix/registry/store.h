// The registry's keys and values in one file: finding and making keys,
// reading, writing, listing and deleting, each call in a transaction of its
// own or joining the thread's open one.  Names are UTF-8 and data are kept
// as the Unicode calls give them (text in UTF-16LE); the A calls convert
// above this layer.
//
// A RegistryStore is one connection to one file, used by one thread at a
// time (connections.cpp gives each thread its own and closes them around
// fork()).
#pragma once

#include "platform/posix/registry/database.h"
#include "platform/posix/registry/schema.h"
#include "platform/posix/registry/sqlite_calls.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::os::registry {

class RegistryStore {
public:
    using Role = Database::Role;

    RegistryStore() = default;
    ~RegistryStore();
    RegistryStore(RegistryStore const&) = delete;
    RegistryStore& operator=(RegistryStore const&) = delete;

    // Opens `path` if this store is not open; a Windows error code.  A failed
    // open is not remembered: the next call tries again.  A file that is
    // missing and may not be made opens as an empty, unwritable store (and
    // is looked for again on the next call).
    long Open(std::string const& path, Role role, int busyTimeout);
    bool IsOpen() const noexcept { return m_file.IsOpen(); }
    // Closes the connection.  `quick`: without folding the write-ahead log
    // into the file (before fork(), where only speed matters).
    void Close(bool quick = false) noexcept;

    // The key `path` (names, none empty) below `parent`.
    long Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // The same, making missing keys on the way (in one transaction).
    long Create(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // kErrorSuccess while `key` exists, kErrorKeyDeleted once it is gone.
    long Exists(KeyId key);
    // The type and the whole data of one value; either may be null.
    long QueryValue(KeyId key, std::string_view name, std::uint32_t* type, std::string* data);
    long SetValue(KeyId key, std::string_view name, std::uint32_t type, unsigned char const* data, std::uint32_t size);
    // Sub-key number `index` in name order.
    long EnumKey(KeyId key, std::uint32_t index, std::string& name);
    // Value number `index` in name order; the data are copied to `data`.
    long EnumValue(KeyId key, std::uint32_t index, std::string& name, std::uint32_t& type, std::string& data);
    // Deletes the value `name` of `key`.
    long DeleteValue(KeyId key, std::string_view name);
    // Deletes `key`, which must have no sub-keys.
    long DeleteKey(KeyId key);
    // Deletes everything below `key`, and `key` itself when `withKey`.
    long DeleteTree(KeyId key, bool withKey);

    // A write transaction across calls (RegistryTransaction): the calls
    // above join it, each in a savepoint of its own.
    long BeginWrite();
    long CommitWrite();
    void RollbackWrite() noexcept;
    bool InWrite() const noexcept { return m_file.InWrite(); }

private:
    enum Statement {
        kFindChild,
        kInsertChild,
        kKeyExists,
        kHasChildren,
        kQueryValue,
        kSetValue,
        kEnumKey,
        kEnumValue,
        kNextKey,
        kNextValue,
        kDeleteValues,
        kDeleteValue,
        kDeleteKey,
        kDeleteTreeValues,
        kDeleteTreeKeys,
        kBegin,
        kCommit,
        kRollback,
        kSavepoint,
        kRelease,
        kRollbackTo,
        kStatementCount
    };
    class Use;
    class Transaction;

    // Where the last few listings stopped, so that reading index i + 1
    // after index i continues from the name read instead of counting i + 1
    // rows again (a full listing costs n steps, not n * n / 2).
    struct Cursor {
        Statement which = kEnumKey;
        KeyId key = 0;
        std::uint32_t index = 0;
        std::uint32_t version = 0;
        std::string name;
    };
    static constexpr int kCursors = 10;  // a tree walk lists one key per level

    long Prepare();
    long ToWindowsError(int code) const { return m_file.ToWindowsError(code); }
    std::uint32_t DataVersion();
    template <class Read>
    long EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read);

    Database m_file;
    StatementPtr m_statements[kStatementCount];
    Cursor m_cursors[kCursors];
    int m_nextCursor = 0;
};

}  // namespace zelk::os::registry
