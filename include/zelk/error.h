/// @file
/// Error objects and their texts: the error interface IZelkError, the base
/// error CZelkError that hosts derive their error classes from, the snapshot
/// CErrorClone, and the process's message files.
///
/// A host derives an error class from CZelkError, names the message-file
/// section of its texts with GetTypeName(), and reports errors with ERRAdd()
/// (error_list.h):
/// @code
/// class FileError : public CZelkError {
/// public:
///     FileError(char const* file, int line, int code) : CZelkError(file, line, code) {}
///     char const* GetTypeName() const override { return "FileError"; }
/// };
///
/// SetMsgFileName("z:\\opt\\suite\\German.txt");  // at start-up; English: z:\opt\suite\Zelk.TXT
/// ERRAdd(FileError(__FILE__, __LINE__, 42));     // text: section [FileError], key 42
/// @endcode
///
/// @par Message files
/// Error texts stand in two files in the Windows initialisation-file format,
/// one translated (named with SetMsgFileName()) and the English "Zelk.TXT" in
/// the same folder:
/// @code{.unparsed}
/// [FileError]
/// 42=Access denied
/// [netError]
/// 002a=Connection refused
/// @endcode
/// The section is the error's type name.  The key is its code: in decimal
/// ("%d": 42, -1) when the first byte of the type name is below 0x60 (capital
/// letters, digits, '_', and bytes of 0x80 and up), in lower-case hexadecimal
/// of at least four digits ("%04x": 002a, ffffffff) when it is 0x60 or above
/// (lower-case letters).  There is no comment syntax, but a line such as
/// "; text" is a key nobody asks for and so serves as one.  Names of sections
/// and keys match whatever the case of A-Z.
///
/// @par Text encoding
/// Texts are bytes of the ANSI code page, never converted for the caller.  On
/// Windows that is the system's code page.  On POSIX systems it is
/// Windows-1252: a file that starts with a UTF-8 or UTF-16 byte-order mark is
/// converted to it (characters it lacks become '?'), and a file without a mark
/// gives its bytes as they stand.  So "ä" from a marked UTF-8 file comes back
/// as the one byte 0xE4, which a UTF-8 terminal does not show as "ä":
/// convert texts for such a terminal (iconv from "WINDOWS-1252" to "UTF-8",
/// as the README shows), never for the library's own calls.
///
/// @par File names on POSIX systems
/// Message-file names are Windows names, because the library derives the
/// English file's name the Windows way (it cuts the name at its last
/// backslash).  Write POSIX paths on the drive Z:, which stands for the root
/// `/` (any drive letter does): `z:\opt\suite\German.txt` is
/// /opt/suite/German.txt.  A component that does not exist as spelled is
/// matched whatever the case of A-Z, so the lower-cased English name still
/// finds /opt/Suite/zelk.txt.  Every lookup resolves the name again, so a
/// file rewritten or replaced on disk, a symbolic link repointed or a folder
/// swapped on the path serves the next lookup.
#pragma once

#include <zelk/export.h>

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

class ErrorListPos;
class CZelkErrorList;

/// The process-wide number of an error: its identity in every error list.
///
/// Every CZelkError draws the next number when it is made; numbers rise by one
/// across all threads of the process in the order errors are made, starting
/// at 1.  The value 0 names no error.  Copies and snapshots of an error carry
/// its number.  A value type, copied freely.
class COrdinalNumber {
public:
    /// The number 0, which names no error.
    constexpr COrdinalNumber() noexcept = default;
    /// A number as given.
    /// @param number the ordinal number; 0 names no error
    constexpr explicit COrdinalNumber(std::uint32_t number) noexcept : m_number(number) {}

    /// @return the number
    constexpr std::uint32_t Get() const noexcept { return m_number; }
    /// @return true for 0, the number that names no error
    constexpr bool IsNull() const noexcept { return m_number == 0; }

    /// @return true when both hold the same number
    friend constexpr bool operator==(COrdinalNumber, COrdinalNumber) noexcept = default;
    /// Orders by the number taken as unsigned; errors made later compare greater
    /// until the numbering wraps after 2^32 errors.
    /// @return the order of the two numbers
    friend constexpr std::strong_ordering operator<=>(COrdinalNumber, COrdinalNumber) noexcept = default;

private:
    std::uint32_t m_number = 0;
};

/// The icon a user interface shows beside an error (IZelkError::GetErrorIcon()).
///
/// The library itself only ever reports ZelkErrorIconError, the base error's
/// icon; the other values are for error classes of the host.
enum ZelkErrorID {
    ZelkErrorIconNone = 0,  ///< no icon
    ZelkErrorIconInformation = 1,  ///< an information sign
    ZelkErrorIconError = 2,  ///< an error sign; what every CZelkError reports
    ZelkErrorIconWarning = 3,  ///< a warning sign
    ZelkErrorIconQuestion = 4,  ///< a question mark
};

/// The interface every error implements.
///
/// Everything that reads errors (error lists, snapshots, hosts) reads them
/// through these fifteen virtual operations alone; their order is part of the
/// library's binary interface.  The library implements it twice: CZelkError,
/// the base class of the host's errors, and CErrorClone, the snapshot that
/// error lists store.
///
/// Thread safety: an error object has no lock and is used by one thread at a
/// time; reading its description lines may change its state for the length of
/// the call.
class ZELK_API IZelkError {
public:
    /// Nothing to initialise.
    IZelkError() noexcept = default;
    /// Nothing to copy.
    IZelkError(IZelkError const&) noexcept = default;
    /// Assigning through the interface copies nothing: the interface has no state.
    /// @return this object
    IZelkError& operator=(IZelkError const&) noexcept { return *this; }
    /// Every error is destroyed through this, whatever its class.
    virtual ~IZelkError();

    /// The error's process-wide number; copies and snapshots carry the same one.
    /// @return the number; 0 only for an empty snapshot
    virtual COrdinalNumber GetOrdinalNumber() const = 0;
    /// The name of the error's class of errors: the message-file section of its
    /// texts, whose first byte also chooses how the code is written as the key
    /// there (decimal below 0x60, hexadecimal from 0x60 on; see error.h).
    /// @return the name; never null
    virtual char const* GetTypeName() const = 0;
    /// Copies one line of the error's description, translated when the error's
    /// translation flag is set (IsMessageTranslationEnabled()), English otherwise.
    ///
    /// Readers fetch lines 0, 1, 2, ... and stop at the first 0.  A base error
    /// has one line, line 0, from the message files.
    /// @param line the line, counted from 0
    /// @param kind the description kind, 0 or 1: an error may carry two texts
    ///        (for instance a short and a long one).  The base error has one
    ///        text and ignores `kind`; a snapshot keeps both kinds and reads
    ///        any kind other than 0 as 1.
    /// @param buffer receives the text (bytes of the ANSI code page,
    ///        Windows-1252 on POSIX systems), cut to `size` - 1 bytes and
    ///        zero-terminated; the empty text when there is no such line
    /// @param size the size of `buffer` in bytes
    /// @return non-zero while there is such a line, 0 once the lines are used
    ///         up (the base error gives 1, a snapshot the length of the text)
    virtual int GetDescriptionLine(int line, int kind, char* buffer, int size) const = 0;
    /// Copies one line of the error's description in the language asked for,
    /// whatever the error's translation flag.
    /// @param line the line, counted from 0
    /// @param kind the description kind, 0 or 1 (as in the four-argument form)
    /// @param buffer receives the text, cut to `size` - 1 bytes and zero-terminated
    /// @param size the size of `buffer` in bytes
    /// @param english true for the English text, false for the translated one
    /// @return non-zero while there is such a line, 0 once the lines are used up
    virtual int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const = 0;
    /// Whether the error is fatal.
    /// @return 1 or 0 for the library's errors.  A new CZelkError is fatal
    ///         unless its code is 0; SetFatal(0) makes it not fatal.
    virtual int Fatal() const = 0;
    /// Sets the fatal flag.
    /// @param fatal non-zero for fatal
    /// @return `fatal` itself, not the previous value
    virtual int SetFatal(int fatal) = 0;
    /// The icon a user interface shows beside the error.
    /// @return ZelkErrorIconError for every CZelkError
    virtual ZelkErrorID GetErrorIcon() const = 0;
    /// When the error was made, in whole seconds since 1970-01-01 00:00:00 UTC
    /// (a time_t value: pass it to localtime() for the local date and time).
    /// @return the time stamp.  `long` is 32 bits on Windows (it runs out in
    ///         2038) and 64 bits on 64-bit POSIX systems.
    virtual long GetTime() const = 0;
    /// @return the error's numeric code, as given when it was made
    virtual int GetError() const = 0;
    /// The source file given when the error was made (normally __FILE__).
    /// @return the name; null for a CZelkError made with a null name, "" for a
    ///         snapshot of such an error
    virtual char const* GetErrorFile() const = 0;
    /// @return the source line given when the error was made
    virtual int GetLine() const = 0;
    /// Sets the translation flag, which chooses the language of the
    /// four-argument GetDescriptionLine().
    /// @param enable non-zero for the translated texts first (the default),
    ///        0 for the English ones
    virtual void EnableMessageTranslation(int enable) = 0;
    /// @return the translation flag: non-zero (1 from construction) when texts
    ///         come from the translated message file first
    virtual int IsMessageTranslationEnabled() const = 0;
    /// The name of the thread on which the error was made: the runnable's name
    /// on a thread that the library started (CAbstractThread::Start()), "Main"
    /// on every other thread.
    /// @return the name; never null for the library's errors
    virtual char const* GetThreadName() const = 0;
};

/// A self-contained copy of any error, and the only thing error lists store.
///
/// Every value and every description line (both kinds, translated and
/// English, each line up to 298 bytes of text: what the source writes into a
/// buffer of 299 bytes with its terminating zero) is read out when the
/// snapshot is taken,
/// so the snapshot stays readable after the error object is gone, the message
/// files have changed or the error's own code is unloaded.  Afterwards only
/// the fatal value and the translation flag change, and switching the flag
/// switches between the stored texts without reading any file.
///
/// Cost: taking a snapshot reads the error's lines of both kinds in both
/// languages through the interface; for a base error that is up to six
/// message-file lookups.  Copying one snapshot to another copies the stored
/// lines.
///
/// Thread safety: no lock; one thread at a time per snapshot.
class ZELK_API CErrorClone : public IZelkError {
public:
    /// An empty snapshot: number 0, code 0, "" for the texts, fatal 1,
    /// translation flag 1, no description lines.
    CErrorClone();
    /// A snapshot of `error`, taken through its IZelkError operations.
    /// @param error the error to copy; it is not changed
    CErrorClone(IZelkError const& error);
    /// A snapshot of `other`, read again through its IZelkError operations:
    /// the lines of each kind and language end before the first empty one.
    /// @param other the snapshot to copy
    CErrorClone(CErrorClone const& other);
    /// Takes a fresh snapshot of `error` in place of the present one (nothing
    /// happens when `error` is this very object).
    /// @param error the error to copy
    /// @return this snapshot
    CErrorClone& operator=(IZelkError const& error);
    /// Copies `other`'s stored record whole, every stored line included.
    /// @param other the snapshot to copy
    /// @return this snapshot
    CErrorClone& operator=(CErrorClone const& other);
    /// Releases the record.
    ~CErrorClone() override;

    COrdinalNumber GetOrdinalNumber() const override;
    /// @return the stored type name; "" when it was empty or null
    char const* GetTypeName() const override;
    /// Reads a stored line in the language that the stored translation flag
    /// chooses.
    /// @param line the line, counted from 0
    /// @param kind 0, or any other value for kind 1
    /// @param buffer receives the text, cut to `size` - 1 bytes and zero-terminated
    /// @param size the size of `buffer` in bytes
    /// @return the length of the text copied; 0 past the last stored line
    int GetDescriptionLine(int line, int kind, char* buffer, int size) const override;
    /// Reads a stored line in the language asked for.
    /// @param line the line, counted from 0; a negative one or one past the
    ///        last stored line gives the empty text
    /// @param kind 0, or any other value for kind 1
    /// @param buffer receives the text, cut to `size` - 1 bytes and
    ///        zero-terminated; may be null
    /// @param size the size of `buffer` in bytes
    /// @param english true for the stored English text, false for the translated one
    /// @return the length of the text copied; 0 for a missing or empty line
    int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const override;
    /// @return the stored result of the source's Fatal() (so 0 for a source
    ///         whose code was 0), or the value last set with SetFatal()
    int Fatal() const override;
    int SetFatal(int fatal) override;
    /// @return the stored icon of the source
    ZelkErrorID GetErrorIcon() const override;
    long GetTime() const override;
    int GetError() const override;
    /// @return the stored file name; "" when the source gave none
    char const* GetErrorFile() const override;
    int GetLine() const override;
    void EnableMessageTranslation(int enable) override;
    int IsMessageTranslationEnabled() const override;
    /// @return the stored thread name; "" when it was empty or null
    char const* GetThreadName() const override;

private:
    friend class CZelkErrorList;  // swaps in freshly taken records without a second copy
    struct Record;

    void CopyData(IZelkError const& error);
    static void CopyDescr(std::vector<std::string>& lines, IZelkError const& error, int kind, bool english);

    Record* m_record;
};

/// The base error: derive the host's error classes from it and supply
/// GetTypeName().
///
/// The constructor records the source file and line, the code, the next
/// ordinal number, the time and the name of the calling thread.  A base error
/// has one description line, line 0, looked up in the message files under
/// [GetTypeName()] and its code; a class may override
/// GetDescriptionLine(int, char*, int) const to give texts of its own.  A new
/// error is fatal unless its code is 0, translates its texts, and shows
/// ZelkErrorIconError.
///
/// Cost of construction: drawing the number under a process-wide lock,
/// reading the local time (with the time-zone settings refreshed from the
/// environment) and two text copies.  It does not read the message files;
/// ERRAdd() does, when it takes the snapshot.
///
/// Thread safety: errors may be made on any thread at once; one error object
/// is used by one thread at a time.
class ZELK_API CZelkError : public IZelkError {
public:
    /// A copy with the same number, code, flags, time and line, and copies of
    /// its own of the file and thread-name texts.  Copying draws no number.
    /// @param other the error to copy
    CZelkError(CZelkError const& other);
    /// Makes this error a copy of `other`, number included.
    /// @param other the error to copy
    /// @return this error
    CZelkError& operator=(CZelkError const& other);
    /// Releases the copied texts.
    ~CZelkError() override;

    COrdinalNumber GetOrdinalNumber() const override;
    /// The concrete class's name; pure, so CZelkError itself is abstract.
    /// @return the message-file section of the error's texts; never null
    char const* GetTypeName() const override = 0;
    /// Line `line` of the description, translated first when the translation
    /// flag is set, else English: calls GetDescriptionLine(int, char*, int) const.
    /// @param line the line, counted from 0; the base error has line 0 only
    /// @param kind not used by the base error
    /// @param buffer receives the text, cut to `size` - 1 bytes and zero-terminated
    /// @param size the size of `buffer` in bytes
    /// @return 1 when a text was found, else 0 (and the empty text in `buffer`)
    int GetDescriptionLine(int line, int kind, char* buffer, int size) const override;
    /// Line `line` in the language asked for: sets the translation flag for the
    /// length of the call and calls the four-argument form.
    /// @param line the line, counted from 0
    /// @param kind not used by the base error
    /// @param buffer receives the text, cut to `size` - 1 bytes and zero-terminated
    /// @param size the size of `buffer` in bytes
    /// @param english true for the English file only, false for the
    ///        translated file first, then the English one
    /// @return 1 when a text was found, else 0
    int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const override;
    /// @return 1 when the fatal flag (1 from construction) is non-zero and
    ///         GetError() is non-zero (a derived class's GetError() counts); else 0
    int Fatal() const override;
    int SetFatal(int fatal) override;
    /// @return ZelkErrorIconError, whatever the code
    ZelkErrorID GetErrorIcon() const override;
    /// @return the time of construction in seconds since 1970-01-01 00:00:00 UTC
    long GetTime() const override;
    int GetError() const override;
    /// @return the copy of the file name; null when the error was made with null
    char const* GetErrorFile() const override;
    int GetLine() const override;
    void EnableMessageTranslation(int enable) override;
    int IsMessageTranslationEnabled() const override;
    /// @return the name of the thread that made the error, copied at construction
    char const* GetThreadName() const override;

    /// The base error's text lookup, which the other two forms call.
    ///
    /// Line 0 is the text under section GetTypeName() and the key made from
    /// GetError() (decimal or hexadecimal, see error.h): from the translated
    /// message file first when the translation flag is set, then from the
    /// English one.  Override it to give a class texts of its own, in any
    /// number of lines.
    /// @param line the line; any but 0 gives 0 at once
    /// @param buffer receives the text, cut to `size` - 1 bytes and
    ///        zero-terminated; the empty text when none is found
    /// @param size the size of `buffer` in bytes
    /// @return 1 when a text was found, 0 otherwise (an empty value counts as
    ///         none)
    virtual int GetDescriptionLine(int line, char* buffer, int size) const;

    /// Looks one text up in a message file.
    ///
    /// It reads the English file when `translated` is 0 or no translated file is
    /// set, and the English file name is not empty; the translated file
    /// otherwise.  Any thread may call it; each call names the file anew (on
    /// POSIX systems one stat of the name, and a parsed copy that is kept while
    /// the name leads to the same unchanged file).
    /// @param section the section, normally an error's type name; null lists
    ///        the file's section names instead (each followed by a zero byte,
    ///        the list by another, as GetPrivateProfileStringA gives them)
    /// @param key the key; null lists the section's keys in the same way
    /// @param buffer receives the text, cut to `size` - 1 bytes and
    ///        zero-terminated; the empty text when none is found
    /// @param size the size of `buffer` in bytes; 0 or less reads nothing
    /// @param translated non-zero to read the translated file, 0 for the English one
    /// @return 1 when a non-empty text (or list) was found, else 0
    static int GetText(char const* section, char const* key, char* buffer, int size, int translated);
    /// The position of the last error in the calling thread's list
    /// (ERRMyList().GetLast()).  Take it before a piece of work and call
    /// ErrorListPos::Rollback() on it afterwards to remove what the work reported.
    /// @return the position; the null position when the list is empty
    static ErrorListPos GetLast();

protected:
    /// Makes an error: draws the next ordinal number, copies `file`, takes the
    /// time and copies the calling thread's name (MyZelkThread().GetName()).
    /// @param file the source file, normally __FILE__; may be null
    /// @param line the source line, normally __LINE__
    /// @param error the error's code; 0 makes an error that is never fatal
    CZelkError(char const* file, int line, int error);

private:
    int m_error;
    int m_fatal;
    COrdinalNumber m_ordinal;
    long m_time;
    char* m_file;  // owned; null when made with a null file name
    char* m_threadName;  // owned
    int m_line;
    mutable int m_translate;  // flipped for the length of a five-argument GetDescriptionLine
};

/// @name Message files
/// The process's two message files.  Set the name once at start-up, before
/// other threads read texts: the names have no lock.
/// @{

/// Names the translated message file and derives the English file's name
/// from it.
///
/// The English name is the lower-cased name cut at its last backslash, with
/// `\Zelk.TXT` appended: `D:\Texts\German.txt` gives `d:\texts\Zelk.TXT`.  A
/// name longer than 9 characters that ends in "zelk.txt" (any case) is
/// itself the English file, and the English name stays empty.  A name without
/// a backslash has its own lower-case copy as English name.  On POSIX systems
/// write the name on the drive Z: (`z:\opt\suite\German.txt` for
/// /opt/suite/German.txt; see error.h).
/// @param name the translated file's name; null or "" empties both names.  A
///        name of more than 259 characters is refused and empties both names;
///        an English name that would pass 259 characters stays empty.  It may
///        be one of the library's own names: SetMsgFileName(GetEnglishMsgFileName())
///        switches to English.
ZELK_API void SetMsgFileName(char const* name);
/// @return the translated file's name as set; "" when none is set, never null.
///         The text changes with the next SetMsgFileName().
ZELK_API char const* GetMsgFileName();
/// @return the English file's name derived by SetMsgFileName(); "" when there
///         is none, never null
ZELK_API char const* GetEnglishMsgFileName();
/// Whether the translated message file can be opened for reading now; a
/// check for start-up, since missing texts are otherwise not reported.
/// @return 1 when it can, else 0 (also for an empty name and, on POSIX
///         systems, for anything but a file, and a file too large for
///         memory: there this check reads the file as lookups do, and agrees
///         with them)
ZELK_API int IsMsgFileOK();
/// Whether the English message file can be opened for reading now.
/// @return 1 when it can, else 0 (also for an empty name)
ZELK_API int IsEnglishMsgFileOK();

/// @}
