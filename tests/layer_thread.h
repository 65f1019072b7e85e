// Test helpers for code that must run on a thread the library started
// (CreateZelkThread), as opposed to std::thread, which the library sees as
// one more host thread sharing the main thread object.
#pragma once

#include <zelk/portab.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace zelk::test {

// A runnable whose body and name the test gives; a null name stays null.
class FunctionRunnable final : public CAbstractRunnable {
public:
    FunctionRunnable(char const* name, std::function<unsigned long()> body)
        : m_hasName(name != nullptr), m_name(name != nullptr ? name : ""), m_body(std::move(body)) {}
    unsigned long Run() override { return m_body(); }
    char const* GetName() override { return m_hasName ? m_name.c_str() : nullptr; }

private:
    bool m_hasName;
    std::string m_name;
    std::function<unsigned long()> m_body;
};

// Runs a function on a thread of the layer; the destructor joins it.
class LayerThread {
public:
    explicit LayerThread(std::function<unsigned long()> body, char const* name = "layer test thread")
        : m_runnable(name, std::move(body)), m_thread(CreateZelkThread()) {
        m_started = m_thread->Start(&m_runnable) == 1;
    }
    LayerThread(LayerThread const&) = delete;
    LayerThread& operator=(LayerThread const&) = delete;
    ~LayerThread() { Join(); }

    bool Started() const { return m_started; }
    unsigned long Join() { return m_thread->Join(); }
    CAbstractThread& Thread() { return *m_thread; }

private:
    FunctionRunnable m_runnable;
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

// A pause that gives another thread the chance to get where a test wants it
// (into a wait, say).  If the other thread is slower, the test checks a
// weaker case but still passes or fails on the order of events alone.
inline void LetOthersRun() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

}  // namespace zelk::test
