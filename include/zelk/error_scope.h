/// @file
/// CZelkErrorScope: errors reported on a path that is then abandoned leave
/// the calling thread's list again, whichever way the path is left.
///
/// The scope is the RAII form of
/// `ErrorListPos mark = CZelkError::GetLast(); ... mark.Rollback();`, which a
/// `return` or an exception in between would skip.
/// @code
/// bool LoadSettings() {
///     CZelkErrorScope scope;                // marks the thread's list
///     if (ReadFromFile()) return true;
///     if (ReadFromRegistry()) return true;  // the file's errors go
///     scope.Keep();                         // both failed: keep the reasons
///     return false;                         // (an exception drops them too)
/// }
/// @endcode
#pragma once

#include <zelk/error_list.h>
#include <zelk/export.h>

#include <algorithm>
#include <vector>

/// Marks the calling thread's error list when made and, when it ends,
/// removes every error reported after the mark, unless Keep() was called.
///
/// Errors reported before the scope stay.  Scopes nest: an inner scope
/// decides for its own errors, an outer one for everything after its mark,
/// kept inner errors included.  A thread that ends through
/// CAbstractThread::Exit() while a scope lives never ends the scope: its
/// errors stay in the thread's list, on every system.
///
/// Threads: a scope belongs to the thread that made it; make, read and end it
/// there.  It works on the list it marked even if it ends elsewhere, so it
/// must end before that thread's object is deleted.  Threads that the
/// library did not start share the "Main" list: a scope made on one of them
/// also removes the errors that the others report while it lives.
class ZELK_API CZelkErrorScope {
public:
    /// Marks the calling thread's list (ERRMyList()) at its last error, or at
    /// the null position when it is empty.
    CZelkErrorScope();
    /// Unless Keep() was called, removes from the marked list every error
    /// numbered after the mark: the list holds again what it held when the
    /// scope was made, less what left it meanwhile.  Unlike
    /// ErrorListPos::Rollback() this also works when the error at the mark
    /// has left the list itself (an ERRClearErrors() in between, say).
    ~CZelkErrorScope();

    /// Not copyable: two scopes would end one piece of work twice.
    CZelkErrorScope(CZelkErrorScope const&) = delete;
    /// Not copyable.
    CZelkErrorScope& operator=(CZelkErrorScope const&) = delete;
    /// Takes over the mark and a Keep() of `other`, which is left inert: it
    /// removes nothing when it ends, Keep() does nothing and Errors() is empty.
    /// @param other the scope to take over
    CZelkErrorScope(CZelkErrorScope&& other) noexcept;
    /// Ends this scope first, as its destructor would (removing its errors
    /// unless kept), then takes over `other` as the move constructor does.
    /// @param other the scope to take over
    /// @return this scope
    CZelkErrorScope& operator=(CZelkErrorScope&& other) noexcept;

    /// The errors stay when the scope ends.
    void Keep() noexcept;
    /// The errors reported since the mark: what the scope removes if it ends
    /// unkept.  Also after Keep().
    ///
    /// The vector is made here, in the header, so the host's own code
    /// allocates it and the host's allocator frees it: on Windows the
    /// library carries a C++ run-time of its own, and memory must not change
    /// hands between the two.
    /// @return the positions of the list's errors numbered after the mark, in
    ///         list order (ascending numbers); empty for an inert scope
    std::vector<ErrorListPos> Errors() const {
        std::vector<ErrorListPos> errors;
        if (m_list == nullptr) return errors;
        for (ErrorListPos p = m_list->GetLast(); !p.IsNull() && p.GetOrdinalNumber() > m_mark.GetOrdinalNumber();
             p = m_list->GetPrevious(p))
            errors.push_back(p);
        std::reverse(errors.begin(), errors.end());
        return errors;
    }

private:
    void End() noexcept;

    CZelkErrorList* m_list;  // null once moved from
    ErrorListPos m_mark;
    bool m_kept = false;
};
