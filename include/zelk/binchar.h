// ZelkErr — BinChar, the library's counted byte string, and locale-free
// number parsing.
//
// A BinChar holds a run of bytes that may contain zero bytes and is always
// followed by one terminating zero byte, so its text can go to any function
// that wants a C string.  It is a value type: every operation that yields a
// string returns a new BinChar and leaves the operand alone; only assignment,
// operator+= and Translate change the object.  Some operations count the
// content by its length, others read it as zero-terminated text (they stop at
// the first zero byte); each member below says which.
//
// The path members treat the text as a Windows file name ("\" and "/" both
// separate; "c:" names a drive, "\\server\share\" a network share) and read
// only the process's current directory, never the file system otherwise.
#pragma once

#include <zelk/export.h>

#include <cstdint>

class ZELK_API BinChar {
public:
    // The empty string.
    BinChar();
    // A copy of the zero-terminated text; null gives the empty string.
    BinChar(char const* text);
    // The first `count` bytes of `source`, zero bytes included.  A negative
    // count gives the empty string; a null source gives `count` zero bytes.
    BinChar(void const* source, int count);
    // Bytes [from, to) of `source`: max(to - from, 0) bytes copied from
    // source + from.  A null source gives that many zero bytes.
    BinChar(void const* source, int from, int to);
    BinChar(BinChar const& other);
    // Leaves `other` a valid empty string.
    BinChar(BinChar&& other);
    // `count` copies of `c`; a negative count gives the empty string.
    BinChar(char c, int count);
    // Decimal text of `value`; the same as BinChar(value, 0).  Not explicit:
    // an int converts to its decimal text wherever a BinChar is expected
    // (BinChar b = 7 is "7").  The literal 0 is a null pointer as well: where
    // a char const* form exists (operator==, operator!=, FReg's text
    // arguments) it is the null text.  A BinChar plus an int variable is
    // ambiguous (text or pointer arithmetic) and does not compile: write
    // s + BinChar(n), or static_cast<char const*>(s) + n.
    BinChar(int value);
    // Decimal text of `value`, its digits padded on the left with "0" to at
    // least `width` digits; a "-" goes in front and does not count.
    BinChar(int value, int width);
    ~BinChar();

    // The number of content bytes (zero bytes included).
    int len() const noexcept { return m_length; }
    // The zero-terminated text; valid while the object lives unchanged.
    operator char const*() const noexcept { return m_data; }

    BinChar& operator=(BinChar const& other);
    // Swaps buffers: `other` keeps a valid string.
    BinChar& operator=(BinChar&& other) noexcept;

    // Concatenation of both contents, zero bytes included.
    BinChar operator+(BinChar const& other) const;
    // The same with the argument read as zero-terminated text (null adds nothing).
    BinChar operator+(char const* text) const;
    BinChar const& operator+=(BinChar const& other);

    // Equal when the zero-terminated texts are equal byte for byte; bytes
    // after a first zero byte and the stored lengths play no part.  A null
    // text compares like the empty text.
    bool operator==(BinChar const& other) const noexcept;
    bool operator==(char const* text) const noexcept;
    bool operator!=(BinChar const& other) const noexcept;
    bool operator!=(char const* text) const noexcept;
    // With the text on the left the comparison must still compare texts,
    // never the two pointers.
    friend bool operator==(char const* text, BinChar const& string) noexcept { return string == text; }
    friend bool operator!=(char const* text, BinChar const& string) noexcept { return string != text; }

    // `count` bytes from `start`, cut at the end; a count of 0 or less or a
    // start at or past the end gives the empty string.  A negative start
    // counts as 0.
    BinChar operator()(int start, int count) const;

    // The first min(n, len()) bytes.
    BinChar Left(int n) const;
    // With m the visible length (up to the first zero byte):
    // operator()(m - min(m, n), m).  For text without zero bytes that is its
    // last n bytes, and nothing for n <= 0; after a zero byte the stored
    // bytes count, so "ab\0cd" gives "b\0" for 1, "\0c" for 0, "cd" for -1.
    BinChar Right(int n) const;
    // Without leading spaces (0x20 only), all stored bytes kept.
    BinChar LTrim() const;
    // The visible text without trailing spaces (0x20 only).
    BinChar RTrim() const;
    BinChar Trim() const;
    // Padded with spaces on the left / right to n bytes; never shortened.
    BinChar LPad(int n) const;
    BinChar RPad(int n) const;

    // Index of the first occurrence of all of `pattern`'s bytes at or after
    // `from`; len() when there is none, when `from` is out of range or when
    // the pattern is empty.
    int iStr(BinChar const& pattern, int from) const;
    // Replaces every occurrence of `from` by `to`, left to right and without
    // overlap; inserted text is not searched again.  Returns the count.
    int Translate(BinChar const& from, BinChar const& to);
    // Word n (from 1) of the trimmed visible text.  Runs of separators count
    // as one.  With ' ' every byte that is 32 or less as a signed char
    // separates (so also 0x80..0xFF); otherwise only `separator` does.
    BinChar GetWord(int n, char separator) const;

    // "A".."Z" <-> "a".."z" over all bytes; every other byte stays.
    BinChar Lower() const;
    BinChar Upper() const;

    // The visible text as a decimal int: optional white space, one sign,
    // digits; stops at the first other byte and clamps to the int range.
    // Throws the int 0 when no digit is there.
    int ToInt() const;
    // Whether ToInt finds a number.
    bool IsInt() const;

    // ---- paths ----
    // The full name of the object taken as a file name relative to the
    // current directory; `rootLength` receives the length of the drive or
    // share prefix, separator included (0 when no full name can be formed,
    // in which case the result is empty).
    BinChar FullFileName(int& rootLength) const;
    // The full name up to the separator after `levels` - 1 steps below the
    // root; 0 (or a negative value) means every step, i.e. the folder.
    BinChar Directory(int levels) const;
    // The part of the full name after its folder.
    BinChar FileName() const;
    // `path` joined to the object; an absolute `path` stands alone.
    BinChar AddPath(BinChar const& path) const;
    // The full name with "." and ".." steps removed.
    BinChar ReducePath() const;
    // The name with everything from the first "." of its file name replaced
    // by "." and `extension` (null adds nothing after the dot).
    BinChar SetExtension(char const* extension) const;
    // Whether the visible text fits the wildcard mask ("*", "?"), ignoring
    // the case of "A".."Z".  A null mask counts as the empty mask.
    bool MaskenFit(char const* mask) const;

    // ---- hexadecimal ----
    // Two upper-case hex digits per stored byte, high half first.
    BinChar BinToHex() const;
    // The bytes the visible hex text stands for; stops at the first
    // non-hex digit, an odd last digit is ignored.
    BinChar HexToBin() const;

private:
    struct Uninitialised {};
    // A string of `length` bytes whose content the caller fills in; the
    // terminating zero is already written.
    BinChar(Uninitialised, std::int64_t length);
    char* Data() noexcept { return m_data; }
    int VisibleLength() const noexcept;

    std::int32_t m_length;
    char* m_data;
};

namespace NonLocal {

// Reads a number in `radix` (2..36) from the start of `text`, with "." as the
// fraction point whatever the C locale says, and stores it in *result.
// Returns the number of characters taken (leading blanks, signs, digits, the
// point and an exponent part), or 0 when the radix is out of range or no
// number stands there; then *result is left unchanged.
ZELK_API int StringToDouble(char const* text, double* result, int radix);

}  // namespace NonLocal
