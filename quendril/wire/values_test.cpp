#include "quendril/wire/message.h"
#include "quendril/wire/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/bstr.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Text = std::optional<std::u16string>;

// Encodes values with `put`, then parses the bytes as one msgpack object.
template <class Put>
msgpack::object_handle Encode(Put put) {
    Bytes bytes;
    wire::ValueWriter w(bytes);
    put(w);
    return msgpack::unpack(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

template <class T>
std::optional<T> RoundTrip(T v) {
    auto h = Encode([&](wire::ValueWriter& w) { w.Put(v); });
    T out{};
    if (!wire::ReadValue(h.get(), out)) return std::nullopt;
    return out;
}

TEST(Values, IntegersRoundTripAtTheirLimits) {
    for (int16_t v : {int16_t{0}, int16_t{-1}, int16_t{1}, int16_t{-32768}, int16_t{32767}, int16_t{-129}}) {
        EXPECT_EQ(RoundTrip(v), v);
    }
    for (uint16_t v : {uint16_t{0}, uint16_t{5123}, uint16_t{65535}}) EXPECT_EQ(RoundTrip(v), v);
    for (int32_t v : {0, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        EXPECT_EQ(RoundTrip(v), v);
    }
    for (int64_t v : {int64_t{0}, int64_t{-1}, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max(), int64_t{1} << 40}) {
        EXPECT_EQ(RoundTrip(v), v);
    }
}

TEST(Values, IntegerReadersCheckTheDeclaredRange) {
    struct Case {
        int64_t written;
        bool asI16, asU16, asI32;
    } cases[] = {
        {32767, true, true, true},   {32768, false, true, true},  {-32768, true, false, true},
        {-32769, false, false, true}, {65535, false, true, true}, {65536, false, false, true},
        {-1, true, false, true},      {int64_t{1} << 31, false, false, false},
        {-(int64_t{1} << 31), false, false, true},
    };
    for (const Case& c : cases) {
        auto h = Encode([&](wire::ValueWriter& w) { w.Put(c.written); });
        int16_t i16 = 7;
        uint16_t u16 = 7;
        int32_t i32 = 7;
        EXPECT_EQ(wire::ReadValue(h.get(), i16), c.asI16) << c.written;
        EXPECT_EQ(wire::ReadValue(h.get(), u16), c.asU16) << c.written;
        EXPECT_EQ(wire::ReadValue(h.get(), i32), c.asI32) << c.written;
        EXPECT_EQ(i16, c.asI16 ? c.written : 7) << "a failed read leaves the target alone";
    }
    // Other types are not integers.
    auto f = Encode([](wire::ValueWriter& w) { w.Put(1.0); });
    auto nil = Encode([](wire::ValueWriter& w) { w.PutNull(); });
    int32_t i = 0;
    EXPECT_FALSE(wire::ReadValue(f.get(), i));
    EXPECT_FALSE(wire::ReadValue(nil.get(), i));
}

TEST(Values, DoublesAndDatesKeepEveryBit) {
    const double values[] = {0.0, -0.0, 1.5, -1.0 /* the date of the smallest date-time */,
                             45000.75 /* a date in 2023 */, std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity()};
    for (double v : values) {
        auto back = RoundTrip(v);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(std::memcmp(&*back, &v, sizeof v), 0) << v;
    }
    EXPECT_TRUE(std::isnan(*RoundTrip(std::nan(""))));
    // Integers from other clients are taken as doubles.
    auto h = Encode([](wire::ValueWriter& w) { w.Put(int32_t{-3}); });
    double d = 0;
    ASSERT_TRUE(wire::ReadValue(h.get(), d));
    EXPECT_EQ(d, -3.0);
}

TEST(Values, TextNullEmptyAndUtf16) {
    const Text texts[] = {
        std::nullopt,
        u"",
        u"Diesel",
        std::u16string(u"a\0b", 3),       // embedded zero unit
        u"\u00e9t\u00e9 \u20ac",          // BMP beyond Latin-1
        u"\U0001F600 fuel",               // surrogate pair
        std::u16string(1, u'\xD800'),     // unpaired surrogate survives too
        std::u16string(3000, u'\x4E2D'),  // longer than the writer's chunk
    };
    for (const Text& t : texts) {
        auto h = Encode([&](wire::ValueWriter& w) { w.PutText(t); });
        Text back = u"unset";
        ASSERT_TRUE(wire::ReadText(h.get(), back));
        EXPECT_EQ(back, t);

        BSTR b = reinterpret_cast<BSTR>(1);
        ASSERT_TRUE(wire::ReadBstr(h.get(), b));
        if (!t) {
            EXPECT_EQ(b, nullptr);
        } else {
            ASSERT_NE(b, nullptr) << "empty text is an empty BSTR, not null";
            EXPECT_EQ(std::u16string(b, SysStringLen(b)), *t);
            EXPECT_EQ(b[SysStringLen(b)], u'\0');
        }
        SysFreeString(b);
    }
}

TEST(Values, TextFromBstrAndFromUtf8) {
    BSTR in = SysAllocString(u"Pump \U0001F6FB");
    auto h = Encode([&](wire::ValueWriter& w) { w.PutBstr(in); });
    Text back;
    ASSERT_TRUE(wire::ReadText(h.get(), back));
    EXPECT_EQ(back, Text(u"Pump \U0001F6FB"));
    SysFreeString(in);

    auto null = Encode([](wire::ValueWriter& w) { w.PutBstr(nullptr); });
    EXPECT_EQ(null.get().type, msgpack::type::NIL);

    auto utf8 = Encode([](wire::ValueWriter& w) { w.PutString("caf\xC3\xA9"); });
    ASSERT_TRUE(wire::ReadText(utf8.get(), back));
    EXPECT_EQ(back, Text(u"caf\u00e9"));
}

TEST(Values, MalformedTextIsRefused) {
    Bytes odd = {0xC4, 3, 'a', 'b', 'c'};  // bin of 3 bytes: not whole UTF-16 units
    auto h = msgpack::unpack(reinterpret_cast<const char*>(odd.data()), odd.size());
    Text t = u"kept";
    EXPECT_FALSE(wire::ReadText(h.get(), t));
    EXPECT_EQ(t, Text(u"kept"));
    BSTR b = nullptr;
    EXPECT_FALSE(wire::ReadBstr(h.get(), b));
    auto number = Encode([](wire::ValueWriter& w) { w.Put(int32_t{5}); });
    EXPECT_FALSE(wire::ReadText(number.get(), t));
}

// ---- messages ----------------------------------------------------------------------------------

wire::Message ParseFrame(const Bytes& frame) {
    wire::Message m;
    EXPECT_GT(frame.size(), wire::kFrameHeaderSize);
    EXPECT_TRUE(m.Parse({frame.data() + wire::kFrameHeaderSize, frame.size() - wire::kFrameHeaderSize}));
    return m;
}

TEST(Messages, FixedLayoutsRoundTrip) {
    wire::Hello hello{wire::kProtocolVersion, wire::Channel::kEvents, 0xFEDCBA9876543210ULL, 42,
                      0xFFFFFFFFFFFFFFFFULL};
    wire::Message m = ParseFrame(wire::EncodeHello(hello));
    EXPECT_EQ(m.type, wire::MessageType::kHello);
    EXPECT_EQ(m.hello.channel, wire::Channel::kEvents);
    EXPECT_EQ(m.hello.apiDigest, hello.apiDigest);
    EXPECT_EQ(m.hello.session, 42);
    EXPECT_EQ(m.hello.eventsKey, hello.eventsKey);

    m = ParseFrame(wire::EncodeWelcome({wire::kProtocolVersion, -104, true}));
    EXPECT_EQ(m.type, wire::MessageType::kWelcome);
    EXPECT_EQ(m.welcome.result, -104);
    EXPECT_TRUE(m.welcome.idsAccepted);

    m = ParseFrame(wire::EncodeClose(-14));
    EXPECT_EQ(m.type, wire::MessageType::kClose);
    EXPECT_EQ(m.result, -14);
}

TEST(Messages, CallAnswerEventCarryTheirValues) {
    wire::FrameWriter w;
    Bytes frame;
    BSTR name = SysAllocString(u"Unleaded");
    wire::ValueWriter& v = w.BeginCall(7, 63, 4);
    v.Put(int32_t{-5});
    v.PutBstr(name);
    v.PutBstr(nullptr);
    v.Put(int16_t{-2});
    ASSERT_TRUE(w.Finish(frame));
    SysFreeString(name);
    wire::Message m = ParseFrame(frame);
    EXPECT_EQ(m.type, wire::MessageType::kCall);
    EXPECT_EQ(m.seq, 7u);
    EXPECT_EQ(m.functionId, 63);
    wire::ValueReader r = m.Values();
    int32_t id = 0;
    Text t1, t2 = u"x";
    int16_t s = 0;
    EXPECT_TRUE(r.Get(id) && r.GetText(t1) && r.GetText(t2) && r.Get(s));
    EXPECT_EQ(id, -5);
    EXPECT_EQ(t1, Text(u"Unleaded"));
    EXPECT_EQ(t2, std::nullopt);
    EXPECT_EQ(s, -2);
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_FALSE(r.Get(id)) << "no value past the end";

    w.BeginCallByName(8, "GetPumpsCount", 0);
    ASSERT_TRUE(w.Finish(frame));
    m = ParseFrame(frame);
    EXPECT_EQ(m.functionId, -1);
    EXPECT_EQ(m.functionName, "GetPumpsCount");

    w.BeginAnswer(8, 0, 1).Put(int32_t{12});
    ASSERT_TRUE(w.Finish(frame));
    m = ParseFrame(frame);
    EXPECT_EQ(m.type, wire::MessageType::kAnswer);
    EXPECT_EQ(m.seq, 8u);
    r = m.Values();
    ASSERT_TRUE(r.Get(id));
    EXPECT_EQ(id, 12);

    wire::ValueWriter& e = w.BeginEvent(13, 2);
    e.Put(int32_t{3});
    e.Put(1234.5);
    ASSERT_TRUE(w.Finish(frame));
    m = ParseFrame(frame);
    EXPECT_EQ(m.type, wire::MessageType::kEvent);
    EXPECT_EQ(m.kind, 13);
    EXPECT_EQ(m.Values().Remaining(), 2u);
}

TEST(Messages, BytesOfTheDocumentedExample) {
    wire::FrameWriter w;
    Bytes frame;
    w.BeginCall(7, 11, 0);
    ASSERT_TRUE(w.Finish(frame));
    EXPECT_EQ(frame, (Bytes{0, 0, 0, 5, 0x94, 0x03, 0x07, 0x0B, 0x90}));
    w.BeginAnswer(7, 0, 1).Put(int32_t{12});
    ASSERT_TRUE(w.Finish(frame));
    EXPECT_EQ(frame, (Bytes{0, 0, 0, 6, 0x94, 0x04, 0x07, 0x00, 0x91, 0x0C}));
    w.BeginEvent(1, 1).Put(-0.0);
    ASSERT_TRUE(w.Finish(frame));
    EXPECT_EQ(frame, (Bytes{0, 0, 0, 13, 0x93, 0x05, 0x01, 0x91, 0xCB, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Messages, WriterRefusesWrongCountsAndOversizeBodies) {
    wire::FrameWriter w;
    Bytes frame = {1, 2, 3};
    w.BeginAnswer(1, 0, 2).Put(int32_t{1});
    EXPECT_FALSE(w.Finish(frame));
    EXPECT_EQ(frame, (Bytes{1, 2, 3})) << "a refused frame leaves the output alone";

    std::u16string huge(wire::kMaxFrameBody / 2, u'x');
    wire::ValueWriter& v = w.BeginEvent(3, 1);
    v.PutText(huge.data(), huge.size());
    EXPECT_FALSE(w.Finish(frame)) << "body over 1 MiB";

    w.BeginAnswer(2, 0, 0);
    EXPECT_TRUE(w.Finish(frame)) << "the writer is usable after a refusal";
    EXPECT_EQ(ParseFrame(frame).seq, 2u);
}

Bytes Body(const Bytes& frame) { return Bytes(frame.begin() + wire::kFrameHeaderSize, frame.end()); }

TEST(Messages, ParseRejectsMalformedBodies) {
    wire::FrameWriter w;
    Bytes call;
    w.BeginCall(1, 5, 1).Put(int32_t{9});
    ASSERT_TRUE(w.Finish(call));
    Bytes good = Body(call);

    Bytes trailing = good;
    trailing.push_back(0xC0);
    Bytes deep = {0x94, 3, 1, 5, 0x91, 0x91, 0x91, 0x91, 1};  // values nested too deep
    Bytes hugeArray = {0x94, 3, 1, 5, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF};  // claims 4G values
    const struct {
        const char* name;
        Bytes body;
    } cases[] = {
        {"empty", {}},
        {"not an array", {0x03}},
        {"array of one", {0x91, 0x03}},
        {"unknown type", {0x92, 0x09, 0x00}},
        {"type not a number", {0x92, 0xC0, 0x00}},
        {"trailing bytes", trailing},
        {"truncated", Bytes(good.begin(), good.end() - 1)},
        {"call with three fields", {0x93, 3, 1, 5}},
        {"call values not an array", {0x94, 3, 1, 5, 7}},
        {"call function id negative", {0x94, 3, 1, 0xFF, 0x90}},
        {"call function name empty", {0x94, 3, 1, 0xA0, 0x90}},
        {"seq negative", {0x94, 3, 0xFF, 5, 0x90}},
        {"close without reason", {0x91, 6}},
        {"hello channel 2", {0x96, 1, 1, 2, 0, 0, 0}},
        {"reserved byte", {0xC1}},
        {"nested too deep", deep},
        {"array larger than the frame", hugeArray},
    };
    for (const auto& c : cases) {
        wire::Message m;
        EXPECT_FALSE(m.Parse(c.body)) << c.name;
    }
    // Every shortened form of a valid body is refused; none crashes.
    for (size_t n = 0; n < good.size(); ++n) {
        wire::Message m;
        EXPECT_FALSE(m.Parse({good.data(), n})) << n;
    }
    wire::Message m;
    EXPECT_TRUE(m.Parse(good));
}

}  // namespace
