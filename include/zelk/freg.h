/// @file
/// FReg: one open registry key with typed getters and setters, wildcard
/// listings of its sub-keys and values, and a depth-first walk of the tree
/// below it.
///
/// On Windows FReg works on the Windows registry through its ANSI calls.  On
/// POSIX systems the library keeps a registry of its own in SQLite files, with
/// the same predefined roots (hkey.h), the same name rules (names match
/// whatever the case of their Windows-1252 letters, spelling kept) and the same
/// results: HKEY_CURRENT_USER lives in $XDG_CONFIG_HOME/zelk/registry.db
/// (~/.config/zelk/registry.db), HKEY_LOCAL_MACHINE, HKEY_USERS and
/// HKEY_CLASSES_ROOT (as HKEY_LOCAL_MACHINE\\Software\\Classes) in the machine
/// file /var/lib/zelk/machine.db ($ZELK_MACHINE_REGISTRY), which every user
/// reads; $ZELK_REGISTRY puts every hive in one file.  Set them before the
/// process first uses the registry.  Threads, processes and forked children
/// may share the files; a value is on disk when the call that wrote it
/// returns.  Sub-keys and values are listed sorted by name there.  README.md
/// ("The registry on POSIX systems") says what is safe and what is not.
/// @code
/// FReg settings(HKEY_CURRENT_USER, "Software\\Suite\\Host", true);
/// unsigned long const port = settings.GetDWORD("Port", 8080);
/// BinChar const folder = settings.GetString("Folder", "z:\\tmp");
/// settings.SetDWORD("Runs", settings.GetDWORD("Runs", 0) + 1);
/// @endcode
#pragma once

#include <zelk/binchar.h>
#include <zelk/export.h>
#include <zelk/hkey.h>

#include <cstddef>
#include <cstdint>

/// One open registry key.
///
/// Failures never raise and are not reported in detail: a key that cannot be
/// opened or created makes an invalid wrapper (IsValid() is false), getters
/// then return their defaults, setters and listings false, and the walk null.
/// Names and texts are bytes of the ANSI code page.
///
/// Thread safety: no lock; one wrapper belongs to one thread at a time.
/// Wrappers of the same key may be used on different threads at once.
///
/// Cost: each getter or setter is one registry call (on POSIX systems one
/// query or transaction on the calling thread's connection to a SQLite file).
class ZELK_API FReg {
public:
    /// The walk's stacks hold this many levels (0 is the key itself), so a
    /// walk goes at most 8 levels deep.
    static constexpr int kLevels = 10;
    /// The size of the buffer that listings read names into: names of up to
    /// 1023 bytes.
    static constexpr int kNameBufferSize = 1024;
    /// The size of the buffer GetString() reads into, terminator included.
    static constexpr int kStringBufferSize = 8192;

    /// @name Opening and closing
    /// @{

    /// Opens, or with `create` creates, the key `name` below `root`.
    /// @param root a predefined root (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
    ///        ...) or an open key, such as another wrapper or a key from
    ///        FindSubKey(); it must stay open while this wrapper uses it
    /// @param name the sub-key's path below `root`, its levels separated by
    ///        `\` (`Software\Suite\Host`, in C++ source
    ///        `"Software\\Suite\\Host"`).  An empty name makes the wrapper
    ///        stand for `root` itself, which it borrows and never closes.
    /// @param create true to create the key and any missing key on the way;
    ///        false to open an existing key only
    FReg(HKEY root, BinChar name, bool create);
    /// A wrapper of the same key with handles of its own (the key is opened
    /// again), and a copy of the walk's state.
    /// @param other the wrapper to copy
    FReg(FReg const& other);
    /// Makes this wrapper a copy of `other` and closes what it held before.
    /// @param other the wrapper to copy
    /// @return this wrapper
    FReg& operator=(FReg const& other);
    /// Closes the key (unless borrowed) and the keys an unfinished walk holds open.
    ~FReg();

    /// @return true when the key is open; false when it could not be opened or
    ///         created
    bool IsValid() const;
    /// The key's handle, for another wrapper's `root` or the platform's own
    /// registry calls; valid while the wrapper lives.  Do not close it.
    /// @return the handle; null when the wrapper is invalid
    operator HKEY__*() const;

    /// @}
    /// @name Values
    /// @{

    /// Reads a number value.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read
    /// @return the REG_DWORD value; `def` when it is missing, of another type
    ///         or larger than 4 bytes, or the wrapper is invalid
    unsigned long GetDWORD(char const* valueName, unsigned long def);
    /// GetDWORD() as an int: 0xFFFFFFFF reads as -1.
    /// @param valueName the value's name
    /// @param def what to return when the value cannot be read
    /// @return the value or `def`, converted to int
    int GetInt(char const* valueName, unsigned long def);
    /// Writes a number value (REG_DWORD), replacing a value of that name of
    /// any type.
    /// @param valueName the value's name
    /// @param value the number; its low 32 bits are stored
    /// @return true when it was written
    bool SetDWORD(BinChar valueName, unsigned long value);
    /// Reads a text value.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read
    /// @return the REG_SZ value up to its first zero byte; `def` when it is
    ///         missing, of another type (REG_EXPAND_SZ and REG_MULTI_SZ
    ///         included), longer than 8192 bytes with its terminator, or the
    ///         wrapper is invalid
    BinChar GetString(char const* valueName, BinChar def);
    /// Writes a text value (REG_SZ), replacing a value of that name of any type.
    /// A text of kStringBufferSize (8192) bytes or more is written whole, but
    /// GetString() cannot read it back: it gives its default for it.
    /// @param valueName the value's name
    /// @param text the text; its len() bytes are stored
    /// @return true when it was written
    bool SetString(BinChar const& valueName, BinChar const& text);
    /// GetString() with the default written as a C string.  This form makes a
    /// literal 0 or NULL mean "no text", as in C: `GetString("n", 0)` falls
    /// back to "".  An int variable picks the BinChar form and falls back to
    /// its decimal text.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read; null is ""
    /// @return the REG_SZ value, or `def` as GetString() says
    BinChar GetString(char const* valueName, char const* def);
    /// SetString() with the text written as a C string.  This form makes a
    /// literal 0 or NULL mean "no text", as in C: `SetString("n", 0)` writes
    /// "".  An int variable picks the BinChar form and writes its decimal
    /// text (`SetString("n", count)` writes "7" for 7), as any int given as a
    /// value name names the value by its decimal text.
    /// @param valueName the value's name
    /// @param text the zero-terminated text; null writes "".  From 8192
    ///        bytes on, GetString() gives its default for it.
    /// @return true when it was written
    bool SetString(BinChar const& valueName, char const* text);

    /// @}
    /// @name More values, deletions and the last error
    /// Beyond the typed calls above: whether a value exists, 64-bit numbers,
    /// bytes and lists of texts, deleting, and why the last call failed.
    /// @code
    /// FReg host(HKEY_CURRENT_USER, "Software\\Suite\\Host", true);
    /// host.SetQWORD("Bytes", 5000000000ull);
    /// host.SetMultiString("Recent", BinChar("a.txt\0b.txt\0", 12));  // each text ends in a zero
    /// BinChar const recent = host.GetMultiString("Recent", BinChar());
    /// char const* text = recent;
    /// for (char const* end = text + recent.len(); text < end; text += std::strlen(text) + 1) {
    ///     // "a.txt", then "b.txt"
    /// }
    /// if (!host.ValueExists("Key") && !host.SetBinary("Key", BinChar("\x01\x02", 2))) {
    ///     long const why = host.GetLastErrorCode();  // 5: access denied, ...
    /// }
    /// host.DeleteTree("Cache");  // the sub-key Cache with all below it
    /// @endcode
    /// @{

    /// Whether the key has a value of that name, of any type.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @return true when it exists
    bool ValueExists(char const* valueName);
    /// Reads a 64-bit number value.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read
    /// @return the REG_QWORD value; `def` when it is missing, of another type
    ///         or larger than 8 bytes, or the wrapper is invalid
    std::uint64_t GetQWORD(char const* valueName, std::uint64_t def);
    /// Writes a 64-bit number value (REG_QWORD), replacing a value of that
    /// name of any type.
    /// @param valueName the value's name
    /// @param value the number
    /// @return true when it was written
    bool SetQWORD(BinChar const& valueName, std::uint64_t value);
    /// Reads a value of bytes, of any length.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read
    /// @return the REG_BINARY value's bytes; `def` when it is missing, of
    ///         another type, or the wrapper is invalid
    BinChar GetBinary(char const* valueName, BinChar def);
    /// Writes a value of bytes (REG_BINARY), replacing a value of that name of
    /// any type.
    /// @param valueName the value's name
    /// @param data the bytes; its len() bytes are stored
    /// @return true when it was written
    bool SetBinary(BinChar const& valueName, BinChar const& data);
    /// Reads a list of texts.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @param def what to return when the value cannot be read
    /// @return the REG_MULTI_SZ value as its texts, each followed by a zero
    ///         byte ("a\0b\0"; the empty list is empty), whatever the writer
    ///         stored after the last one; `def` when it is missing, of another
    ///         type, or the wrapper is invalid
    BinChar GetMultiString(char const* valueName, BinChar def);
    /// Writes a list of texts (REG_MULTI_SZ), replacing a value of that name
    /// of any type.
    /// @param valueName the value's name
    /// @param texts the texts, each followed by a zero byte, as
    ///        GetMultiString() gives them; a last text without its zero gets
    ///        one.  Empty texts end the list for every reader, so leave them out.
    /// @return true when it was written
    bool SetMultiString(BinChar const& valueName, BinChar const& texts);
    /// Deletes a value.
    /// @param valueName the value's name; "" (or null) for the key's default value
    /// @return true when it was deleted; false when there was none
    bool DeleteValue(char const* valueName);
    /// Deletes a sub-key that has no sub-keys of its own (values it may have).
    /// @param subKey the sub-key's path below this key; never "" or null,
    ///        which give false
    /// @return true when it was deleted
    bool DeleteKey(char const* subKey);
    /// Deletes a sub-key with every key and value below it.
    /// @param subKey the sub-key's path below this key; never "" or null,
    ///        which give false
    /// @return true when it was deleted
    bool DeleteTree(char const* subKey);
    /// Why the last failure happened: the Windows error code (2 not found,
    /// 5 access denied, 6 an invalid wrapper, 87 a bad argument, 1804 a value
    /// of another type, ...) of the last call of this wrapper that opened,
    /// read, wrote or deleted in vain (a getter that returned its default
    /// included).  Successful calls leave it as it is.
    /// @return the code; 0 when no such call has failed yet
    long GetLastErrorCode() const;

    /// @}
    /// @name Listings and the walk
    /// The listings and the walk compare names with BinChar::MaskenFit().
    /// @{

    /// One step of a depth-first walk of the keys below this key: the next key,
    /// in pre-order (a key before the keys below it), whose name fits `mask`.
    ///
    /// The walk descends into every key, fitting or not, down to `depthLimit`
    /// levels below this key.  It runs once per wrapper: after it has returned
    /// null it keeps returning null, so walk again with a new wrapper.  It does
    /// not report the key's name or depth: to read the returned key's values,
    /// wrap it as FReg(key, "", false), which borrows it; to know names and
    /// levels, walk level by level with FindKeys() instead, opening each
    /// sub-key as FReg(parent, name, false).
    /// @code
    /// FReg suite(HKEY_CURRENT_USER, "Software\\Suite", false);
    /// while (HKEY key = suite.FindSubKey("*", 2)) {
    ///     FReg found(key, "", false);  // borrows the walk's handle
    ///     // ... found.GetString(...) ...
    /// }
    /// @endcode
    /// @param mask the wildcard mask for the key names
    /// @param depthLimit the deepest level returned, 1 for direct sub-keys
    ///        only; values above 8 count as 8
    /// @return the key's handle, which belongs to the walk: valid until the next
    ///         call, never to be closed by the caller.  Null when the walk is
    ///         over, or the wrapper is invalid.
    HKEY FindSubKey(char const* mask, int depthLimit);
    /// The next direct sub-key whose name fits `mask`.  Start with `index` 0
    /// and call again with the same variable until it returns false.  Keys
    /// made or deleted meanwhile shift the indexes.
    /// @code
    /// BinChar name;
    /// for (int index = 0; key.FindKeys("*", name, index);) { ... }
    /// @endcode
    /// @param mask the wildcard mask for the names
    /// @param name receives the sub-key's name
    /// @param index in and out: where to go on listing; moves past the key found
    /// @return true when a key was found; false when there are no more, or the
    ///         wrapper is invalid
    bool FindKeys(char const* mask, BinChar& name, int& index);
    /// The next value of this key whose name fits `mask`, listed like
    /// FindKeys().
    /// @param mask the wildcard mask for the names
    /// @param name receives the value's name ("" for the key's default value)
    /// @param index in and out: where to go on listing; moves past the value found
    /// @param type receives the value's type code (REG_SZ, REG_DWORD, ...);
    ///        may be null
    /// @return true when a value was found; false when there are no more, or
    ///         the wrapper is invalid
    bool FindValues(char const* mask, BinChar& name, int& index, unsigned long* type);

    /// @}

private:
    void CloseWalk();
    void CopyFrom(FReg const& other);
    long Note(long result);
    bool Set(BinChar const& valueName, unsigned long type, void const* data, std::size_t size);
    bool Get(char const* valueName, unsigned long type, BinChar& data);

    BinChar m_name;
    HKEY m_key;
    std::int32_t m_depth;
    HKEY m_keys[kLevels];
    std::uint32_t m_indexes[kLevels];
    char m_buffer[kNameBufferSize];
    long m_lastError = 0;
};
