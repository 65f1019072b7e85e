// The library's process-wide objects, made when the library is loaded in
// this order and destroyed in the reverse one: the error numbering counter
// and its lock, the thread registry, the main thread object "Main".
#pragma once

#include "portab/semaphore.h"

#include <cstdint>

namespace zelk {

class ThreadRegistry;
class CZelkThread;

// The last ordinal number handed out (0 before the first error); read and
// changed only while NumberingLock() is held.
std::uint32_t& NumberingCounter();
// The lock around error numbering: a CZelkSemaphore(1, 2147483647).
CZelkSemaphore& NumberingLock();
ThreadRegistry& Registry();
// (MainThread() is declared in portab/thread.h.)

}  // namespace zelk
