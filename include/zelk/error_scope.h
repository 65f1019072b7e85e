// ZelkErr — CZelkErrorScope: errors reported on a path that is then
// abandoned leave the calling thread's list again, on every way out.
//
//     CZelkErrorScope scope;              // marks the thread's list
//     if (!TryFast()) return TrySlow();   // TryFast's errors go again
//     scope.Keep();                       // these errors stay
//
// It is the RAII form of
//     ErrorListPos mark = CZelkError::GetLast(); ... mark.Rollback();
// which a return or an exception in between would skip.
//
// A scope belongs to the thread that made it: make, read and end it there.
// It works on the list it marked even if it ends elsewhere, so it must end
// before that thread's object is deleted.  Threads that the library did not
// start share the "Main" list: a scope made on one of them also removes the
// errors that the others report while it lives.
#pragma once

#include <zelk/error_list.h>
#include <zelk/export.h>

#include <vector>

class ZELK_API CZelkErrorScope {
public:
    // Marks the calling thread's list (ERRMyList()) at its last error, or at
    // the null position when it is empty.
    CZelkErrorScope();
    // Unless Keep() was called, removes from that list every error numbered
    // after the mark: the list holds again what it held when the scope was
    // made, less what left it meanwhile.  Unlike ErrorListPos::Rollback this
    // also works when the error at the mark itself has left the list (an
    // ERRClearErrors in between, say).
    ~CZelkErrorScope();

    CZelkErrorScope(CZelkErrorScope const&) = delete;
    CZelkErrorScope& operator=(CZelkErrorScope const&) = delete;
    // The new scope takes over the mark and a Keep(); the moved-from scope
    // is inert: it removes nothing when it ends, Keep() does nothing and
    // Errors() is empty.
    CZelkErrorScope(CZelkErrorScope&& other) noexcept;
    // Ends this scope first (removing its errors unless kept), then takes
    // over as the move constructor does.
    CZelkErrorScope& operator=(CZelkErrorScope&& other) noexcept;

    // The errors stay when the scope ends.
    void Keep() noexcept;
    // The positions of the list's errors numbered after the mark, in list
    // order (ascending numbers): what the scope removes if it ends unkept.
    std::vector<ErrorListPos> Errors() const;

private:
    void End() noexcept;

    CZelkErrorList* m_list;  // null once moved from
    ErrorListPos m_mark;
    bool m_kept = false;
};
