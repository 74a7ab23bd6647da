#include "quendril/wire/frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using wire::FrameDecoder;
using wire::FrameStatus;
using Bytes = std::vector<uint8_t>;

Bytes Frame(const std::string& body) {
    return wire::MakeFrame({reinterpret_cast<const uint8_t*>(body.data()), body.size()});
}

Bytes Header(uint32_t length) {
    Bytes h(4);
    wire::PutFrameHeader(h.data(), length);
    return h;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string BodyText(const FrameDecoder& d) {
    auto b = d.Body();
    return std::string(b.begin(), b.end());
}

// Feeds `input` in chunks whose boundaries are `cuts`; collects the bodies, stops at bad.
// Each chunk is copied into a buffer of exactly its size, so ASan sees any read past it.
struct Fed {
    std::vector<std::string> bodies;
    bool bad = false;
    bool pending = false;  // a frame was started and not finished
};

Fed FeedInChunks(const Bytes& input, const std::vector<size_t>& cuts, uint32_t cap = wire::kMaxFrameBody) {
    FrameDecoder d(cap);
    Fed run;
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(input.size());
    for (size_t end : ends) {
        Bytes chunk(input.begin() + from, input.begin() + end);
        std::span<const uint8_t> rest(chunk);
        while (true) {
            size_t used = 0;
            FrameStatus s = d.Feed(rest, used);
            EXPECT_LE(used, rest.size());
            rest = rest.subspan(used);
            if (s == FrameStatus::kGood) {
                run.bodies.push_back(BodyText(d));
                continue;
            }
            if (s == FrameStatus::kBad) {
                run.bad = true;
                return run;
            }
            EXPECT_TRUE(rest.empty()) << "need-more must eat all input";
            break;
        }
        from = end;
    }
    run.pending = d.InFrame();
    return run;
}

TEST(FrameHeader, BigEndian) {
    EXPECT_EQ(Header(0x01020304), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Frame("ab"), (Bytes{0, 0, 0, 2, 'a', 'b'}));
    EXPECT_TRUE(Frame("").empty()) << "an empty body is not a frame";
    EXPECT_TRUE(wire::MakeFrame(Bytes(wire::kMaxFrameBody + 1, 0)).empty());
}

TEST(FrameDecoder, WholeInputs) {
    const Bytes two = Concat({Frame("hello"), Frame("x")});
    struct Case {
        const char* name;
        Bytes input;
        std::vector<std::string> bodies;
        bool bad;
        bool pending;
    } cases[] = {
        {"empty input", {}, {}, false, false},
        {"one frame", Frame("hello"), {"hello"}, false, false},
        {"two frames in one read", two, {"hello", "x"}, false, false},
        {"partial header", {0, 0}, {}, false, true},
        {"header only", Header(3), {}, false, true},
        {"partial body", Concat({Header(3), {'a', 'b'}}), {}, false, true},
        {"frame then partial", Concat({Frame("ok"), {0, 0, 0}}), {"ok"}, false, true},
        {"zero length", Header(0), {}, true, false},
        {"frame then zero length", Concat({Frame("ok"), Header(0), Frame("lost")}), {"ok"}, true, false},
        {"over the cap", Header(wire::kMaxFrameBody + 1), {}, true, false},
        {"length all ones", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}, {}, true, false},
    };
    for (const Case& c : cases) {
        Fed run = FeedInChunks(c.input, {});
        EXPECT_EQ(run.bodies, c.bodies) << c.name;
        EXPECT_EQ(run.bad, c.bad) << c.name;
        if (!c.bad) {
            EXPECT_EQ(run.pending, c.pending) << c.name;
        }
    }
}

TEST(FrameDecoder, SplitAtEveryByte) {
    std::string big(300, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    const Bytes stream = Concat({Frame("a"), Frame(big), Frame("last frame")});
    const std::vector<std::string> want = {"a", big, "last frame"};
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        Fed run = FeedInChunks(stream, {cut});
        ASSERT_EQ(run.bodies, want) << "cut at " << cut;
        EXPECT_FALSE(run.pending);
    }
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(FeedInChunks(stream, everyByte).bodies, want);
}

TEST(FrameDecoder, CapIsInclusiveAndConfigurable) {
    EXPECT_EQ(FeedInChunks(Frame("12345678"), {}, 8).bodies, std::vector<std::string>{"12345678"});
    EXPECT_TRUE(FeedInChunks(Frame("123456789"), {}, 8).bad);

    // The default cap: exactly 1 MiB is a frame, fed in pieces.
    Bytes max = Concat({Header(wire::kMaxFrameBody), Bytes(wire::kMaxFrameBody, 'z')});
    Fed run = FeedInChunks(max, {1, 4, 5, 70000});
    ASSERT_EQ(run.bodies.size(), 1u);
    EXPECT_EQ(run.bodies[0].size(), wire::kMaxFrameBody);
}

TEST(FrameDecoder, BadIsStickyUntilReset) {
    FrameDecoder d;
    Bytes zero = Header(0);
    size_t used = 0;
    EXPECT_EQ(d.Feed(zero, used), FrameStatus::kBad);
    EXPECT_EQ(used, 4u);
    Bytes good = Frame("fine");
    EXPECT_EQ(d.Feed(good, used), FrameStatus::kBad);
    EXPECT_EQ(used, 0u) << "a bad decoder eats nothing";
    d.Reset();
    EXPECT_EQ(d.Feed(good, used), FrameStatus::kGood);
    EXPECT_EQ(used, good.size());
    EXPECT_EQ(BodyText(d), "fine");
}

TEST(FrameDecoder, ResetDropsPartialFrame) {
    FrameDecoder d;
    Bytes part = {0, 0, 0, 9, 'x'};
    size_t used = 0;
    EXPECT_EQ(d.Feed(part, used), FrameStatus::kNeedMore);
    EXPECT_TRUE(d.InFrame());
    d.Reset();
    EXPECT_FALSE(d.InFrame());
    Bytes good = Frame("new");
    EXPECT_EQ(d.Feed(good, used), FrameStatus::kGood);
    EXPECT_EQ(BodyText(d), "new");
}

// Random corruption of a valid stream: whatever the bytes, the decoder accounts for every byte
// it ate, never eats past its input, and any frame it yields has a length within the cap.
TEST(FrameDecoder, CorruptedStreams) {
    const Bytes clean = Concat({Frame("first"), Frame(std::string(40, 'm')), Frame("third")});
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes = clean;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        size_t cut = rng() % (bytes.size() + 1);
        Fed run = FeedInChunks(bytes, {cut}, 64);
        size_t total = 0;
        for (const std::string& b : run.bodies) {
            EXPECT_GE(b.size(), 1u);
            EXPECT_LE(b.size(), 64u);
            total += 4 + b.size();
        }
        EXPECT_LE(total, bytes.size());
    }
}

}  // namespace
