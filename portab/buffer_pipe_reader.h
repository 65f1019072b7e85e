// CZelkBufferPipeReader: one reader's place in a buffer pipe.  It sees, in
// allocation order, every committed block that was in the pipe when it was
// made or came later.
#pragma once

#include <zelk/portab.h>

#include "portab/buffer_pipe.h"

#include <cstdint>

namespace zelk {

class CZelkBufferPipeReader final : public CAbstractBufferPipeReader {
public:
    // Throws CZelkResourceExhausted when the system has no semaphore left
    // for the reader's wake-up.
    explicit CZelkBufferPipeReader(CZelkBufferPipe& pipe) : m_pipe(&pipe) {}
    // Gives back this reader's claim on every block ahead of it.
    ~CZelkBufferPipeReader() override;
    CZelkBufferPipeReader(CZelkBufferPipeReader const&) = delete;
    CZelkBufferPipeReader& operator=(CZelkBufferPipeReader const&) = delete;

    BufferPipeBlock* GetBlock() override;
    void Next(int wait) override;

private:
    friend class CZelkBufferPipe;

    CZelkBufferPipe* const m_pipe;
    // All three are changed under the pipe lock.
    unsigned char* m_current = nullptr;  // null between blocks
    unsigned char* m_previous = nullptr;  // the block last moved away from
    // Set by CreateReader to one before the oldest block's number, so that
    // a reader which has not yet moved reports a progress of 0 even after
    // the numbers have wrapped.
    std::uint32_t m_previousSequence = 0;
    // Made with the reader, so that Next(1) makes nothing when it waits.
    PipeWaiter m_waiter;
};

}  // namespace zelk
