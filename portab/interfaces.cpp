// The abstract interfaces' destructors live here, once, so that every
// interface has its vtable and type information in the library and hosts
// delete objects through the interface pointers.
#include <zelk/portab.h>

CAbstractSemaphore::~CAbstractSemaphore() = default;
CAbstractSignals::~CAbstractSignals() = default;
CAbstractRunnable::~CAbstractRunnable() = default;
CAbstractTimer::~CAbstractTimer() = default;
CAbstractBufferPipeReader::~CAbstractBufferPipeReader() = default;
CAbstractBufferPipe::~CAbstractBufferPipe() = default;

char const* CZelkResourceExhausted::what() const noexcept {
    return "zelkerr: the system refused to create a semaphore (bad counts or no resources left)";
}
