#include "common/CStr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/bstr.h"
#include "platform/strings.h"

namespace {

std::u16string U16(const CStr& s) { return std::u16string(s.Wide(), size_t(s.Length())); }

CStr Repeat(char16_t c, int n) {
    CStr s;
    s.Fill(n, c);
    return s;
}

TEST(CStrState, NullAndEmptyAreDistinct) {
    CStr null;
    CStr empty("");
    CStr fromNullPointer(static_cast<const char*>(nullptr));
    CStr fromNullWide(static_cast<const char16_t*>(nullptr));

    EXPECT_TRUE(null.IsNull());
    EXPECT_TRUE(fromNullPointer.IsNull());
    EXPECT_TRUE(fromNullWide.IsNull());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_EQ(0, null.Length());
    EXPECT_EQ(0, empty.Length());
    EXPECT_STREQ("<null>", null.Narrow());
    EXPECT_EQ(std::u16string(u"<null>"), null.Wide());
    EXPECT_STREQ("", empty.Narrow());
    EXPECT_EQ(std::u16string(), empty.Wide());

    CStr text("abc");
    text.Assign(static_cast<const char*>(nullptr));
    EXPECT_TRUE(text.IsNull());
    CStr copy(null);
    EXPECT_TRUE(copy.IsNull());
    CStr other("x");
    other = empty;
    EXPECT_FALSE(other.IsNull());
    EXPECT_EQ(0, other.Length());
}

TEST(CStrState, BstrOfNullIsEmptyAndCopiesAreDeep) {
    CStr null;
    BSTR b = null.ToBSTR();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0u, SysStringLen(b));
    SysFreeString(b);

    CStr a("hello");
    CStr c(a);
    c.At(1) = u'J';
    EXPECT_STREQ("hello", a.Narrow());
    EXPECT_STREQ("Jello", c.Narrow());
    b = c.ToBSTR();
    EXPECT_EQ(std::u16string(u"Jello"), std::u16string(b, SysStringLen(b)));
    SysFreeString(b);

    a = a;  // self-assignment keeps the text
    EXPECT_STREQ("hello", a.Narrow());
    a.Append(a);
    EXPECT_STREQ("hellohello", a.Narrow());
    a.Assign(a.Wide() + 5);  // assigning a piece of itself
    EXPECT_STREQ("hello", a.Narrow());
}

TEST(CStrNarrow, HighBytesRoundTrip) {
    CStr s("\xE7" "a");
    EXPECT_EQ(231, s.At(1));
    EXPECT_STREQ("\xE7" "a", s.Narrow());
    s.ToUpper();
    EXPECT_EQ(199, s.At(1));
    EXPECT_EQ(u'A', s.At(2));

    // The counted constructor takes exactly count bytes, including a high byte and zero byte.
    CStr counted("\xE9x\0yz", 4);
    ASSERT_EQ(4, counted.Length());
    EXPECT_EQ(0xE9, counted.At(1));
    EXPECT_EQ(0, counted.At(3));
    EXPECT_EQ(u'y', counted.At(4));
    EXPECT_TRUE(CStr(static_cast<const char*>(nullptr), 3).IsNull());
}

TEST(CStrNarrow, NarrowKeepsLowByteAndReusesBuffer) {
    CStr s(u"\u0141b");  // U+0141 narrows to 0x41
    EXPECT_STREQ("Ab", s.Narrow());
    s.Assign("a much longer text than before");
    const char* first = s.Narrow();
    s.Assign("short");
    EXPECT_EQ(first, s.Narrow());
    EXPECT_STREQ("short", s.Narrow());
}

TEST(CStrAt, OutsideTheTextGivesTheSpare) {
    CStr s("abc");
    for (int pos : {0, -5, 4, 1000}) {
        char16_t& spare = s.At(pos);
        spare = u'Z';
        EXPECT_STREQ("abc", s.Narrow()) << pos;
    }
    EXPECT_EQ(&s.At(0), &s.At(4));
    CStr null;
    EXPECT_EQ(&s.At(0), &null.At(1));
}

TEST(CStrLimits, AppendsStopAtTheLimit) {
    CStr full = Repeat(u'x', CStr::kMaxLength);
    ASSERT_EQ(CStr::kMaxLength, full.Length());
    full.AppendChar(u'y');
    EXPECT_EQ(CStr::kMaxLength, full.Length());
    EXPECT_EQ(u'x', full.At(CStr::kMaxLength));
    full.Append("y");
    full.Append(CStr("y"));
    EXPECT_EQ(CStr::kMaxLength, full.Length());

    CStr almost = Repeat(u'x', CStr::kMaxLength - 2);
    almost.Append("abc");  // would reach 32768
    EXPECT_EQ(CStr::kMaxLength - 2, almost.Length());
    almost.Append("ab");
    EXPECT_EQ(CStr::kMaxLength, almost.Length());
    EXPECT_EQ(u'b', almost.At(CStr::kMaxLength));

    CStr padded("a");
    padded.PadRight(CStr::kMaxLength + 1, u' ');
    EXPECT_EQ(1, padded.Length());
}

TEST(CStrLimits, LongAssignmentsAreCutAt32767) {
    std::string longNarrow(40000, 'n');
    CStr a(longNarrow.c_str());
    EXPECT_EQ(CStr::kMaxLength, a.Length());
    EXPECT_EQ(u'n', a.At(CStr::kMaxLength));
    std::u16string longWide(40000, u'w');
    CStr b(longWide.c_str());
    EXPECT_EQ(CStr::kMaxLength, b.Length());
    b.Assign(longWide.c_str(), 40000);
    EXPECT_EQ(CStr::kMaxLength, b.Length());
    CStr c(longNarrow.c_str(), 40000);
    EXPECT_EQ(CStr::kMaxLength, c.Length());
    CStr d = Repeat(u'q', 20000);
    d.ToHex();  // 40000 characters would not fit: unchanged
    EXPECT_EQ(20000, d.Length());
    EXPECT_EQ(u'q', d.At(1));
}

TEST(CStrGrowth, BlocksOf32Units) {
    CStr s;
    s.AppendChar(u'a');
    EXPECT_EQ(32, s.Capacity());
    int changes = 0;
    int last = s.Capacity();
    for (int i = 1; i < CStr::kMaxLength; ++i) {
        s.AppendChar(u'a');
        if (s.Capacity() != last) {
            ++changes;
            last = s.Capacity();
            EXPECT_EQ(((s.Length() + 1) / 32 + 1) * 32, last);
        }
    }
    EXPECT_EQ(CStr::kMaxLength, s.Length());
    // New blocks at lengths 31, 63, ... 32767: one every 32 characters.
    EXPECT_EQ(1024, changes);
    s.Assign("x");  // buffers never shrink
    EXPECT_EQ(last, s.Capacity());
}

TEST(CStrFormat, NarrowAndWide) {
    CStr s;
    s.Format("%s - %d.", "Logon", -14);
    EXPECT_STREQ("Logon - -14.", s.Narrow());
    s.FormatWide(u"%ls=%d", L"key", 5);
    EXPECT_STREQ("key=5", s.Narrow());
}

TEST(CStrFormat, LongOutputIsCutAt1024) {
    std::string big(5000, 'a');
    CStr s;
    s.Format("%s%s", big.c_str(), "tail");
    EXPECT_EQ(1024, s.Length());
    EXPECT_EQ(u'a', s.At(1024));
    std::wstring wideBig(5000, L'b');
    s.FormatWide(u"%ls", wideBig.c_str());
    EXPECT_EQ(1024, s.Length());
    EXPECT_EQ(u'b', s.At(1024));
    s.FormatWide(u"%ls", L"exactly");
    EXPECT_STREQ("exactly", s.Narrow());
}

TEST(CStrLoadString, FromTheProgramTable) {
    static const platform::StringResource table[] = {{7001, u"Connecting to %s"}};
    platform::RegisterStringTable(nullptr, table, 1);
    CStr s(7001u);
    EXPECT_STREQ("Connecting to %s", s.Narrow());
    CStr missing;
    EXPECT_FALSE(missing.LoadString(7999));
    EXPECT_EQ(0, missing.Length());
}

TEST(CStrEdit, MidBounds) {
    struct Case { int start, count; const char* want; } cases[] = {
        {3, 100, "cdef"}, {10, 2, ""}, {0, 2, "ab"}, {-3, 3, "abc"}, {2, -1, ""},
        {6, 1, "f"}, {7, 1, ""}, {1, 0, ""}, {1, 6, "abcdef"},
    };
    for (const Case& c : cases) {
        CStr s("abcdef");
        s.Mid(c.start, c.count);
        EXPECT_FALSE(s.IsNull());
        EXPECT_STREQ(c.want, s.Narrow()) << c.start << "," << c.count;
    }
    CStr null;
    null.Mid(1, 2);
    EXPECT_TRUE(null.IsNull());
}

TEST(CStrEdit, PadFillTrimRemove) {
    CStr s("ab");
    s.PadRight(5, u'.');
    EXPECT_STREQ("ab...", s.Narrow());
    s.PadLeft(7, u'0');
    EXPECT_STREQ("00ab...", s.Narrow());
    s.PadLeft(3, u'0');
    EXPECT_STREQ("00ab...", s.Narrow());

    CStr fromNull;
    fromNull.PadLeft(3, u'-');
    EXPECT_STREQ("---", fromNull.Narrow());
    CStr filled;
    filled.Fill(4, u'z');
    EXPECT_STREQ("zzzz", filled.Narrow());
    CStr appended;
    appended.Append("x");
    EXPECT_STREQ("x", appended.Narrow());

    CStr t("  a b\t ");
    t.TrimLeft();
    EXPECT_STREQ("a b\t ", t.Narrow());
    t.TrimRight();
    EXPECT_STREQ("a b\t", t.Narrow());
    CStr blanks("   ");
    blanks.TrimRight();
    EXPECT_EQ(0, blanks.Length());

    CStr r("1,234.5 kg");
    r.Remove(u", ");
    EXPECT_STREQ("1234.5kg", r.Narrow());
    r.Remove(nullptr);
    EXPECT_STREQ("1234.5kg", r.Narrow());

    CStr null;
    null.TrimLeft();
    null.Remove(u"a");
    null.ToUpper();
    null.ToHex();
    EXPECT_TRUE(null.IsNull());
}

TEST(CStrCase, UpperLowerOnLatin1) {
    // Every character 0..255 (and one beyond) through ToUpper and ToLower against the rule.
    auto accentedLower = [](int c) {
        return (c >= 224 && c <= 227) || (c >= 231 && c <= 234) || (c >= 236 && c <= 238) ||
               (c >= 241 && c <= 245) || (c >= 249 && c <= 252);
    };
    for (int c = 1; c <= 256; ++c) {
        CStr s;
        s.AppendChar(char16_t(c));
        s.ToUpper();
        bool lower = (c >= 'a' && c <= 'z') || accentedLower(c);
        EXPECT_EQ(lower ? c - 32 : c, s.At(1)) << c;
        CStr t;
        t.AppendChar(char16_t(c));
        t.ToLower();
        bool upper = (c >= 'A' && c <= 'Z') || accentedLower(c + 32);
        EXPECT_EQ(upper ? c + 32 : c, t.At(1)) << c;
    }
    // Untouched neighbours: ÷ 247, ÿ 255, æ 230, ð 240, ø 248, ý 253.
    CStr s(u"\u00F7\u00FF\u00E6\u00F0\u00F8\u00FD\u00DF");
    s.ToUpper();
    EXPECT_EQ(std::u16string(u"\u00F7\u00FF\u00E6\u00F0\u00F8\u00FD\u00DF"), U16(s));
}

TEST(CStrCase, FoldAccents) {
    struct Case { const char16_t* in; const char16_t* out; } cases[] = {
        {u"\u00C7\u0080", u"CC"},
        {u"\u00E7\u0087", u"cc"},
        {u"\u00C0\u00C1\u00C2\u00C3\u00C4", u"AAAA\u00C4"},
        {u"\u00E0\u00E3\u0083\u0085\u00A0\u00E4", u"aaaaa\u00E4"},
        {u"\u00C8\u00CA\u0090\u00CB", u"EEE\u00CB"},
        {u"\u00E8\u00EA\u0082\u0088\u008A", u"eeeee"},
        {u"\u00CC\u00CE\u00EC\u00EE\u008C\u008D\u00A1", u"IIiiiii"},
        {u"\u00D2\u00D5\u00F2\u00F5\u0093\u0095\u00A2\u00D6", u"OOooooo\u00D6"},
        {u"\u00D9\u00DC\u00F9\u00FC\u0096\u0097\u00A3", u"UUuuuuu"},
        {u"\u00D1\u00A5\u00F1\u00A4", u"NNnn"},
        {u"plain ASCII 123", u"plain ASCII 123"},
    };
    for (const Case& c : cases) {
        CStr s(c.in);
        s.FoldAccents();
        EXPECT_EQ(std::u16string(c.out), U16(s));
    }
}

TEST(CStrCase, ToHexUsesLowByte) {
    CStr s(u"A\u00FF\u0141\n");
    s.ToHex();
    EXPECT_STREQ("41FF410A", s.Narrow());
    CStr empty("");
    empty.ToHex();
    EXPECT_STREQ("", empty.Narrow());
}

TEST(CStrCompare, CompareNoCaseAndCompare) {
    struct Case { const char* a; const char* b; int noCase; int exact; } cases[] = {
        {"abc", "ABC", 0, 1},   {"abc", "abd", -1, -1}, {"abd", "ABC", 1, 1},
        {"ab", "abc", -1, -1},  {"abc", "ab", 1, 1},    {"", "", 0, 0},
        {"", "a", -1, -1},      {"\xE7", "\xC7", 1, 1},  {"a\xE9", "a", 1, 1},
    };
    for (const Case& c : cases) {
        CStr a(c.a);
        EXPECT_EQ(c.noCase, a.CompareNoCase(CStr(c.b))) << c.a << " vs " << c.b;
        EXPECT_EQ(c.exact, a.Compare(c.b)) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(-1, CStr("abc").Compare(nullptr));
    EXPECT_TRUE(CStr("Pump").EqualsNoCase(CStr("PUMP")));
    EXPECT_TRUE(CStr("Pump").DiffersNoCase(CStr("Pumps")));
    CStr wide(u"\u0141");  // beyond Latin-1 compares by value
    EXPECT_EQ(1, wide.CompareNoCase(CStr("A")));
}

TEST(CStrFind, Positions) {
    CStr path("a\\b\\c");
    CStr slash("\\");
    struct Case { int start; int want; } cases[] = {{1, 2}, {2, 2}, {3, 4}, {5, 0}, {0, 2}, {99, 0}};
    for (const Case& c : cases) EXPECT_EQ(c.want, path.Find(slash, c.start)) << c.start;

    CStr empty("");
    EXPECT_EQ(3, path.Find(empty, 3));
    EXPECT_EQ(6, path.Find(empty, 6));
    EXPECT_EQ(0, path.Find(empty, 7));
    EXPECT_EQ(3, path.Find(CStr("b\\c"), 1));
    EXPECT_EQ(0, path.Find(CStr("b\\c\\"), 1));
    EXPECT_EQ(0, CStr().Find(slash, 1));
}

TEST(CStrNumbers, DecimalScans) {
    struct Case { const char* text; int32_t toInt; int64_t toInt64; double toDouble; } cases[] = {
        {"2,5.5", 25, 25, 25.5},
        {" -12", -12, -12, -12.0},
        {"5-3", -53, -53, 5.0},
        {"--5", -5, -5, 0.0},
        {"1.2.3", 1, 1, 1.2},
        {"+-7", -7, -7, -7.0},
        {"-+7", 7, 7, 7.0},
        {"1 000 000", 1000000, 1000000, 1000000.0},
        {"0.5-", 0, 0, 0.5},
        {"-0.25", 0, 0, -0.25},
        {"12abc", 12, 12, 12.0},
        {"", 0, 0, 0.0},
        {"x12", 0, 0, 0.0},
        {"2147483647", INT32_MAX, 2147483647, 2147483647.0},
        {"-2147483648", INT32_MIN, -2147483648LL, -2147483648.0},
        {"9223372036854775807", -1, INT64_MAX, 9223372036854775807.0},
    };
    for (const Case& c : cases) {
        CStr s(c.text);
        EXPECT_EQ(c.toInt, s.ToInt()) << c.text;
        EXPECT_EQ(c.toInt64, s.ToInt64()) << c.text;
        EXPECT_DOUBLE_EQ(c.toDouble, s.ToDouble()) << c.text;
    }
    CStr null;
    EXPECT_EQ(0, null.ToInt());
    EXPECT_EQ(0.0, null.ToDouble());
}

TEST(CStrNumbers, OverlongDigitsWrapAround) {
    // One more digit than the type holds: the low bits of the exact value.
    EXPECT_EQ(int32_t(uint32_t(21474836470ULL)), CStr("21474836470").ToInt());
    EXPECT_EQ(int64_t(10ULL * 9223372036854775807ULL), CStr("92233720368547758070").ToInt64());
    EXPECT_EQ(INT64_MIN, CStr("-9223372036854775808").ToInt64());
    std::string many(30000, '9');
    CStr big(many.c_str());
    (void)big.ToInt();
    (void)big.ToInt64();
    (void)big.HexToInt64();
    EXPECT_GT(big.ToDouble(), 1e300);
}

TEST(CStrNumbers, HexScans) {
    struct Case { const char* text; int64_t want; } cases[] = {
        {"0x1F", 31}, {"001f", 31}, {"00", 0}, {"  X0a", 10}, {"ff zz", 255},
        {"0xFFFFFFFFFFFFFFFF", -1}, {"7fffffffffffffff", INT64_MAX}, {"g1", 0}, {"", 0},
        {"0x-1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, CStr(c.text).HexToInt64()) << c.text;
}

}  // namespace
