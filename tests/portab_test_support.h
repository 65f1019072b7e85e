// Helpers for the tests of threads, signal sets and semaphores.
#pragma once

#include <zelk/portab.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace zelk::portab_test {

// A runnable whose body and name the test gives.
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

// Polls `condition` until it holds or a generous limit passes; a slow
// machine only makes the test slower, and a hang fails instead of blocking.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A pause that gives another thread the chance to get where a test wants it
// (into a wait, say).  Tests never assert on how long anything took: if the
// other thread is slower than this, the test checks a weaker case but still
// passes or fails on the order of events alone.
inline void LetOthersRun() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

}  // namespace zelk::portab_test
