// ZelkErr — FReg, one open registry key with typed getters and setters,
// wildcard listings of its sub-keys and values, and a depth-first walk of the
// tree below it.
//
// Failures never raise: a key that cannot be opened makes an invalid wrapper,
// getters return their defaults, setters and listings return false, the walk
// returns null.  One wrapper belongs to one thread at a time.
#pragma once

#include <zelk/binchar.h>
#include <zelk/export.h>
#include <zelk/hkey.h>

#include <cstdint>

class ZELK_API FReg {
public:
    // The walk's stacks hold this many levels (0 = the key itself).
    static constexpr int kLevels = 10;
    // The size of the name buffer that enumerations read into.
    static constexpr int kNameBufferSize = 1024;
    // The size of the buffer GetString reads into, terminator included.
    static constexpr int kStringBufferSize = 8192;

    // Opens (or, with `create`, creates) `name` below `root`.  An empty name
    // borrows `root` itself, which the wrapper then never closes.
    FReg(HKEY root, BinChar name, bool create);
    // A wrapper of the same key with its own handles (see freg.cpp).
    FReg(FReg const& other);
    FReg& operator=(FReg const& other);
    ~FReg();

    bool IsValid() const;
    operator HKEY__*() const;

    // The REG_DWORD value `valueName`, or `def` when it is missing, of
    // another type or larger than 4 bytes.
    unsigned long GetDWORD(char const* valueName, unsigned long def);
    int GetInt(char const* valueName, unsigned long def);
    // Stores the low 32 bits of `value` as REG_DWORD.
    bool SetDWORD(BinChar valueName, unsigned long value);
    // The REG_SZ value `valueName` up to its first zero byte, or `def` when
    // it is missing, of another type or longer than 8192 bytes.
    BinChar GetString(char const* valueName, BinChar def);
    bool SetString(BinChar const& valueName, BinChar const& text);
    // A text argument written as a C string: a null pointer is the empty
    // text.  These forms make a literal 0 or NULL where a text is expected
    // mean "no text", as it does in C: SetString("n", 0) writes "" and
    // GetString("n", 0) falls back to "".  An int that is not such a
    // literal converts to its decimal text (SetString("n", count) writes
    // "7" for 7), and so does any int given as a name.
    BinChar GetString(char const* valueName, char const* def);
    bool SetString(BinChar const& valueName, char const* text);

    // One step of a depth-first (pre-order) walk of the sub-keys below this
    // key, down to `depthLimit` levels (clamped to 8): the next key whose
    // name fits `mask`, or null when the walk is over.  The handle belongs
    // to the walk and stays valid until the next call.
    HKEY FindSubKey(char const* mask, int depthLimit);
    // The next direct sub-key from `index` on whose name fits `mask`;
    // `index` moves past it.  False when there is none.
    bool FindKeys(char const* mask, BinChar& name, int& index);
    // The same over the key's values; `type` (may be null) receives the
    // value's type code.
    bool FindValues(char const* mask, BinChar& name, int& index, unsigned long* type);

private:
    void CloseWalk();
    void CopyFrom(FReg const& other);

    BinChar m_name;
    HKEY m_key;
    std::int32_t m_depth;
    HKEY m_keys[kLevels];
    std::uint32_t m_indexes[kLevels];
    char m_buffer[kNameBufferSize];
};
