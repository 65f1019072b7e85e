// ZelkErr — error lists, positions and the calling thread's own list.
#pragma once

#include <zelk/error.h>
#include <zelk/export.h>

#include <cstdint>
#include <map>

namespace zelk::os {
class RecursiveLock;
}

// A position in an error list: the ordinal number of the error it names.
// A default-made position is the null position, which names no error.
class ZELK_API ErrorListPos {
public:
    constexpr ErrorListPos() noexcept = default;
    constexpr explicit ErrorListPos(COrdinalNumber number) noexcept : m_number(number) {}

    constexpr COrdinalNumber GetOrdinalNumber() const noexcept { return m_number; }
    constexpr bool IsNull() const noexcept { return m_number.IsNull(); }
    friend constexpr bool operator==(ErrorListPos, ErrorListPos) noexcept = default;

    // Rolls the calling thread's list back to this position.
    void Rollback() const;

private:
    COrdinalNumber m_number;
};

// Snapshots of errors, one per ordinal number, in ascending order, behind a
// recursive lock of the list's own.  Holds at most 1000 snapshots: a full
// list drops new errors silently.
class ZELK_API CZelkErrorList {
public:
    CZelkErrorList();
    // Copy construction and assignment take neither list's lock: the caller
    // makes sure neither list changes meanwhile.
    CZelkErrorList(CZelkErrorList const& other);
    CZelkErrorList& operator=(CZelkErrorList const& other);
    virtual ~CZelkErrorList();

    void AddError(IZelkError const& error);
    void ClearErrors();
    unsigned int GetErrorCount() const;
    ErrorListPos GetFirst() const;
    ErrorListPos GetLast() const;
    ErrorListPos GetNext(ErrorListPos const& position) const;
    ErrorListPos GetPrevious(ErrorListPos const& position) const;
    int GetError(CErrorClone& snapshot, ErrorListPos const& position) const;
    void Rollback(ErrorListPos const& position);
    void CopyErrorsTo(CZelkErrorList& target, ErrorListPos* from, ErrorListPos* to) const;

private:
    void AddError_NoLock(IZelkError const& error);
    ErrorListPos GetFirst_NoLock() const;
    ErrorListPos GetLast_NoLock() const;

    zelk::os::RecursiveLock* m_lock;
    std::map<std::uint32_t, CErrorClone> m_errors;
    std::uint32_t m_capacity;
};

// The calling thread's own list (the "Main" list on threads the library did not start).
ZELK_API IZelkError const& ERRAdd(IZelkError const& error);
ZELK_API CZelkErrorList& ERRMyList();
// Clears the list of every registered thread, then the main thread's list.
ZELK_API void ERRClearErrors();
