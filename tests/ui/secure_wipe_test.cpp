#include "platform/wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace mossvane {
namespace {

TEST(WipeTextTest, ZeroesTheWholeBufferIncludingAShortenedTail) {
    std::u16string text = u"12345678901234567890";
    text.resize(4);  // the cut-off digits still sit in the buffer
    const char16_t* buffer = text.data();
    const std::size_t capacity = text.capacity();
    platform::WipeText(text);
    EXPECT_TRUE(text.empty());
    ASSERT_EQ(text.data(), buffer);  // wiped in place, not reallocated
    EXPECT_TRUE(std::all_of(buffer, buffer + capacity, [](char16_t c) { return c == 0; }));
}

TEST(WipeTextTest, WipesNarrowText) {
    std::string text(40, '7');
    const char* buffer = text.data();
    platform::WipeText(text);
    EXPECT_TRUE(text.empty());
    EXPECT_TRUE(std::all_of(buffer, buffer + 40, [](char c) { return c == 0; }));
}

}  // namespace
}  // namespace mossvane
