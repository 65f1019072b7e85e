// A host-made signal set that records every Signal it receives (when, with
// which mask, on which thread) and counts signals that arrive while it is closed, that is after a Stop or a
// delete has returned.  Timers and buffer pipes use only Signal.
#pragma once

#include <zelk/portab.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zelk::test {

class RecordingSignals final : public CAbstractSignals {
public:
    using Clock = std::chrono::steady_clock;
    struct Event {
        Clock::time_point when;
        unsigned long mask;
        std::string threadName;
    };

    void Close() { m_closed = true; }
    void Open() { m_closed = false; }
    int Late() const { return m_late.load(); }
    std::size_t Count() const { return Events().size(); }
    std::vector<Event> Events() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }

    // Runs inside every Signal, before it is recorded; set it before the set
    // is handed out.
    std::function<void(unsigned long mask)> onSignal;

    void Signal(unsigned long mask) override {
        if (m_closed) m_late.fetch_add(1);
        if (onSignal) onSignal(mask);
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_events.push_back(Event{Clock::now(), mask, MyZelkThread().GetName()});
        }
    }

    int AllocSignal() override { return 32; }
    void FreeSignals(unsigned long) override {}
    int AllocSignals(unsigned long) override { return 0; }
    unsigned long GetSignals() override { return 0; }
    unsigned long GetAllocated() override { return 0; }
    void ClearSignals(unsigned long) override {}
    unsigned long Wait(unsigned long) override { return 0; }

private:
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_late{0};
};

}  // namespace zelk::test
