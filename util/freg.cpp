// FReg: one registry key, its values, its sub-keys and a walk below it, over
// the platform's ANSI registry calls.
//
// Choices where the behaviour is ours to settle:
// - Copies: a copy gets handles of its own (the key and every key its source's
//   walk holds open are reopened), so each wrapper closes exactly what it
//   opened and no handle is closed twice.  Assignment closes the target's
//   previous key and walk keys once the copy is made.
// - The walk's depth limit is clamped to 8: the walk reads one level below
//   the limit and its stacks hold ten levels.
// - A fitting name that the walk reads but does not open (one level below
//   the limit, or a key it may not open) is passed over, so null from
//   FindSubKey always means the walk is over.
// - The destructor also closes the keys an unfinished walk still holds open.
// - GetString reads at most its 8192-byte buffer and ends the text at the
//   size the platform reports, so a text stored without a terminator comes
//   back whole and nothing past the buffer is read.
#include <zelk/freg.h>

#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

// Whether the wrapper was given a sub-key name: only then does it own its
// key.  A name whose text is empty (its first byte zero) names the root.
bool NamesSubKey(BinChar const& name) { return static_cast<char const*>(name)[0] != '\0'; }

constexpr int kMaxDepthLimit = FReg::kLevels - 2;

// Windows' code for a value of another type than the one asked for.
constexpr long kErrorInvalidDatatype = 1804;

}  // namespace

FReg::FReg(HKEY root, BinChar name, bool create)
    : m_name(), m_key(nullptr), m_depth(0), m_keys{}, m_indexes{}, m_buffer{} {
    if (!NamesSubKey(name)) {
        m_key = root;  // borrowed, never closed
    } else {
        m_name = std::move(name);
        HKEY opened = nullptr;
        long const result =
            create ? zelk::os::RegCreateKeyA(root, m_name, &opened) : zelk::os::RegOpenKeyA(root, m_name, &opened);
        m_key = Note(result) == zelk::os::kErrorSuccess ? opened : nullptr;
    }
    m_keys[0] = m_key;
    m_indexes[0] = 0;
}

FReg::FReg(FReg const& other) : m_name(), m_key(nullptr), m_depth(0), m_keys{}, m_indexes{}, m_buffer{} {
    CopyFrom(other);
}

FReg& FReg::operator=(FReg const& other) {
    // Copy, then swap: the new handles are opened while the old ones are
    // still open (so none of them can come back with an old handle's value),
    // and the copy's destructor closes what this wrapper held.
    FReg copy(other);
    std::swap(m_name, copy.m_name);
    std::swap(m_key, copy.m_key);
    std::swap(m_depth, copy.m_depth);
    std::swap(m_keys, copy.m_keys);
    std::swap(m_indexes, copy.m_indexes);
    std::swap(m_buffer, copy.m_buffer);
    std::swap(m_lastError, copy.m_lastError);
    return *this;
}

FReg::~FReg() {
    CloseWalk();
    if (NamesSubKey(m_name) && m_key) {
        zelk::os::RegCloseKey(m_key);
    }
}

void FReg::CopyFrom(FReg const& other) {
    m_name = other.m_name;
    if (NamesSubKey(other.m_name) && other.m_key) {
        HKEY reopened = nullptr;
        m_key = zelk::os::RegDuplicateKey(other.m_key, &reopened) == zelk::os::kErrorSuccess ? reopened : nullptr;
    } else {
        m_key = other.m_key;  // a borrowed root, or null
    }
    m_depth = other.m_depth;
    m_keys[0] = m_key;
    for (int level = 1; level < kLevels; ++level) {
        HKEY reopened = nullptr;
        if (level <= m_depth && other.m_keys[level] &&
            zelk::os::RegDuplicateKey(other.m_keys[level], &reopened) == zelk::os::kErrorSuccess) {
            m_keys[level] = reopened;
        } else {
            m_keys[level] = nullptr;
        }
    }
    std::memcpy(m_indexes, other.m_indexes, sizeof(m_indexes));
    std::memcpy(m_buffer, other.m_buffer, sizeof(m_buffer));
    m_lastError = other.m_lastError;
}

void FReg::CloseWalk() {
    for (int level = m_depth; level >= 1; --level) {
        if (m_keys[level]) {
            zelk::os::RegCloseKey(m_keys[level]);
            m_keys[level] = nullptr;
        }
    }
}

bool FReg::IsValid() const { return m_key != nullptr; }

FReg::operator HKEY__*() const { return m_key; }

unsigned long FReg::GetDWORD(char const* valueName, unsigned long def) {
    std::uint32_t type = REG_DWORD;
    // A REG_DWORD stored shorter than 4 bytes reads zero-extended.
    std::uint32_t value = 0;
    std::uint32_t size = sizeof(value);
    long const result =
        zelk::os::RegQueryValueExA(m_key, valueName, nullptr, &type, reinterpret_cast<unsigned char*>(&value), &size);
    if (Note(result) == zelk::os::kErrorSuccess && type == REG_DWORD) {
        return value;
    }
    if (result == zelk::os::kErrorSuccess) Note(kErrorInvalidDatatype);
    return def;
}

int FReg::GetInt(char const* valueName, unsigned long def) { return static_cast<int>(GetDWORD(valueName, def)); }

bool FReg::SetDWORD(BinChar valueName, unsigned long value) {
    // A DWORD is 32 bits wherever `unsigned long` is wider.
    auto const stored = static_cast<std::uint32_t>(value);
    return Set(valueName, REG_DWORD, &stored, sizeof(stored));
}

BinChar FReg::GetString(char const* valueName, BinChar def) {
    char buffer[kStringBufferSize];
    std::uint32_t type = REG_SZ;
    std::uint32_t size = sizeof(buffer);
    long const result =
        zelk::os::RegQueryValueExA(m_key, valueName, nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size);
    if (Note(result) != zelk::os::kErrorSuccess || type != REG_SZ) {
        if (result == zelk::os::kErrorSuccess) Note(kErrorInvalidDatatype);
        return def;
    }
    std::size_t const stored = size < sizeof(buffer) ? size : sizeof(buffer);
    void const* zero = std::memchr(buffer, 0, stored);
    std::size_t const length = zero ? static_cast<std::size_t>(static_cast<char const*>(zero) - buffer) : stored;
    return BinChar(buffer, static_cast<int>(length));
}

bool FReg::SetString(BinChar const& valueName, BinChar const& text) {
    return Set(valueName, REG_SZ, static_cast<char const*>(text), static_cast<std::size_t>(text.len()));
}

BinChar FReg::GetString(char const* valueName, char const* def) { return GetString(valueName, BinChar(def)); }

bool FReg::SetString(BinChar const& valueName, char const* text) { return SetString(valueName, BinChar(text)); }

HKEY FReg::FindSubKey(char const* mask, int depthLimit) {
    int const limit = depthLimit > kMaxDepthLimit ? kMaxDepthLimit : depthLimit;
    for (;;) {
        HKEY key = m_keys[m_depth];
        while (key) {
            if (zelk::os::RegEnumKeyA(key, m_indexes[m_depth], m_buffer, kNameBufferSize) != zelk::os::kErrorSuccess) {
                break;
            }
            ++m_depth;
            if (m_depth <= limit) {
                m_indexes[m_depth] = 0;
                HKEY opened = nullptr;
                m_keys[m_depth] =
                    zelk::os::RegOpenKeyA(key, m_buffer, &opened) == zelk::os::kErrorSuccess ? opened : nullptr;
            } else {
                m_keys[m_depth] = nullptr;
            }
            ++m_indexes[m_depth - 1];
            if (m_keys[m_depth] && BinChar(m_buffer).MaskenFit(mask)) {
                return m_keys[m_depth];
            }
            key = m_keys[m_depth];
        }
        // This level is used up (or has no open key): back to the parent.
        if (m_depth <= 0) {
            return nullptr;
        }
        if (m_keys[m_depth]) {
            zelk::os::RegCloseKey(m_keys[m_depth]);
            m_keys[m_depth] = nullptr;
        }
        --m_depth;
    }
}

bool FReg::FindKeys(char const* mask, BinChar& name, int& index) {
    if (!m_key) {
        return false;
    }
    for (;;) {
        if (zelk::os::RegEnumKeyA(m_key, static_cast<std::uint32_t>(index), m_buffer, kNameBufferSize) !=
            zelk::os::kErrorSuccess) {
            return false;
        }
        ++index;
        BinChar found(m_buffer);
        if (found.MaskenFit(mask)) {
            name = std::move(found);
            return true;
        }
    }
}

bool FReg::FindValues(char const* mask, BinChar& name, int& index, unsigned long* type) {
    if (!m_key) {
        return false;
    }
    for (;;) {
        std::uint32_t size = kNameBufferSize;
        std::uint32_t foundType = 0;
        if (zelk::os::RegEnumValueA(m_key, static_cast<std::uint32_t>(index), m_buffer, &size, nullptr,
                                    type ? &foundType : nullptr, nullptr, nullptr) != zelk::os::kErrorSuccess) {
            return false;
        }
        if (type) {
            *type = foundType;
        }
        ++index;
        BinChar found(m_buffer);
        if (found.MaskenFit(mask)) {
            name = std::move(found);
            return true;
        }
    }
}

long FReg::Note(long result) {
    if (result != zelk::os::kErrorSuccess) m_lastError = result;
    return result;
}

long FReg::GetLastErrorCode() const { return m_lastError; }

// The string types need their data readable one byte past `size` (see
// RegSetValueExA); every caller's data is a BinChar's or a number's, and a
// BinChar keeps a zero after its bytes.
bool FReg::Set(BinChar const& valueName, unsigned long type, void const* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return Note(zelk::os::kErrorInvalidParameter), false;
    return Note(zelk::os::RegSetValueExA(m_key, valueName, 0, static_cast<std::uint32_t>(type),
                                         static_cast<unsigned char const*>(data), static_cast<std::uint32_t>(size))) ==
           zelk::os::kErrorSuccess;
}

// The whole value, however long: asks its size, reads, and asks again when
// a writer made it longer in between.
bool FReg::Get(char const* valueName, unsigned long type, BinChar& data) {
    std::uint32_t size = 0, found = 0;
    long result = zelk::os::RegQueryValueExA(m_key, valueName, nullptr, &found, nullptr, &size);
    while (result == zelk::os::kErrorSuccess || result == zelk::os::kErrorMoreData) {
        if (found != type) return Note(kErrorInvalidDatatype), false;
        std::string buffer(size, '\0');
        std::uint32_t read = size;
        result = zelk::os::RegQueryValueExA(m_key, valueName, nullptr, &found,
                                            reinterpret_cast<unsigned char*>(buffer.data()), &read);
        if (result == zelk::os::kErrorSuccess && found == type) {
            data = BinChar(buffer.data(), static_cast<int>(read < size ? read : size));
            return true;
        }
        size = read;
    }
    return Note(result), false;
}

bool FReg::ValueExists(char const* valueName) {
    return Note(zelk::os::RegQueryValueExA(m_key, valueName, nullptr, nullptr, nullptr, nullptr)) ==
           zelk::os::kErrorSuccess;
}

std::uint64_t FReg::GetQWORD(char const* valueName, std::uint64_t def) {
    BinChar data;
    if (!Get(valueName, REG_QWORD, data)) return def;
    if (data.len() > 8) return Note(kErrorInvalidDatatype), def;
    std::uint64_t value = 0;  // shorter values read zero-extended, as GetDWORD reads them
    std::memcpy(&value, static_cast<char const*>(data), static_cast<std::size_t>(data.len()));
    return value;
}

bool FReg::SetQWORD(BinChar const& valueName, std::uint64_t value) { return Set(valueName, REG_QWORD, &value, 8); }

BinChar FReg::GetBinary(char const* valueName, BinChar def) {
    BinChar data;
    return Get(valueName, REG_BINARY, data) ? data : def;
}

bool FReg::SetBinary(BinChar const& valueName, BinChar const& data) {
    return Set(valueName, REG_BINARY, static_cast<char const*>(data), static_cast<std::size_t>(data.len()));
}

// Stored as Windows stores it: each text with its zero, then one more zero.
// Read back up to the empty text that ends the list, whatever follows it.
BinChar FReg::GetMultiString(char const* valueName, BinChar def) {
    BinChar data;
    if (!Get(valueName, REG_MULTI_SZ, data)) return def;
    std::string_view const bytes(data, static_cast<std::size_t>(data.len()));
    std::string list;
    for (std::size_t pos = 0; pos < bytes.size() && bytes[pos] != '\0';) {
        std::size_t const zero = std::min(bytes.find('\0', pos), bytes.size());
        list.append(bytes.substr(pos, zero - pos)).push_back('\0');
        pos = zero + 1;
    }
    return BinChar(list.data(), static_cast<int>(list.size()));
}

bool FReg::SetMultiString(BinChar const& valueName, BinChar const& texts) {
    std::string list(static_cast<char const*>(texts), static_cast<std::size_t>(texts.len()));
    if (!list.empty() && list.back() != '\0') list.push_back('\0');
    list.push_back('\0');
    return Set(valueName, REG_MULTI_SZ, list.data(), list.size());
}

bool FReg::DeleteValue(char const* valueName) {
    return Note(zelk::os::RegDeleteValueA(m_key, valueName)) == zelk::os::kErrorSuccess;
}

bool FReg::DeleteKey(char const* subKey) {
    if (subKey == nullptr || *subKey == '\0') return Note(zelk::os::kErrorInvalidParameter), false;
    return Note(zelk::os::RegDeleteKeyA(m_key, subKey)) == zelk::os::kErrorSuccess;
}

bool FReg::DeleteTree(char const* subKey) {
    if (subKey == nullptr || *subKey == '\0') return Note(zelk::os::kErrorInvalidParameter), false;
    return Note(zelk::os::RegDeleteTreeA(m_key, subKey)) == zelk::os::kErrorSuccess;
}
