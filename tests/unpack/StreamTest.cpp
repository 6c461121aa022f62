// Hand-built version 2.9 streams for the paths real archives rarely reach.
#include <gtest/gtest.h>

#include "UnpackTestUtil.h"

#include <functional>
#include <string>

namespace {

// Decodes a hand-built stream and keeps the unpacker for a look at its state.
struct StreamRun : UnpackRun {
    StreamRun(const std::vector<uint8_t> &bytes, uint32_t size) : UnpackRun(bytes, size) { run(); }
};

}  // namespace

// Exactly the member's bytes come out, nothing past them.
TEST(Stream, ShortStreamsDecodeExactly)
{
    struct Case { const char *what; std::function<void(Stream &)> write; std::string expect; bool whole; };
    const Case cases[] = {
        {"literals and the end code", [](Stream &s) { s.literals("Hello"); s.end(); s.literals("junk after the end"); },
         "Hello", true},
        {"symbol 258 before any match", [](Stream &s) { s.ld.put(s.w, 258); s.literals("ab"); s.ld.put(s.w, 258); s.end(); },
         "ab", true},
        {"overlapping matches, 258 repeating the last", [](Stream &s) {
             s.literals("abc");
             s.match(7, 3);           // abcabca
             s.ld.put(s.w, 258);      // 7 more at distance 3
             s.match(20, 1);          // run of the last byte
             s.end();
         }, "abcabcabcabcabcab" + std::string(20, 'b'), true},
        {"output beyond the member", [](Stream &s) {
             for (int i = 0; i < 1000; i++)
                 s.literal((uint8_t)('a' + i % 26));
             s.end();
         }, "abcdefghij", false},
    };
    for (const Case &c : cases) {
        Stream s;
        c.write(s);
        StreamRun r(s.w.bytes(), (uint32_t)c.expect.size());
        EXPECT_EQ(c.expect, r.text(c.expect.size())) << c.what;
        EXPECT_EQ(c.expect.size(), r.written()) << c.what;
        if (c.whole) {
            EXPECT_EQ((int64_t)c.expect.size(), r.u.outDecoded) << c.what;
        }
        for (size_t i = c.expect.size(); i < r.out.size(); i++)
            EXPECT_EQ(0xEE, r.out[i]) << c.what;
    }
}

// Long distances lengthen the match; repeats move their distance to the front;
// a low-distance symbol of 16 covers the next fifteen matches too.
TEST(Stream, DistanceHistoryAndLengthBonuses)
{
    struct Case { const char *what; std::function<void(Stream &)> write; int64_t decoded; std::vector<uint32_t> oldDist; };
    const Case cases[] = {
        {"long distances", [](Stream &s) {
             s.literal('x');
             for (uint32_t d : {0x1FFFu, 0x2000u, 0x40000u, 0x3FFFFu})
                 s.match(3, d);
         }, 1 + 3 + 4 + 5 + 4, {0x3FFFF, 0x40000, 0x2000, 0x1FFF}},
        {"low distance repeat", [](Stream &s) {
             s.literals("0123456789abcdef");
             s.match(3, 0x105);            // low part 4, read from its code
             s.match(3, 0x205, 16);        // 16: this and the next 15 reuse it
             for (int i = 0; i < 15; i++)
                 s.match(3, 0x305, -1);    // no low-distance symbol sent
             s.match(3, 0x408);            // low part 7, read again
         }, 16 + 18 * 3, {0x408, 0x305, 0x305, 0x305}},
        {"repeated and short distances", [](Stream &s) {
             s.literals("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
             for (uint32_t d = 10; d <= 13; d++)
                 s.match(3, d);   // 13 12 11 10
             s.repeat(2, 5);      // 11 to the front: 11 13 12 10
             s.shortMatch(2, 5);  // 8 + 1 + 5 = 14, length 2: 14 11 13 12
         }, 26 + 12 + 5 + 2, {14, 11, 13, 12}},
    };
    for (const Case &c : cases) {
        Stream s;
        c.write(s);
        s.end();
        StreamRun r(s.w.bytes(), 1000);
        EXPECT_EQ(c.decoded, r.u.outDecoded) << c.what;
        EXPECT_EQ(c.oldDist, r.oldDist()) << c.what;
    }
}

TEST(Stream, TableUpdatesAsDifferencesOrAfresh)
{
    Stream s;
    s.literals("AB");
    TestTables next = TestTables::full();
    for (auto &l : next.ld)
        l = 10;
    next.ld['Z'] = 3;
    s.newTables(next, true);          // sent as differences from the old lengths
    s.literals("ZZA");
    TestTables third = TestTables::full();
    third.ld.assign(299, 0);
    third.ld['q'] = 1;
    third.ld[256] = 1;
    s.newTables(third, false);        // sent from zeros
    s.literals("qq");
    s.end();
    StreamRun r(s.w.bytes(), 7);
    EXPECT_EQ("ABZZAqq", r.text(7));
    EXPECT_EQ(7, r.u.outDecoded);
    EXPECT_EQ(1, r.u.oldTable['q']);
    EXPECT_EQ(0, r.u.oldTable['Z']);
}

TEST(Stream, RepeatCodeAtTheFirstLengthRepeatsZero)
{
    BitWriter w;
    w.put(0, 2);
    for (int i = 0; i < 20; i++)
        w.put(5, 4);
    TestCode bc(std::vector<uint8_t>(20, 5));
    bc.put(w, 17);
    w.put(54, 7);                          // 65 entries of "the previous length"
    TestTables t = TestTables::full();
    for (int i = 0; i < 65; i++)
        t.ld[i] = 0;
    for (int i = 65; i < 404; i++) {
        uint32_t len = i < 299 ? t.ld[i] : i < 359 ? t.dd[i - 299] : i < 376 ? t.ldd[i - 359] : t.rd[i - 376];
        bc.put(w, len);
    }
    TestCode ld(t.ld);
    ld.put(w, 'A');
    ld.put(w, 'B');
    ld.put(w, 256);
    w.put(0, 2);
    StreamRun r(w.bytes(), 2);
    EXPECT_EQ("AB", r.text(2));
}

// One bit per 258-byte repeat: a tiny stream claims gigabytes. Decoding stops
// within a window of the member's size.
TEST(Stream, RunawayStreamStopsNearTheMemberSize)
{
    TestTables t;
    t.ld['A'] = 2;
    t.ld[258] = 1;
    t.ld[298] = 2;
    t.dd[0] = 1;
    t.dd[1] = 1;
    Stream s(t);
    s.literal('A');
    s.match(258, 1);
    for (int i = 0; i < 2000; i++)
        s.ld.put(s.w, 258);
    std::vector<uint8_t> bytes = s.w.bytes(200000);   // zeros: 258 again and again
    StreamRun r(bytes, 1000);
    EXPECT_EQ(std::string(1000, 'A'), r.text(1000));
    EXPECT_LE(r.u.outDecoded, 1000 + kWindowSize + 300);
    EXPECT_GT(r.u.outWritten, r.u.outLeft);
}

TEST(Stream, TruncatedStreamStopsAndKeepsWhatItHad)
{
    Stream s;
    std::string text;
    for (int i = 0; i < 5000; i++)
        text += (char)('a' + (i * 7) % 26);
    s.literals(text);
    s.end();
    std::vector<uint8_t> bytes = s.w.bytes(0);
    bytes.resize(bytes.size() / 2);
    StreamRun r(bytes, 5000);
    // Everything decoded from the bytes present comes out; the rest stays zero.
    uint32_t good = 0;
    while (good < 5000 && r.out[good] == (uint8_t)text[good])
        good++;
    EXPECT_GT(good, 2000u);
    EXPECT_LT(r.u.outDecoded, 5000);
    EXPECT_EQ(0, r.out[4999]);
}

TEST(Stream, OtherVersionsLeaveTheOutputUntouched)
{
    Stream s;
    s.literals("abc");
    s.end();
    for (uint32_t version : { 13u, 20u, 26u, 36u })
        EXPECT_EQ(std::vector<uint8_t>(3, 0), decodeBytes(s.w.bytes(), 3, version).out) << version;
    EXPECT_EQ((std::vector<uint8_t>{ 'a', 'b', 'c' }), decodeBytes(s.w.bytes(), 3).out);
}

TEST(Stream, WindowIsTheSmallestPowerOfTwoHoldingTheMember)
{
    struct Case { uint32_t method; int64_t size; uint32_t window; } cases[] = {
        { 29, 0, kMinWindow }, { 29, kMinWindow, kMinWindow }, { 29, kMinWindow + 1, 2 * kMinWindow },
        { 29, kWindowSize / 2, kWindowSize / 2 }, { 29, kWindowSize / 2 + 1, kWindowSize },
        { 29, (int64_t)kWindowSize * 3, kWindowSize }, { 20, 10, kWindowSize }, { 15, 10, kWindowSize } };
    for (const Case &c : cases)
        EXPECT_EQ(c.window, Unpacker::windowSizeFor(c.method, c.size)) << c.method << " " << c.size;
}

// Bytes a damaged stream reads before the member's first byte, or onto
// themselves (distance 0: a repeat slot never filled), are zero whatever the
// window held before: in a window sized to the member, in the whole window,
// and in the window unpackBuffer keeps from the member before.
TEST(Stream, BytesNeverWrittenReadAsZero)
{
    Stream s;
    s.literal('x');
    s.repeat(1, 3);      // distance 0
    s.match(4, 100);     // before the first byte
    s.end();
    std::vector<uint8_t> expect = { 'x', 0, 0, 0, 0, 0, 0, 0 };
    for (uint32_t size : { 8u, 3u << 20 }) {
        std::vector<uint8_t> window(kWindowSize, 0x5A);
        std::vector<uint8_t> out = decodeWithWindow(s.w.bytes(), size, 29, window, 0xEE);
        EXPECT_EQ(expect, std::vector<uint8_t>(out.begin(), out.begin() + 8)) << size;
        EXPECT_EQ('x', window[0]);   // the caller's window is used and kept
    }

    Stream before;
    for (int i = 0; i < 3000; i++)
        before.literal((uint8_t)(0x80 | i));
    before.end();
    std::vector<uint8_t> first;
    for (int i = 0; i < 3000; i++)
        first.push_back((uint8_t)(0x80 | i));
    std::vector<uint8_t> packed = before.w.bytes(), out(3000);
    ASSERT_TRUE(unpackBuffer(packed.data(), (uint32_t)packed.size(), out.data(), 3000, 29,
                             ~crc32(0xFFFFFFFFu, first.data(), first.size())));
    packed = s.w.bytes();
    out.assign(8, 0xEE);
    EXPECT_TRUE(unpackBuffer(packed.data(), (uint32_t)packed.size(), out.data(), 8, 29,
                             ~crc32(0xFFFFFFFFu, expect.data(), expect.size())));
    EXPECT_EQ(expect, out);
    releaseUnpackWindow();
}

// Random literals and matches of every length and many distances, against
// copies made one byte at a time (bytes before the member's start are zero).
TEST(Stream, MatchCopiesEqualByteByByteCopies)
{
    uint32_t x = 99;
    auto rnd = [&x](uint32_t n) {
        x = x * 1103515245u + 12345u;
        return (x >> 8) % n;
    };
    Stream s;
    std::vector<uint8_t> expect;
    auto copy = [&expect](uint32_t length, uint32_t distance) {
        for (uint32_t i = 0; i < length; i++) {
            int64_t from = (int64_t)expect.size() - distance;
            expect.push_back(from >= 0 ? expect[from] : 0);
        }
    };
    for (int step = 0; step < 3000; step++) {
        uint32_t kind = rnd(10);
        if (kind < 4 || expect.empty()) {
            uint8_t c = (uint8_t)rnd(256);
            s.literal(c);
            expect.push_back(c);
        } else if (kind < 8) {
            uint32_t length = 3 + rnd(256);
            uint32_t distance = 1 + (kind == 4 ? rnd(20) : kind == 5 ? rnd(300) : rnd((uint32_t)expect.size() + 50));
            if (distance >= 0x2000)
                distance = 1 + rnd(0x1FFF);
            s.match(length, distance);
            copy(length, distance);
        } else if (kind == 8) {
            uint32_t length = 2 + rnd(250);
            s.repeat(0, length);
            // repeat 0 reuses the newest distance
            copy(length, s.lastDistance);
        } else {
            uint32_t k = rnd(8);
            s.shortMatch(k, rnd(1u << kShortDistBits[k]));
            copy(2, s.lastDistance);
        }
    }
    s.match(5, 0x400000);      // a whole window back (7 bytes with the bonus): copied onto themselves
    for (int i = 0; i < 7; i++)
        expect.push_back(0);
    s.end();
    StreamRun r(s.w.bytes(), (uint32_t)expect.size());
    EXPECT_EQ((int64_t)expect.size(), r.u.outDecoded);
    ASSERT_EQ(expect.size(), r.written());
    for (size_t i = 0; i < expect.size(); i++)
        ASSERT_EQ(expect[i], r.out[i]) << i;
}

// A stream cut short inside a long run of literals, in a member long enough
// for literal pairs, whose shortest literal code is the one of all zero bits:
// the zeros behind the input would go on giving that literal, two a look-up.
// The run stops at the input's end, and decoding stops once the bits at hand
// are spent: no more literals come out than a refill's 64 bits hold. One cut
// fills the input buffer exactly, so a run reading on leaves the buffer.
TEST(Stream, ARunOfLiteralPairsStopsAtTheEndOfTheInput)
{
    TestTables t;
    t.ld['a'] = 1;   // code 0
    t.ld['b'] = 2;
    t.ld['c'] = 3;
    t.ld[256] = 3;
    const struct { const char *name; uint32_t packed; } cuts[] = {
        { "a short input", 4000 }, { "an input filling the buffer", kInBufSize } };
    for (const auto &c : cuts)
        for (bool wide : { false, true }) {
            if (wide && !Unpacker::wideLoopSupported())
                continue;
            Stream s(t);
            std::string text;
            for (uint32_t i = 0; s.w.bitCount() < c.packed * 8; i++) {
                const char letter = "abacabab"[i % 8];
                s.literal((uint8_t)letter);
                text += letter;
            }
            std::vector<uint8_t> bytes = s.w.bytes(0);
            bytes.resize(c.packed);   // the last literal may be cut
            UnpackRun r(bytes, (uint32_t)text.size() + 40000);
            r.u.wideLoop = wide;
            r.run();
            const std::string name = std::string(c.name) + (wide ? ", wide loop" : ", baseline loop");
            ASSERT_NE(r.u.pairs, nullptr) << name;
            const size_t whole = text.size() - 1;
            EXPECT_TRUE(r.text(whole) == text.substr(0, whole)) << name;
            EXPECT_GE(r.u.outDecoded, (int64_t)whole) << name;
            EXPECT_LE(r.u.outDecoded, (int64_t)text.size() + 64) << name;
        }
}
