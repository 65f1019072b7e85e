// NonLocal::StringToDouble on numbers longer than an int can count.  Two
// gigabytes of digits are one page-cache file of 1 MiB mapped side by side
// two thousand times, so the text costs address space, not memory.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <string>

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;
constexpr std::size_t kBlocks = 2048;  // 2 GiB of zeros, then a last block

TEST(StringToDoubleLong, CountsPastTheLargestIntWithoutOverflow) {
    int const zeros = memfd_create("zeros", 0), last = memfd_create("last", 0);
    ASSERT_GE(zeros, 0);
    ASSERT_GE(last, 0);
    std::string const digits(kBlock, '0');
    std::string end = digits;  // ... 0001, then the terminating zero
    end[kBlock - 2] = '1';
    end[kBlock - 1] = '\0';
    ASSERT_EQ(write(zeros, digits.data(), kBlock), static_cast<ssize_t>(kBlock));
    ASSERT_EQ(write(last, end.data(), kBlock), static_cast<ssize_t>(kBlock));

    std::size_t const size = (kBlocks + 1) * kBlock;
    auto* const base = static_cast<char*>(mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    for (std::size_t block = 0; block <= kBlocks; ++block) {
        ASSERT_NE(mmap(base + block * kBlock, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED, block < kBlocks ? zeros : last, 0),
                  MAP_FAILED);
    }
    // Everything from `text` to the 1 is the number.
    std::size_t const digitsInAll = size - 1;
    char const* const fits = base + (digitsInAll - INT_MAX);
    double value = -1;
    EXPECT_EQ(NonLocal::StringToDouble(fits, &value, 10), INT_MAX);
    EXPECT_EQ(value, 1.0);
    // One digit more: a length the result cannot carry, so no number is taken.
    value = -1;
    EXPECT_EQ(NonLocal::StringToDouble(fits - 1, &value, 10), 0);
    EXPECT_EQ(value, -1.0);
    munmap(base, size);
    close(zeros);
    close(last);
}

}  // namespace
