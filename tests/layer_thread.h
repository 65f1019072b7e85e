// Test helpers for code that must run on a thread the library started
// (CreateZelkThread), as opposed to std::thread, which the library sees as
// one more host thread sharing the main thread object.
#pragma once

#include <zelk/portab.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace zelk::test {

// Runs a function on a thread of the layer; the destructor joins it.
class LayerThread {
public:
    explicit LayerThread(std::function<unsigned long()> body) : m_runnable(std::move(body)), m_thread(CreateZelkThread()) {
        m_started = m_thread->Start(&m_runnable) == 1;
    }
    LayerThread(LayerThread const&) = delete;
    LayerThread& operator=(LayerThread const&) = delete;
    ~LayerThread() { Join(); }

    bool Started() const { return m_started; }
    unsigned long Join() { return m_thread->Join(); }
    CAbstractThread& Thread() { return *m_thread; }

private:
    class Runnable final : public CAbstractRunnable {
    public:
        explicit Runnable(std::function<unsigned long()> body) : m_body(std::move(body)) {}
        unsigned long Run() override { return m_body(); }
        char const* GetName() override { return "layer test thread"; }

    private:
        std::function<unsigned long()> m_body;
    };

    Runnable m_runnable;
    std::unique_ptr<CAbstractThread> m_thread;
    bool m_started = false;
};

// Polls `condition` until it holds or `limit` has passed; true when it held.
// Tests use it with generous limits, so a slow machine only makes them slower.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace zelk::test
