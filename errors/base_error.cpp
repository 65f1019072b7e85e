// CZelkError: where an error arose, its code, its process-wide number, when
// and on which thread it was made.
#include <zelk/error.h>
#include <zelk/portab.h>

#include "errors/time_stamp.h"
#include "portab/library.h"

#include <cstring>
#include <new>

namespace {

// The next ordinal number: the counter moves by one under the numbering
// lock, so numbers rise by one across all threads in the order drawn.
COrdinalNumber DrawOrdinalNumber() {
    zelk::CZelkSemaphore& lock = zelk::NumberingLock();
    lock.Lock();
    std::uint32_t const number = ++zelk::NumberingCounter();  // wraps modulo 2^32
    lock.Unlock();
    return COrdinalNumber(number);
}

// An owned copy of `text`, or null for a null text.  Errors are often made
// because memory ran out, so making one must not fail for lack of memory:
// a copy that cannot be allocated is null, and the error then reports no
// file name (null, like an error made without one) or the empty thread name.
char* CopyText(char const* text) noexcept {
    if (text == nullptr) return nullptr;
    std::size_t const size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

CZelkError::CZelkError(char const* file, int line, int error)
    : m_error(0), m_fatal(1), m_time(0), m_file(nullptr), m_threadName(nullptr), m_line(0), m_translate(1) {
    m_ordinal = DrawOrdinalNumber();
    m_line = line;
    m_translate = 1;
    m_file = CopyText(file);
    m_error = error;
    m_fatal = 1;
    m_time = zelk::TakeTimeStamp();
    m_threadName = CopyText(MyZelkThread().GetName());
}

CZelkError::CZelkError(CZelkError const& other)
    : IZelkError(other),
      m_error(other.m_error),
      m_fatal(other.m_fatal),
      m_ordinal(other.m_ordinal),
      m_time(other.m_time),
      m_file(CopyText(other.m_file)),
      m_threadName(CopyText(other.m_threadName)),
      m_line(other.m_line),
      m_translate(other.m_translate) {}

CZelkError& CZelkError::operator=(CZelkError const& other) {
    if (&other == this) return *this;
    char* const file = CopyText(other.m_file);
    char* const threadName = CopyText(other.m_threadName);
    delete[] m_file;
    delete[] m_threadName;
    m_file = file;
    m_threadName = threadName;
    m_error = other.m_error;
    m_fatal = other.m_fatal;
    m_ordinal = other.m_ordinal;
    m_time = other.m_time;
    m_line = other.m_line;
    m_translate = other.m_translate;
    return *this;
}

CZelkError::~CZelkError() {
    delete[] m_file;
    delete[] m_threadName;
}

COrdinalNumber CZelkError::GetOrdinalNumber() const { return m_ordinal; }

// A derived class's GetError counts, so it is asked through the interface.
int CZelkError::Fatal() const {
    IZelkError const& self = *this;
    return (m_fatal != 0 && self.GetError() != 0) ? 1 : 0;
}

int CZelkError::SetFatal(int fatal) {
    m_fatal = fatal;
    return fatal;
}

ZelkErrorID CZelkError::GetErrorIcon() const { return ZelkErrorIconError; }

long CZelkError::GetTime() const { return m_time; }

int CZelkError::GetError() const { return m_error; }

char const* CZelkError::GetErrorFile() const { return m_file; }

int CZelkError::GetLine() const { return m_line; }

void CZelkError::EnableMessageTranslation(int enable) { m_translate = enable; }

int CZelkError::IsMessageTranslationEnabled() const { return m_translate; }

// Only a failed allocation leaves the copy null; the name then reads empty.
char const* CZelkError::GetThreadName() const { return m_threadName != nullptr ? m_threadName : ""; }
