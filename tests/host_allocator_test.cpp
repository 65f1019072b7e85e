// A host with an allocator of its own, as leak trackers install one: it
// tags every block it hands out and refuses to free a block without its
// tag.  On Windows the library carries a C++ run-time of its own, so a
// container that the library fills and the host frees shows up here.  (On
// POSIX systems the host's operator new serves the library too.)
#include <zelk/zelkerr.h>

#include "test_errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr std::uint64_t kTag = 0x486f7374416c6c6fULL;

struct alignas(std::max_align_t) Header {
    std::uint64_t tag;
};

void* Allocate(std::size_t size) {
    auto* const header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (header == nullptr) throw std::bad_alloc();
    header->tag = kTag;
    return header + 1;
}

void Free(void* block) noexcept {
    if (block == nullptr) return;
    Header* const header = static_cast<Header*>(block) - 1;
    if (header->tag != kTag) {
        std::fputs("host allocator: asked to free a block it never allocated\n", stderr);
        std::abort();
    }
    header->tag = 0;
    std::free(header);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::nothrow_t const&) noexcept {
    try {
        return Allocate(size);
    } catch (std::bad_alloc const&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::nothrow_t const& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, std::nothrow_t const&) noexcept { Free(block); }
void operator delete[](void* block, std::nothrow_t const&) noexcept { Free(block); }

namespace {

using zelk::test::TestError;

// Everything the host gets from the library it frees with its own allocator.
TEST(HostAllocator, WhatTheLibraryHandsOverIsTheHostsToFree) {
    ERRClearErrors();
    {
        CZelkErrorScope scope;
        for (int code : {1, 2, 3}) ERRAdd(TestError("allocator.cpp", code, code));
        std::vector<ErrorListPos> const errors = scope.Errors();
        ASSERT_EQ(errors.size(), 3u);
        EXPECT_EQ(errors.back(), ERRMyList().GetLast());
    }
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
}

}  // namespace
