/// @file
/// BinChar, the library's counted byte string with Windows path, wildcard
/// and hexadecimal operations, and NonLocal::StringToDouble, number parsing
/// whatever the locale.
#pragma once

#include <zelk/export.h>

#include <cstdint>

/// A counted run of bytes that may contain zero bytes, always followed by one
/// terminating zero byte, so its text can go to any function that wants a C
/// string.
///
/// A value type: every operation that yields a string returns a new BinChar
/// and leaves the operand alone; only assignment, operator+=() and
/// Translate() change the object.  Some operations count the content by its
/// length (len(), zero bytes included), others read the "visible text": the
/// bytes up to the first zero byte.  Each member says which.  Bytes are
/// bytes: only "A"-"Z" and "a"-"z" are ever folded, never bytes of 0x80 and up.
///
/// Pass a BinChar to printf() and other variadic functions as
/// `static_cast<char const*>(s)`: passed as it is, the object itself goes
/// through the "..." and prints garbage.
/// @code
/// BinChar const name = BinChar("Report.TXT").Lower();
/// std::printf("%s has %d bytes\n", static_cast<char const*>(name), name.len());
/// @endcode
///
/// @par Paths
/// The path members take the text as a Windows file name: `c:\dir\f.txt`
/// names a drive, `\\server\share\f.txt` a network share, `\` and `/` both
/// separate.  They work on the text alone: besides reading the process's
/// current directory (once per call) they never look at the file system or
/// check that a file exists.  Their results are Windows names.  On POSIX
/// systems the current directory reads as a Windows name on the drive Z:,
/// lower-cased: in /home/Ann, `BinChar("x.txt").FullFileName(root)` is
/// `z:\home\ann\x.txt`, and `/etc/x` becomes `z:/etc/x`.  The library's own
/// file names (message files) take such names; before handing one to a POSIX
/// call, drop the `z:`, turn every `\` into `/` and mind that the case of the
/// current directory is lost.
///
/// Cost: every change allocates a fresh buffer of exactly the needed size;
/// there is no spare capacity.
///
/// Thread safety: no lock.  Distinct objects may be used on different threads
/// at once; one object may be read by several threads but not changed while
/// another uses it.
class ZELK_API BinChar {
public:
    /// @name Construction
    /// @{

    /// The empty string.
    BinChar();
    /// A copy of a zero-terminated text.
    /// @param text the text; null gives the empty string
    BinChar(char const* text);
    /// The first `count` bytes of `source`, zero bytes included.
    /// @param source the bytes; null gives `count` zero bytes
    /// @param count the number of bytes; a negative count gives the empty string
    BinChar(void const* source, int count);
    /// Bytes [from, to) of `source`: max(to - from, 0) bytes copied from
    /// source + from.
    /// @param source the bytes; null gives that many zero bytes
    /// @param from the index of the first byte
    /// @param to the index after the last byte
    BinChar(void const* source, int from, int to);
    /// A copy of every stored byte of `other`.
    /// @param other the string to copy
    BinChar(BinChar const& other);
    /// Takes over `other`'s bytes and leaves it a valid empty string.
    /// @param other the string to take from
    BinChar(BinChar&& other);
    /// `count` copies of one byte.
    /// @param c the byte
    /// @param count how many; a negative count gives the empty string
    BinChar(char c, int count);
    /// The decimal text of `value` ("-42"); the same as BinChar(value, 0).
    ///
    /// Not explicit: an int converts to its decimal text wherever a BinChar
    /// is expected (`BinChar b = 7;` is "7").  The literal 0 is a null
    /// pointer as well: where a `char const*` form exists (operator==(),
    /// operator!=(), FReg's text arguments) it is the null text instead.  A
    /// BinChar plus an int variable is ambiguous (text or pointer arithmetic)
    /// and does not compile: write `s + BinChar(n)`, or
    /// `static_cast<char const*>(s) + n`.
    /// @param value the number
    BinChar(int value);
    /// The decimal text of `value`, its digits padded on the left with "0" to
    /// at least `width` digits; a "-" goes in front and does not count:
    /// (5, 3) gives "005", (-42, 5) gives "-00042", (123, 2) gives "123".
    /// @param value the number
    /// @param width the least number of digits
    BinChar(int value, int width);
    /// Frees the bytes.
    ~BinChar();

    /// @}
    /// @name Access and comparison
    /// @{

    /// @return the number of stored bytes, zero bytes included (not counting
    ///         the terminating zero)
    int len() const noexcept { return m_length; }
    /// The bytes as a zero-terminated text, valid while the object lives
    /// unchanged.  For printf() and other variadic functions convert
    /// explicitly: `static_cast<char const*>(s)`.
    /// @return the text; never null
    operator char const*() const noexcept { return m_data; }

    /// Copies every stored byte of `other`; assigning to itself changes nothing.
    /// @param other the string to copy
    /// @return this string
    BinChar& operator=(BinChar const& other);
    /// Swaps the bytes of both strings: `other` keeps a valid string.
    /// @param other the string to take from
    /// @return this string
    BinChar& operator=(BinChar&& other) noexcept;

    /// Concatenation of both stored contents, zero bytes included.
    /// @param other the string to append
    /// @return the new string
    BinChar operator+(BinChar const& other) const;
    /// Concatenation with a zero-terminated text.
    /// @param text the text to append; null appends nothing
    /// @return the new string
    BinChar operator+(char const* text) const;
    /// Appends `other` to this string.
    /// @param other the string to append, zero bytes included
    /// @return this string
    BinChar const& operator+=(BinChar const& other);

    /// Compares the visible texts byte for byte, case-sensitively; the bytes
    /// after a first zero byte and the stored lengths play no part.
    /// @param other the string to compare with
    /// @return true when the visible texts are equal
    bool operator==(BinChar const& other) const noexcept;
    /// Compares the visible text with a zero-terminated text.
    /// @param text the text; null compares like ""
    /// @return true when the texts are equal
    bool operator==(char const* text) const noexcept;
    /// @param other the string to compare with
    /// @return the negation of operator==()
    bool operator!=(BinChar const& other) const noexcept;
    /// @param text the text; null compares like ""
    /// @return the negation of operator==()
    bool operator!=(char const* text) const noexcept;
    /// Compares a text on the left with the visible text of a string (never
    /// the two pointers).
    /// @param text the text; null compares like ""
    /// @param string the string
    /// @return true when the texts are equal
    friend bool operator==(char const* text, BinChar const& string) noexcept { return string == text; }
    /// @param text the text; null compares like ""
    /// @param string the string
    /// @return the negation of operator==()
    friend bool operator!=(char const* text, BinChar const& string) noexcept { return string != text; }

    /// @}
    /// @name Substrings, trimming and padding
    /// @{

    /// The substring of `count` stored bytes from index `start`, cut at the end.
    /// @param start the index of the first byte; a negative start counts as 0
    /// @param count the number of bytes
    /// @return the substring; empty for a count of 0 or less or a start at or
    ///         past the end
    BinChar operator()(int start, int count) const;

    /// @param n the number of bytes
    /// @return the first min(n, len()) stored bytes; empty for n of 0 or less
    BinChar Left(int n) const;
    /// The end of the visible text: with m the visible length,
    /// `(*this)(m - min(m, n), m)`.  For text without zero bytes that is its
    /// last min(n, len()) bytes, and empty for n of 0 or less.  After a zero
    /// byte the stored bytes count: the five bytes `ab\0cd` give `b\0` for
    /// 1, `\0c` for 0, `cd` for -1 and the empty string for -3.
    /// @param n the number of bytes
    /// @return the substring
    BinChar Right(int n) const;
    /// @return the string without its leading spaces (0x20 only: tabs stay);
    ///         every stored byte after them kept
    BinChar LTrim() const;
    /// @return the visible text without its trailing spaces (0x20 only)
    BinChar RTrim() const;
    /// @return RTrim() of LTrim(): the visible text without leading and
    ///         trailing spaces (0x20 only)
    BinChar Trim() const;
    /// @param n the length wanted
    /// @return the string with spaces put in front up to `n` bytes; never
    ///         shortened
    BinChar LPad(int n) const;
    /// @param n the length wanted
    /// @return the string with spaces appended up to `n` bytes; never shortened
    BinChar RPad(int n) const;

    /// @}
    /// @name Search, replace and words
    /// @{

    /// Finds all stored bytes of `pattern` in the stored content,
    /// case-sensitively; zero bytes compare like any byte.
    /// @param pattern the bytes to find
    /// @param from the index to search from
    /// @return the index of the first occurrence at or after `from`; len() when
    ///         there is none, when `from` is negative or not below len(), and
    ///         for an empty pattern
    int iStr(BinChar const& pattern, int from) const;
    /// Replaces, in this string, every occurrence of `from` by `to`, left to
    /// right and without overlap; the inserted text is not searched again
    /// ("xax" with "x" -> "xx" gives "xxaxx").
    /// @param from the bytes to replace; empty replaces nothing
    /// @param to the replacement
    /// @return the number of replacements
    int Translate(BinChar const& from, BinChar const& to);
    /// Word number `n` of the trimmed visible text.  Runs of separators count
    /// as one and separators at the start are skipped, so there are no empty
    /// words.
    /// @param n the word's number, counted from 1
    /// @param separator the separating byte.  ' ' stands for every byte that
    ///        is 32 or less as a signed char: white space and control bytes,
    ///        and also the bytes 0x80 to 0xFF (so "ä" in Windows-1252
    ///        separates words)
    /// @return the word; empty for n of 0 or less and when there are fewer
    ///         than `n` words
    BinChar GetWord(int n, char separator) const;

    /// @}
    /// @name Case and numbers
    /// @{

    /// @return a copy with "A".."Z" turned into "a".."z" over every stored
    ///         byte; all other bytes stay
    BinChar Lower() const;
    /// @return a copy with "a".."z" turned into "A".."Z" over every stored
    ///         byte; all other bytes stay
    BinChar Upper() const;

    /// Reads the visible text as a decimal int: optional white space, one
    /// optional sign, digits; it stops at the first other byte ("12abc" gives
    /// 12).
    /// @return the number, clamped to the range of int
    /// @exception int the value 0, when no digit is there ("x42", "-", "");
    ///            IsInt() tells beforehand
    int ToInt() const;
    /// @return whether ToInt() finds a number (it does not throw)
    bool IsInt() const;

    /// @}
    /// @name Paths and masks
    /// Windows file names; see the class for what they read and how POSIX
    /// systems spell them.
    /// @{

    /// The full name of this string taken as a file name relative to the
    /// current directory: `x.txt` in `c:\work` gives `c:\work\x.txt`, `\x.txt`
    /// gives `c:\x.txt`, `d:x.txt` gives `d:\x.txt`.  The current directory is
    /// read lower-cased; "." and ".." steps stay (see ReducePath()).
    /// @param rootLength receives the length of the drive or share prefix,
    ///        separator included: 3 for `c:\`, 12 for `\\srv\share\`; 0 when no
    ///        full name can be formed
    /// @return the full name; empty for an empty string, for a drive that is
    ///         not a letter, and for a network name without a share
    BinChar FullFileName(int& rootLength) const;
    /// The folder part of the full name, or a number of its leading levels.
    /// @param levels 0 (or less) for the whole folder: `c:\a\b\f.txt` gives
    ///        `c:\a\b`.  Otherwise the full name is cut at its separator after
    ///        `levels` - 1 steps below the root: 1 gives `c`, 2 `c:`, 3 `c:\a`.
    /// @return the folder; empty when no full name can be formed
    BinChar Directory(int levels) const;
    /// @return the part of the full name after its folder ("f.txt"); empty for
    ///         a name that ends in a separator
    BinChar FileName() const;
    /// Joins a path to this folder name: `c:\a` with `b` gives `c:\a\b`.  The
    /// result is not made full unless `path` stands alone.
    /// @param path the path to append; one that starts with a separator or a
    ///        drive ("d:...") stands alone and gives its own full name
    /// @return the joined name; the full name of this string for an empty `path`
    BinChar AddPath(BinChar const& path) const;
    /// @return the full name with its "." steps and each ".." step with the
    ///         folder before it removed: `c:\a\b\..\.\c` gives `c:\a\c`;
    ///         `\` for an empty string
    BinChar ReducePath() const;
    /// Replaces the extension: everything from the first "." of the file name
    /// on (`c:\d\a.tar.gz` with `zip` gives `c:\d\a.zip`).
    /// @param extension the new extension without the dot; null or "" leaves
    ///        the name ending in "."
    /// @return the new name
    BinChar SetExtension(char const* extension) const;
    /// Whether the visible text fits a wildcard mask: "?" stands for any one
    /// byte, "*" for any run of bytes, "*.*" for anything; "A".."Z" match
    /// "a".."z".  After a "*" the literal text that follows is taken at its
    /// first occurrence and never reconsidered, so "a.txt.txt" does not fit
    /// "*.txt".  A mask is one pattern, not a list.
    /// @param mask the mask; null counts as ""
    /// @return true when the text fits
    bool MaskenFit(char const* mask) const;

    /// @}
    /// @name Hexadecimal
    /// @{

    /// @return two upper-case hex digits per stored byte, high half first
    ///         (the bytes 0x00 0xAB give `00AB`)
    BinChar BinToHex() const;
    /// @return the bytes that the visible hex text (either case) stands for;
    ///         it stops at the first pair with a non-hex digit, and an odd last
    ///         digit is ignored (`12zz34` gives the one byte 0x12)
    BinChar HexToBin() const;

    /// @}

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

/// Number parsing that does not depend on the locale.
namespace NonLocal {

/// Reads a number from the start of `text` in any radix from 2 to 36, with
/// "." as the fraction point and "0"-"9", "a"-"z" (either case) as digits,
/// whatever the C locale says.
///
/// It takes leading spaces (0x20 only), any number of signs ("--5" is 5),
/// digits with an optional fraction, and in radices up to 10 an exponent
/// ("e" or "E" followed by a number read the same way).  A point needs no
/// digits: "." reads as 0 and "-." as -0 (taking 1 and 2 characters), and
/// ".5" as 0.5.  Values beyond 8.2e307, and every value whose exponent is
/// out of range (even "0e400"), come out as +8.988e307: the sign is dropped,
/// so "-1e400" gives +8.988e307 too.  It reports how many characters it
/// took, so a caller can go on reading behind the number.  No state: any
/// thread may call it.
/// @param text a zero-terminated text
/// @param result receives the value
/// @param radix the radix, 2 to 36
/// @return the number of characters taken; 0 when the radix is out of range,
///         no number stands at the start, or the number with its blanks,
///         signs and exponent is longer than the largest int (its length
///         could not be returned), and then *result is left unchanged
ZELK_API int StringToDouble(char const* text, double* result, int radix);

}  // namespace NonLocal
