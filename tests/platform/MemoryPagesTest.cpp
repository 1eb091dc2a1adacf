#include "platform/MemoryPages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

// Faulting pages in ahead must never change what a block holds: neither the items already
// there nor the neighbours sharing the partial pages at its ends.
TEST(MemoryPages, PrefaultingKeepsWhatTheBlockAndItsNeighboursHold)
{
    std::vector<uint64_t> items(1000);
    std::iota(items.begin(), items.end(), 1);
    ReservePrefaulted(items, 200000);
    ASSERT_GE(items.capacity(), 200000u);
    for (size_t i = 0; i < items.size(); ++i)
        ASSERT_EQ(items[i], i + 1) << i;

    // A block inside a larger one, not page aligned: the bytes around it stay as they were.
    std::vector<unsigned char> outer(1 << 20);
    for (size_t i = 0; i < outer.size(); ++i)
        outer[i] = static_cast<unsigned char>(i * 7 + 3);
    PrefaultForWriting(outer.data() + 1001, 300000);
    for (size_t i = 0; i < outer.size(); ++i)
        ASSERT_EQ(outer[i], static_cast<unsigned char>(i * 7 + 3)) << i;

    // Nothing to do for nothing.
    PrefaultForWriting(nullptr, 1 << 20);
    std::vector<int> empty;
    ReservePrefaulted(empty, 0);
    EXPECT_TRUE(empty.empty());
}
