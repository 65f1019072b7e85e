#include <zelk/error.h>

// The interface's one out-of-line member anchors its vtable in the library.
IZelkError::~IZelkError() = default;
