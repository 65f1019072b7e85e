// CZelkErrorList: snapshots keyed by ordinal number behind a recursive lock.
#include <zelk/error_list.h>

#include "platform/recursive_lock.h"

#include <utility>

namespace {

using zelk::os::RecursiveLockGuard;

constexpr std::uint32_t kCapacity = 1000;

// The bounds of CopyErrorsTo compare numbers on the circle of 2^32: `a` lies
// before `b` when their difference modulo 2^32 is at least this threshold.
constexpr std::uint32_t kHalfCircle = 0x7FFFFFFFu;
constexpr bool Before(std::uint32_t a, std::uint32_t b) { return static_cast<std::uint32_t>(a - b) >= kHalfCircle; }

ErrorListPos Position(std::uint32_t number) { return ErrorListPos(COrdinalNumber(number)); }

}  // namespace

CZelkErrorList::CZelkErrorList() : m_lock(new zelk::os::RecursiveLock), m_capacity(kCapacity) {}

CZelkErrorList::CZelkErrorList(CZelkErrorList const& other)
    : m_lock(new zelk::os::RecursiveLock), m_capacity(other.m_capacity) {
    try {
        m_errors = other.m_errors;  // each snapshot re-read through CErrorClone's copy constructor
    } catch (...) {
        delete m_lock;
        throw;
    }
}

CZelkErrorList& CZelkErrorList::operator=(CZelkErrorList const& other) {
    if (&other != this) {
        std::map<std::uint32_t, CErrorClone> copies(other.m_errors);
        m_errors.swap(copies);
        m_capacity = other.m_capacity;
    }
    return *this;
}

CZelkErrorList::~CZelkErrorList() {
    {
        RecursiveLockGuard guard(*m_lock);
        m_errors.clear();
    }
    delete m_lock;
}

void CZelkErrorList::AddError(IZelkError const& error) {
    RecursiveLockGuard guard(*m_lock);
    AddError_NoLock(error);
}

void CZelkErrorList::AddError_NoLock(IZelkError const& error) {
    // The capacity test comes first: a full list also refuses a new snapshot
    // of an error it already holds.
    if (m_errors.size() >= m_capacity) return;
    std::uint32_t const number = error.GetOrdinalNumber().Get();
    auto const found = m_errors.find(number);
    if (found == m_errors.end()) {
        // New numbers are mostly the largest: hint the end.
        m_errors.emplace_hint(m_errors.end(), std::piecewise_construct, std::forward_as_tuple(number),
                              std::forward_as_tuple(error));
        return;
    }
    // Take the new snapshot completely, then swap it in: the source may be
    // the very snapshot it replaces (a list copied into itself).
    CErrorClone snapshot(error);
    std::swap(found->second.m_record, snapshot.m_record);
}

void CZelkErrorList::ClearErrors() {
    RecursiveLockGuard guard(*m_lock);
    m_errors.clear();
}

unsigned int CZelkErrorList::GetErrorCount() const {
    RecursiveLockGuard guard(*m_lock);
    return static_cast<unsigned int>(m_errors.size());
}

ErrorListPos CZelkErrorList::GetFirst_NoLock() const {
    return m_errors.empty() ? ErrorListPos() : Position(m_errors.begin()->first);
}

ErrorListPos CZelkErrorList::GetLast_NoLock() const {
    return m_errors.empty() ? ErrorListPos() : Position(m_errors.rbegin()->first);
}

ErrorListPos CZelkErrorList::GetFirst() const {
    RecursiveLockGuard guard(*m_lock);
    return GetFirst_NoLock();
}

ErrorListPos CZelkErrorList::GetLast() const {
    RecursiveLockGuard guard(*m_lock);
    return GetLast_NoLock();
}

ErrorListPos CZelkErrorList::GetNext(ErrorListPos const& position) const {
    RecursiveLockGuard guard(*m_lock);
    auto it = m_errors.find(position.GetOrdinalNumber().Get());
    if (it == m_errors.end() || ++it == m_errors.end()) return ErrorListPos();
    return Position(it->first);
}

ErrorListPos CZelkErrorList::GetPrevious(ErrorListPos const& position) const {
    RecursiveLockGuard guard(*m_lock);
    auto it = m_errors.find(position.GetOrdinalNumber().Get());
    // A position that names nothing (the null one included) lies past the end.
    if (it == m_errors.end()) return GetLast_NoLock();
    if (it == m_errors.begin()) return ErrorListPos();
    return Position(std::prev(it)->first);
}

int CZelkErrorList::GetError(CErrorClone& snapshot, ErrorListPos const& position) const {
    RecursiveLockGuard guard(*m_lock);
    auto const it = m_errors.find(position.GetOrdinalNumber().Get());
    if (it == m_errors.end()) return 0;
    snapshot = it->second;  // the whole record, every stored line included
    return 1;
}

// Numbers are not handed back to the numbering counter on rollback: a
// position or snapshot of a removed error kept elsewhere would otherwise
// come to name a different, later error.
void CZelkErrorList::Rollback(ErrorListPos const& position) {
    RecursiveLockGuard guard(*m_lock);
    if (position.IsNull()) {
        m_errors.clear();
        return;
    }
    std::uint32_t const number = position.GetOrdinalNumber().Get();
    if (m_errors.find(number) == m_errors.end()) return;
    m_errors.erase(m_errors.upper_bound(number), m_errors.end());
}

// When `to` names no snapshot here, the first snapshot after it is copied
// before the walk stops: the tests below run in that order.
void CZelkErrorList::CopyErrorsTo(CZelkErrorList& target, ErrorListPos* from, ErrorListPos* to) const {
    RecursiveLockGuard sourceGuard(*m_lock);
    RecursiveLockGuard targetGuard(*target.m_lock);

    if (from != nullptr && to != nullptr) {
        std::uint32_t const first = from->GetOrdinalNumber().Get();
        std::uint32_t const last = to->GetOrdinalNumber().Get();
        if (first == last || Before(last, first)) return;
    }
    std::uint32_t cursor = from != nullptr ? from->GetOrdinalNumber().Get() : 0;
    std::uint32_t const end = to != nullptr ? to->GetOrdinalNumber().Get() : GetLast_NoLock().GetOrdinalNumber().Get();

    for (auto const& [number, snapshot] : m_errors) {
        if (Before(cursor, number)) {
            cursor = number;
            target.AddError_NoLock(snapshot);
        }
        if (number == end || Before(end, number)) break;
    }
    if (from != nullptr) *from = Position(cursor);
}

// Nodes move whole from one map to the other: no snapshot is copied, and an
// error leaves the source in the same step that puts it in the target.
unsigned int CZelkErrorList::MoveErrorsTo(CZelkErrorList& target, ErrorListPos const* to) {
    RecursiveLockGuard sourceGuard(*m_lock);
    RecursiveLockGuard targetGuard(*target.m_lock);
    if (&target == this || (to != nullptr && to->IsNull())) return 0;

    std::uint32_t const last = to != nullptr ? to->GetOrdinalNumber().Get() : 0;
    unsigned int moved = 0;
    for (auto it = m_errors.begin(); it != m_errors.end();) {
        if (to != nullptr && it->first != last && !Before(it->first, last)) {
            ++it;
            continue;
        }
        auto const held = target.m_errors.find(it->first);
        if (held == target.m_errors.end() && target.m_errors.size() >= target.m_capacity) break;
        auto node = m_errors.extract(it++);
        if (held == target.m_errors.end()) {
            target.m_errors.insert(std::move(node));
        } else {
            std::swap(held->second.m_record, node.mapped().m_record);
        }
        ++moved;
    }
    return moved;
}
