// CZelkBufferPipeReader: the reader forwards to its pipe, which owns the
// lock and every block header it touches.
#include "portab/buffer_pipe_reader.h"

#include "portab/buffer_pipe.h"
#include "portab/buffer_pipe_block.h"

namespace zelk {

CZelkBufferPipeReader::~CZelkBufferPipeReader() { m_pipe->ReaderGone(*this); }

// Only the reader's own thread moves it, so the current block is read
// without the pipe lock.
BufferPipeBlock* CZelkBufferPipeReader::GetBlock() { return m_current ? DescriptorOf(m_current) : nullptr; }

void CZelkBufferPipeReader::Next(int wait) { m_pipe->ReaderNext(*this, wait); }

}  // namespace zelk
