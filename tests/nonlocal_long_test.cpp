// NonLocal::StringToDouble on numbers longer than an int can count.  Two
// gigabytes of digits are one 1 MiB file mapped side by side two thousand
// times, so the text costs address space, not memory.
#include <zelk/binchar.h>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <string>

TEST(StringToDoubleLong, CountsPastTheLargestIntWithoutOverflow) {
    constexpr std::size_t kBlock = std::size_t(1) << 20, kBlocks = 2049;
    std::string zeros(kBlock, '0'), end = zeros;  // the last block ends "...01" and the terminating zero
    end[kBlock - 2] = '1';
    end[kBlock - 1] = '\0';
    int const files[2] = {memfd_create("zeros", 0), memfd_create("end", 0)};
    ASSERT_EQ(write(files[0], zeros.data(), kBlock), ssize_t(kBlock));
    ASSERT_EQ(write(files[1], end.data(), kBlock), ssize_t(kBlock));
    auto* const text =
        static_cast<char*>(mmap(nullptr, kBlocks * kBlock, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    for (std::size_t block = 0; block < kBlocks; ++block)
        ASSERT_NE(
            mmap(text + block * kBlock, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED, files[block + 1 == kBlocks], 0),
            MAP_FAILED);
    char const* const fits = text + (kBlocks * kBlock - 1 - INT_MAX);  // INT_MAX digits
    double value = -1;
    EXPECT_EQ(NonLocal::StringToDouble(fits, &value, 10), INT_MAX);
    EXPECT_EQ(value, 1.0);
    value = -1;  // one digit more: a count the result cannot carry, so no number
    EXPECT_EQ(NonLocal::StringToDouble(fits - 1, &value, 10), 0);
    EXPECT_EQ(value, -1.0);
    munmap(text, kBlocks * kBlock);
}
