// CZelkErrorScope: a mark in the calling thread's list, and the rollback to
// it when the scope ends unkept.
#include <zelk/error_scope.h>

#include <utility>

namespace {

bool After(ErrorListPos position, ErrorListPos mark) {
    return position.GetOrdinalNumber().Get() > mark.GetOrdinalNumber().Get();
}

// The list's last error numbered at or before the mark, or the null position.
// Rolling back to it removes exactly the errors after the mark, whether or
// not the mark's own error is still there.  Walked from the end, so only the
// scope's own errors are passed over.
ErrorListPos LastNotAfter(CZelkErrorList const& list, ErrorListPos mark) {
    ErrorListPos position = list.GetLast();
    while (!position.IsNull() && After(position, mark)) position = list.GetPrevious(position);
    return position;
}

}  // namespace

CZelkErrorScope::CZelkErrorScope() : m_list(&ERRMyList()), m_mark(m_list->GetLast()) {}

CZelkErrorScope::~CZelkErrorScope() { End(); }

CZelkErrorScope::CZelkErrorScope(CZelkErrorScope&& other) noexcept
    : m_list(std::exchange(other.m_list, nullptr)), m_mark(other.m_mark), m_kept(other.m_kept) {}

CZelkErrorScope& CZelkErrorScope::operator=(CZelkErrorScope&& other) noexcept {
    if (this != &other) {
        End();
        m_list = std::exchange(other.m_list, nullptr);
        m_mark = other.m_mark;
        m_kept = other.m_kept;
    }
    return *this;
}

void CZelkErrorScope::Keep() noexcept { m_kept = true; }

void CZelkErrorScope::End() noexcept {
    if (m_list && !m_kept) m_list->Rollback(LastNotAfter(*m_list, m_mark));
    m_list = nullptr;
}
