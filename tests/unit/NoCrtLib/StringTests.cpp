#include "HeapRecorder.h"

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NoCrtString.h"

#include <gtest/gtest.h>

TEST(NcString, GrowsToExactSizeAndWipesTheOldBuffer)
{
    wstring_nc text;
    HeapRecorder heap;
    text.append(L"abc"_v);
    EXPECT_EQ(text.capacity(), 4u);
    text.append(L'd');
    EXPECT_EQ(text.capacity(), 5u);
    ASSERT_EQ(heap.allocations.size(), 2u);
    EXPECT_EQ(heap.allocations[0], 4 * sizeof(wchar_t));
    EXPECT_EQ(heap.allocations[1], 5 * sizeof(wchar_t));
    ASSERT_EQ(heap.releases.size(), 1u);
    EXPECT_EQ(heap.releases[0].bytes, 4 * sizeof(wchar_t));
    EXPECT_TRUE(heap.releases[0].wiped);
    EXPECT_EQ(text, L"abcd");
}
