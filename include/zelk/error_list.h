/// @file
/// Error lists, positions in them, and the calling thread's own list.
///
/// Every thread has a list of its own: code deep in a call chain reports with
/// ERRAdd(), and code further up the same thread reads, rolls back or clears
/// the list, with no list passed around.  Threads that the library did not
/// start (the process's first thread and the host's own threads) share one
/// list, that of the thread object "Main".
/// @code
/// ErrorListPos const mark = CZelkError::GetLast();  // before a piece of work
/// if (!DoWork()) {                                   // DoWork reports with ERRAdd
///     CZelkErrorList& list = ERRMyList();
///     CErrorClone error;
///     ErrorListPos pos = mark.IsNull() ? list.GetFirst() : list.GetNext(mark);
///     for (; !pos.IsNull(); pos = list.GetNext(pos)) {
///         list.GetError(error, pos);
///         char text[300];
///         error.GetDescriptionLine(0, 0, text, sizeof text);
///         std::printf("%u %s %d: %s\n", error.GetOrdinalNumber().Get(), error.GetTypeName(), error.GetError(), text);
///     }
/// }
/// mark.Rollback();                                   // forget what the work reported
/// @endcode
#pragma once

#include <zelk/error.h>
#include <zelk/export.h>

#include <cstdint>
#include <map>

namespace zelk::os {
class RecursiveLock;
}

/// A position in an error list: the ordinal number of the error it names.
///
/// A position stays meaningful while errors before and after it come and go,
/// and names the same error in every list that holds a snapshot of it.  The
/// default-made position is the null position, which names no error; list
/// walks return it where there is no such error.  A value type.
class ZELK_API ErrorListPos {
public:
    /// The null position.
    constexpr ErrorListPos() noexcept = default;
    /// The position of the error with that number.
    /// @param number the error's ordinal number; 0 gives the null position
    constexpr explicit ErrorListPos(COrdinalNumber number) noexcept : m_number(number) {}

    /// @return the ordinal number of the error this position names; 0 for the
    ///         null position
    constexpr COrdinalNumber GetOrdinalNumber() const noexcept { return m_number; }
    /// @return true for the null position
    constexpr bool IsNull() const noexcept { return m_number.IsNull(); }
    /// @return true when both name the same error number
    friend constexpr bool operator==(ErrorListPos, ErrorListPos) noexcept = default;

    /// Rolls the calling thread's list back to this position
    /// (ERRMyList().Rollback(*this)): every error after it is removed.  The null
    /// position empties the list; a position whose error has left the list
    /// meanwhile removes nothing.
    void Rollback() const;

private:
    COrdinalNumber m_number;
};

/// Snapshots of errors, at most one per ordinal number, in ascending order of
/// their numbers.
///
/// A list holds at most 1000 snapshots: a full list drops new errors
/// silently, a new snapshot of an error it already holds included.  Adding an
/// error stores a CErrorClone of it, so the error object may go out of scope
/// afterwards; a second snapshot of the same error replaces the first.
/// Snapshots leave a list only through ClearErrors(), Rollback(),
/// MoveErrorsTo() and its destruction.
///
/// Thread safety: every operation but copying and assignment takes the list's
/// own recursive lock for its whole length, so any thread may use any list:
/// a supervisor may copy a running worker's errors with CopyErrorsTo() and a
/// cursor of its own.  Only the list's own thread can empty it without loss
/// (a copy and a clear from elsewhere are two calls).
///
/// Cost: finding, adding and removing a number take logarithmic time in an
/// ordered map.  AddError() takes the snapshot (for a base error up to six
/// message-file lookups) while it holds the lock; GetError() copies a whole
/// snapshot.
class ZELK_API CZelkErrorList {
public:
    /// An empty list with a capacity of 1000 snapshots.
    CZelkErrorList();
    /// A list with a lock of its own and a copy of every snapshot of `other`
    /// under the same numbers.  It takes neither list's lock: the caller makes
    /// sure that `other` does not change meanwhile.
    /// @param other the list to copy
    CZelkErrorList(CZelkErrorList const& other);
    /// Replaces this list's snapshots by copies of `other`'s; this list keeps
    /// its own lock.  It takes neither list's lock: the caller makes sure that
    /// neither list changes meanwhile.
    /// @param other the list to copy; assigning a list to itself changes nothing
    /// @return this list
    CZelkErrorList& operator=(CZelkErrorList const& other);
    /// Clears the list under its lock and releases it.  No other thread may use
    /// the list any more.
    virtual ~CZelkErrorList();

    /// Stores a snapshot of `error` under its ordinal number, replacing a
    /// snapshot of the same number; does nothing when the list is full.
    /// @param error the error; it may be destroyed once the call has returned
    void AddError(IZelkError const& error);
    /// Removes every snapshot.
    void ClearErrors();
    /// @return the number of snapshots, 0 to 1000
    unsigned int GetErrorCount() const;
    /// @return the position of the snapshot with the smallest number; the null
    ///         position when the list is empty
    ErrorListPos GetFirst() const;
    /// @return the position of the snapshot with the largest number; the null
    ///         position when the list is empty
    ErrorListPos GetLast() const;
    /// The position after `position`, in ascending order of the numbers.
    /// @param position a position of a snapshot in this list
    /// @return the next position; the null position after the last snapshot
    ///         and for a position that names no snapshot here (the null
    ///         position included)
    ErrorListPos GetNext(ErrorListPos const& position) const;
    /// The position before `position`, in ascending order of the numbers.
    /// @param position a position of a snapshot in this list
    /// @return the previous position; the null position before the first
    ///         snapshot.  A position that names no snapshot here (the null
    ///         position included) counts as lying past the end and gives the
    ///         last position, so GetPrevious(ErrorListPos()) walks backwards from the end.
    ErrorListPos GetPrevious(ErrorListPos const& position) const;
    /// Copies the snapshot at `position`, every description line included,
    /// into `snapshot`.
    /// @param snapshot receives the copy; unchanged when the call gives 0
    /// @param position the snapshot's position
    /// @return 1 when the list holds a snapshot at `position`, else 0
    int GetError(CErrorClone& snapshot, ErrorListPos const& position) const;
    /// Removes every snapshot numbered after `position`; the one at `position`
    /// stays.
    /// @param position a position in this list; the null position empties the
    ///        list, and a position that names no snapshot here changes nothing
    void Rollback(ErrorListPos const& position);
    /// Copies the snapshots after `*from` up to and including `*to` into
    /// `target`, and moves `*from` on to the last one passed to the target.
    ///
    /// Keeping `from` and calling again copies only what was added since:
    /// @code
    /// ErrorListPos copied;                            // null: from the start
    /// worker.CopyErrorsTo(collected, &copied, nullptr);
    /// // ... later, only the errors added since:
    /// worker.CopyErrorsTo(collected, &copied, nullptr);
    /// @endcode
    /// The target's capacity applies, and a snapshot whose number the target
    /// holds replaces it there.  A full target drops what it cannot take, and
    /// `*from` moves past those snapshots all the same: a later call does not
    /// offer them again.  Make room in the target (or copy with a `to` that
    /// stops short) before the target fills up, if none may be lost.  The bounds are compared on the circle of
    /// 32-bit numbers, so they work across the wrap of the numbering.  If `to`
    /// names no snapshot of this list, the first snapshot after it is copied
    /// as well.
    ///
    /// Locks: this list's, then the target's.  Copying a list into itself is
    /// allowed; copying between the same two lists in opposite directions at
    /// the same time can deadlock.
    /// @param target the list that receives the copies
    /// @param from in and out: copying starts after this position (it is not
    ///        itself copied); null, or the null position, starts at the first
    ///        snapshot.  On return it names the last snapshot passed to the
    ///        target, whether the target took it or, being full, dropped it;
    ///        unchanged when the range was empty.
    /// @param to the last position to copy (copied itself); null copies to the
    ///        end.  Only read.  With both given, a `to` equal to or before
    ///        `from` copies nothing.
    void CopyErrorsTo(CZelkErrorList& target, ErrorListPos* from, ErrorListPos* to) const;
    /// Moves the snapshots up to and including `*to` into `target`: each one
    /// leaves this list as it enters the target, all in one step under both
    /// lists' locks.
    ///
    /// A supervisor that collects a worker's errors while the worker reports
    /// drains its list; copying and then clearing would lose the errors added
    /// in between:
    /// @code
    /// CZelkErrorList collected;
    /// ErrorListPos const last = worker.GetErrorList().GetLast();
    /// worker.GetErrorList().MoveErrorsTo(collected, &last);  // or nullptr: all
    /// // collected holds them, the worker's list only what came after `last`
    /// @endcode
    /// Snapshots move in ascending order of their numbers.  A snapshot whose
    /// number the target holds replaces it there.  A full target takes no
    /// new number: the move stops, and that snapshot and every later one stay in
    /// this list, so nothing is lost and a later call (once the target has
    /// room) moves them.  `*to` is compared on the circle of 32-bit numbers,
    /// as CopyErrorsTo() compares, and need not name a snapshot of this list.
    ///
    /// Locks: this list's, then the target's, as CopyErrorsTo() takes them;
    /// moving between the same two lists in opposite directions at the same
    /// time can deadlock.  Moving a list into itself changes nothing.
    /// @param target the list that receives the snapshots
    /// @param to the last position to move (moved itself); null moves every
    ///        snapshot, the null position none.  Only read.
    /// @return the number of snapshots moved, 0 to 1000
    unsigned int MoveErrorsTo(CZelkErrorList& target, ErrorListPos const* to);

private:
    void AddError_NoLock(IZelkError const& error);
    ErrorListPos GetFirst_NoLock() const;
    ErrorListPos GetLast_NoLock() const;

    zelk::os::RecursiveLock* m_lock;
    std::map<std::uint32_t, CErrorClone> m_errors;
    std::uint32_t m_capacity;
};

/// @name The calling thread's list
/// The calling thread's list is MyZelkThread().GetErrorList(): a started
/// thread's own list, or the list of the main thread object "Main" shared by
/// every thread that the library did not start.  Any thread may call these.
/// @{

/// Reports an error: adds a snapshot of it to the calling thread's list
/// (CZelkErrorList::AddError(), so a full list drops it silently).
/// @param error the error; it may be a temporary
/// @return `error` itself (the caller's object, not the snapshot)
ZELK_API IZelkError const& ERRAdd(IZelkError const& error);
/// @return the calling thread's list; it lives as long as the thread's object
ZELK_API CZelkErrorList& ERRMyList();
/// Clears the list of every started thread that has not been joined, then the
/// main thread object's list.  Thread objects never started or already joined
/// keep their lists.  No thread object may be destroyed meanwhile.
ZELK_API void ERRClearErrors();

/// @}
