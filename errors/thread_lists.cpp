// The calling thread's own error list, reached through its thread object.
#include <zelk/error_list.h>
#include <zelk/portab.h>

#include "portab/thread.h"

IZelkError const& ERRAdd(IZelkError const& error) {
    MyZelkThread().GetErrorList().AddError(error);
    return error;  // the caller's object, not the stored snapshot
}

CZelkErrorList& ERRMyList() { return MyZelkThread().GetErrorList(); }

// Each list is cleared under its own lock, one at a time.  Thread objects
// outside the registry (never started, or joined) keep their lists.
void ERRClearErrors() {
    zelk::VisitRegisteredThreads([](zelk::CZelkThread& thread) { thread.GetErrorList().ClearErrors(); });
    zelk::MainThread().GetErrorList().ClearErrors();
}

ErrorListPos CZelkError::GetLast() { return MyZelkThread().GetErrorList().GetLast(); }

void ErrorListPos::Rollback() const { MyZelkThread().GetErrorList().Rollback(*this); }
