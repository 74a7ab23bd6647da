#include "platform/text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Text, ValidTextRoundTrips) {
    const std::u16string cases[] = {u"", u"plain", u"caf\u00e9", u"\u20ac 5", u"a\U0001F600b"};
    for (const std::u16string& text : cases) {
        EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
        EXPECT_EQ(FromWide(ToWide(text)), text);
    }
    EXPECT_EQ(ToUtf8(u"\u20ac\U0001F600"), "\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(ToWide(u"\U0001F600"), std::wstring(1, static_cast<wchar_t>(0x1F600)));
    EXPECT_EQ(U16Length(nullptr), 0u);
    EXPECT_EQ(U16Length(u"abc"), 3u);
}

TEST(Text, UnpairedSurrogates) {
    const std::u16string lone(1, static_cast<char16_t>(0xD800));
    EXPECT_EQ(ToWide(lone), std::wstring(1, static_cast<wchar_t>(0xD800)));
    EXPECT_EQ(FromWide(ToWide(lone)), lone);
    EXPECT_EQ(ToUtf8(lone + u"x"), "\xEF\xBF\xBDx");
}

TEST(Text, InvalidUtf8BecomesReplacement) {
    struct Case {
        std::string input;
        std::u16string expected;
    };
    const Case cases[] = {
        {"\xFF", u"\uFFFD"},
        {"a\xE2\x82", u"a\uFFFD"},             // truncated at the end
        {"\xE2(", u"\uFFFD("},                 // continuation missing
        {"\xC0\x80", u"\uFFFD\uFFFD"},         // overlong
        {"\xED\xA0\x80", u"\uFFFD"},           // encoded surrogate
        {"\xF4\x90\x80\x80!", u"\uFFFD!"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(FromUtf8(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace platform
