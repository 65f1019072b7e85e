// ZelkErr — error objects and message texts.
//
// IZelkError is the interface every error implements; its fifteen virtual
// operations and their order are part of the library's boundary.  CZelkError
// is the base class callers derive their error classes from; CErrorClone is
// a self-contained snapshot of any error, the only thing error lists store.
#pragma once

#include <zelk/export.h>

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

class ErrorListPos;
class CZelkErrorList;

// The process-wide number of an error.  0 names no error; numbering starts at 1.
class COrdinalNumber {
public:
    constexpr COrdinalNumber() noexcept = default;
    constexpr explicit COrdinalNumber(std::uint32_t number) noexcept : m_number(number) {}

    constexpr std::uint32_t Get() const noexcept { return m_number; }
    constexpr bool IsNull() const noexcept { return m_number == 0; }

    friend constexpr bool operator==(COrdinalNumber, COrdinalNumber) noexcept = default;
    friend constexpr std::strong_ordering operator<=>(COrdinalNumber, COrdinalNumber) noexcept = default;

private:
    std::uint32_t m_number = 0;
};

// Icons a user interface shows beside an error.  The library itself only
// ever reports ZelkErrorIconError (2), the base error's icon.
enum ZelkErrorID {
    ZelkErrorIconNone = 0,
    ZelkErrorIconInformation = 1,
    ZelkErrorIconError = 2,
    ZelkErrorIconWarning = 3,
    ZelkErrorIconQuestion = 4,
};

class ZELK_API IZelkError {
public:
    IZelkError() noexcept = default;
    IZelkError(IZelkError const&) noexcept = default;
    // Errors have no state in the interface: assigning through it copies nothing.
    IZelkError& operator=(IZelkError const&) noexcept { return *this; }
    virtual ~IZelkError();

    virtual COrdinalNumber GetOrdinalNumber() const = 0;
    virtual char const* GetTypeName() const = 0;
    virtual int GetDescriptionLine(int line, int kind, char* buffer, int size) const = 0;
    virtual int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const = 0;
    virtual int Fatal() const = 0;
    virtual int SetFatal(int fatal) = 0;
    virtual ZelkErrorID GetErrorIcon() const = 0;
    virtual long GetTime() const = 0;
    virtual int GetError() const = 0;
    virtual char const* GetErrorFile() const = 0;
    virtual int GetLine() const = 0;
    virtual void EnableMessageTranslation(int enable) = 0;
    virtual int IsMessageTranslationEnabled() const = 0;
    virtual char const* GetThreadName() const = 0;
};

// A self-contained copy of any error: every value and every description line
// (both kinds, translated and English) is read out when the snapshot is made.
class ZELK_API CErrorClone : public IZelkError {
public:
    CErrorClone();
    CErrorClone(IZelkError const& error);
    // Reads `other` again through the interface (an empty line ends an array).
    CErrorClone(CErrorClone const& other);
    // Takes a fresh snapshot of `error` unless it is this very object.
    CErrorClone& operator=(IZelkError const& error);
    // Copies `other`'s record whole, every stored line included.
    CErrorClone& operator=(CErrorClone const& other);
    ~CErrorClone() override;

    COrdinalNumber GetOrdinalNumber() const override;
    char const* GetTypeName() const override;
    int GetDescriptionLine(int line, int kind, char* buffer, int size) const override;
    int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const override;
    int Fatal() const override;
    int SetFatal(int fatal) override;
    ZelkErrorID GetErrorIcon() const override;
    long GetTime() const override;
    int GetError() const override;
    char const* GetErrorFile() const override;
    int GetLine() const override;
    void EnableMessageTranslation(int enable) override;
    int IsMessageTranslationEnabled() const override;
    char const* GetThreadName() const override;

private:
    friend class CZelkErrorList;  // swaps in freshly taken records without a second copy
    struct Record;

    void CopyData(IZelkError const& error);
    static void CopyDescr(std::vector<std::string>& lines, IZelkError const& error, int kind, bool english);

    Record* m_record;
};

// The base error.  Derive from it and supply GetTypeName(); the constructor
// records file, line, code, an ordinal number, the time and the thread name.
class ZELK_API CZelkError : public IZelkError {
public:
    CZelkError(CZelkError const& other);
    CZelkError& operator=(CZelkError const& other);
    ~CZelkError() override;

    COrdinalNumber GetOrdinalNumber() const override;
    char const* GetTypeName() const override = 0;
    int GetDescriptionLine(int line, int kind, char* buffer, int size) const override;
    int GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const override;
    int Fatal() const override;
    int SetFatal(int fatal) override;
    ZelkErrorID GetErrorIcon() const override;
    long GetTime() const override;
    int GetError() const override;
    char const* GetErrorFile() const override;
    int GetLine() const override;
    void EnableMessageTranslation(int enable) override;
    int IsMessageTranslationEnabled() const override;
    char const* GetThreadName() const override;

    // The base error's own text lookup: line 0 from the message files.
    virtual int GetDescriptionLine(int line, char* buffer, int size) const;

    // Looks one text up in the translated or English message file; 1 when found.
    // A null section lists the file's section names, a null key the section's
    // keys (zero-separated, as GetPrivateProfileStringA gives them).
    static int GetText(char const* section, char const* key, char* buffer, int size, int translated);
    // The position of the last error in the calling thread's list.
    static ErrorListPos GetLast();

protected:
    CZelkError(char const* file, int line, int error);

private:
    int m_error;
    int m_fatal;
    COrdinalNumber m_ordinal;
    long m_time;
    char* m_file;        // owned; null when made with a null file name
    char* m_threadName;  // owned
    int m_line;
    mutable int m_translate;  // flipped for the length of a five-argument GetDescriptionLine
};

// The process's message files.  The English file "Zelk.TXT" lies beside the
// translated one; set the name before any error text is read.
ZELK_API void SetMsgFileName(char const* name);
ZELK_API char const* GetMsgFileName();
ZELK_API char const* GetEnglishMsgFileName();
ZELK_API int IsMsgFileOK();
ZELK_API int IsEnglishMsgFileOK();
