// The ANSI registry calls the library makes, with Windows' results.
//
// Win32: the real advapi32 functions.  POSIX: a registry of the library's own
// in SQLite databases (the user's, the machine's), shared by every thread
// and process that uses the same files (platform/posix/registry/location.h
// says where they live).  Both return Windows' error codes for the same
// cases, so code above this layer and its tests do not know which one runs.
#pragma once

#include <zelk/hkey.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zelk::os {

// Windows' error codes as the registry calls return them.  (Not named
// ERROR_*: those are macros wherever <windows.h> is included.)
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorPathNotFound = 3;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorNotEnoughMemory = 8;
inline constexpr long kErrorOutOfMemory = 14;
inline constexpr long kErrorLockViolation = 33;
inline constexpr long kErrorDiskFull = 112;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorBadPathname = 161;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorOperationAborted = 995;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorBadDb = 1009;
inline constexpr long kErrorCantOpen = 1011;
inline constexpr long kErrorRegistryIoFailed = 1016;
inline constexpr long kErrorKeyDeleted = 1018;

// Windows' limits on names, in bytes without the terminator.
inline constexpr std::uint32_t kMaxKeyNameLength = 255;
inline constexpr std::uint32_t kMaxValueNameLength = 16383;

// Opens `subKey` below `key` (a path of names separated by "\").  A null or
// empty `subKey` gives `key` itself back, not a new handle, as Windows does.
long RegOpenKeyA(HKEY key, char const* subKey, HKEY* result);
// Opens `subKey` below `key`, creating it and any missing keys on the way.
// A null or empty `subKey` gives a new handle to `key`.
long RegCreateKeyA(HKEY key, char const* subKey, HKEY* result);
// A predefined root "closes" with success and stays usable.
long RegCloseKey(HKEY key);
// `type`, `data` and `size` may each be null; `data` needs `size`.  With a
// `size` too small for the value the call gives kErrorMoreData and sets
// `size` (and `type`) to what the value needs.
long RegQueryValueExA(HKEY key, char const* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size);
// For the string types a `size` that leaves out a terminating zero present
// in `data` at `size` is taken to include it, as Windows does; so `data` of
// a string type must be readable one byte past `size`.
long RegSetValueExA(HKEY key, char const* valueName, std::uint32_t reserved, std::uint32_t type,
                    unsigned char const* data, std::uint32_t size);
// The name of sub-key number `index` in the platform's enumeration order
// (sorted by name, case-insensitively); `nameSize` is the buffer's size.
long RegEnumKeyA(HKEY key, std::uint32_t index, char* name, std::uint32_t nameSize);
// The name (and type, and data) of value number `index`.  `nameSize` is in
// and out: the buffer's size, then the name's length without terminator.
long RegEnumValueA(HKEY key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* reserved,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize);
// Deletes `subKey`, which must have no sub-keys of its own.
long RegDeleteKeyA(HKEY key, char const* subKey);
// Deletes `subKey` with everything below it.
long RegDeleteTreeA(HKEY key, char const* subKey);
// A second handle to the same key that is closed on its own; a predefined
// root gives itself back.
long RegDuplicateKey(HKEY key, HKEY* result);
// Deletes the value `valueName` of `key`; null or "" names the key's default
// value.  kErrorFileNotFound when there is no such value.
long RegDeleteValueA(HKEY key, char const* valueName);

// The Unicode forms of the calls, for the tools: what Windows' ...W calls
// do, with names passed as UTF-8 (converted to UTF-16 at the system
// boundary) and data exactly as the W calls take and give it (the string
// types REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ in UTF-16LE, with whatever
// terminators the writer stored).  Nothing is replaced on the way: a name
// that is not well-formed UTF-8 gives kErrorInvalidParameter.  An empty
// value name stands for the key's default value.
//
// `view` picks the registry view of a 32-bit program on 64-bit Windows
// (KEY_WOW64_32KEY / KEY_WOW64_64KEY); the POSIX registry has one view and
// ignores it.
enum class RegView { kDefault, k32, k64 };
long RegOpenKeyU(HKEY key, std::string_view subKey, RegView view, HKEY* result);
long RegCreateKeyU(HKEY key, std::string_view subKey, RegView view, HKEY* result);
// The whole value: `data` is resized to it.  `type` and `data` may be null.
long RegQueryValueU(HKEY key, std::string_view valueName, std::uint32_t* type, std::string* data);
long RegSetValueU(HKEY key, std::string_view valueName, std::uint32_t type, std::string_view data);
// Sub-key and value number `index` in the platform's enumeration order.
long RegEnumKeyU(HKEY key, std::uint32_t index, std::string& name);
long RegEnumValueU(HKEY key, std::uint32_t index, std::string& name, std::uint32_t* type, std::string* data);
long RegDeleteKeyU(HKEY key, std::string_view subKey, RegView view);
long RegDeleteTreeU(HKEY key, std::string_view subKey);
long RegDeleteValueU(HKEY key, std::string_view valueName);

// Makes the registry writes that the calling thread makes while it is open
// one change: other threads and processes see all of them after Commit, or
// none of them if the transaction is destroyed without Commit (or Commit
// fails).  Reads of the calling thread see its own writes at once.
//
// POSIX: a write transaction of the calling thread on the store, taken on
// each database file when the thread first writes to it.  Within one file
// the writes are all-or-nothing; across two files (a transaction that
// writes HKEY_LOCAL_MACHINE in the machine file and HKEY_CURRENT_USER in the
// user's) Commit commits the machine file first, so a commit refused there
// leaves both unchanged, but an I/O failure while committing the second
// leaves the first one's writes in place.  One transaction per thread at a
// time: Begin while one is open gives kErrorInvalidParameter.  A write that
// fails undoes only itself, unless the store had to end the transaction (a
// full disk): then the later writes and Commit fail with that error.  A
// fork() ends every transaction open in the process (in parent and child):
// their later writes and Commit give kErrorOperationAborted.  The object
// belongs to the thread that began it.
// Win32: the registry has no transactions for these calls; Begin and Commit
// succeed and every write takes effect at once, so a caller that needs
// all-or-nothing validates before it writes.
class RegistryTransaction {
public:
    RegistryTransaction() noexcept;
    ~RegistryTransaction();  // rolls back what was not committed
    RegistryTransaction(RegistryTransaction const&) = delete;
    RegistryTransaction& operator=(RegistryTransaction const&) = delete;
    long Begin();  // kErrorSuccess or the store's error code
    long Commit();  // kErrorSuccess or the store's error code

private:
    bool m_open;
};

}  // namespace zelk::os
