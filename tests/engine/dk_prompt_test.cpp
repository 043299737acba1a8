// The shared prompt and the byte-swap routine.

#include "engine/pc/dk_prompt.h"

#include <string>

#include <gtest/gtest.h>

namespace
{

TEST(DkSwapBytesTest, ExchangesTheFirstBytesOnly)
{
    struct Case
    {
        int32_t length;
        std::string a, b; // after the swap
    };
    const Case cases[] = {
        {0, "abcdef", "UVWXYZ"}, {-3, "abcdef", "UVWXYZ"}, {1, "Ubcdef", "aVWXYZ"},
        {4, "UVWXef", "abcdYZ"}, {6, "UVWXYZ", "abcdef"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.length);
        // Guard bytes after the six show that nothing past the length is touched.
        char a[8] = "abcdef!";
        char b[8] = "UVWXYZ?";
        DkSwapBytes(a, b, c.length);
        EXPECT_EQ(std::string(a, 6), c.a);
        EXPECT_EQ(std::string(b, 6), c.b);
        EXPECT_EQ(a[6], '!');
        EXPECT_EQ(b[6], '?');
    }
    // A record swapped with itself stays as it was.
    char same[4] = "abc";
    DkSwapBytes(same, same, 3);
    EXPECT_STREQ(same, "abc");
}

} // namespace
