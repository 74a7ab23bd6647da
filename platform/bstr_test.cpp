#include "platform/bstr.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

uint32_t PrefixBytes(BSTR text) {
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(text) - 4, 4);
    return bytes;
}

TEST(Bstr, NullStaysDistinctFromEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);  // accepted

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(PrefixBytes(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST(Bstr, LengthPrefixAndTerminator) {
    struct Case {
        const char16_t* text;
        uint32_t length;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"abc", 3, u"abc"},
        {u"abc", 2, u"ab"},                               // copies only `length` units
        {u"a\0b", 3, std::u16string(u"a\0b", 3)},         // embedded zero kept
        {nullptr, 3, std::u16string(3, u'\0')},           // zero-filled
        {u"\U0001F600", 2, u"\U0001F600"},                // a surrogate pair is two units
    };
    for (const Case& c : cases) {
        BSTR text = SysAllocStringLen(c.text, c.length);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(SysStringLen(text), c.length);
        EXPECT_EQ(PrefixBytes(text), c.length * 2);
        EXPECT_EQ(std::u16string(text, c.length), c.expected);
        EXPECT_EQ(text[c.length], 0);
        SysFreeString(text);
    }
    BSTR copied = SysAllocString(u"hello");
    EXPECT_EQ(SysStringLen(copied), 5u);
    SysFreeString(copied);
}

TEST(Bstr, LengthBeyondThePrefixFails) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFFu), nullptr);
}

}  // namespace
