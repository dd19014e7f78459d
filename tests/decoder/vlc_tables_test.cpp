// Every code of the shared tables decodes to its value with one lookup, and
// every bit pattern that starts no code is an error.
#include "decoder/vlc_tables.h"

#include <gtest/gtest.h>

#include "common/h263_tables.h"

namespace kmqx {
namespace {

// True when the `peekBits`-bit value v begins with (code, length).
bool Begins(uint32_t v, int peekBits, uint32_t code, int length) {
    return length <= peekBits && (v >> (peekBits - length)) == code;
}

TEST(VlcTables, McbpcOfBothPictureTypes) {
    const DecoderVlcTables& t = GetDecoderVlcTables();
    for (uint32_t v = 0; v < 512; ++v) {
        // INTRA pictures.
        int matches = 0;
        VlcEntry entry = LookupMcbpc(t, false, v);
        for (int i = 0; i <= kMcbpcIntraStuffing; ++i) {
            const VlcCode& c = kMcbpcIntra[i];
            if (!Begins(v, 9, c.code, c.length)) continue;
            ++matches;
            EXPECT_EQ(entry.length, c.length) << v;
            EXPECT_EQ(entry.value, i == kMcbpcIntraStuffing ? kMcbpcStuffingValue : 12 + i) << v;
        }
        if (matches == 0) {
            EXPECT_EQ(entry.length, 0) << v;
        }
        // INTER pictures.
        matches = 0;
        entry = LookupMcbpc(t, true, v);
        for (int i = 0; i <= kMcbpcInterStuffing; ++i) {
            const VlcCode& c = kMcbpcInter[i];
            if (!Begins(v, 9, c.code, c.length)) continue;
            ++matches;
            EXPECT_EQ(entry.length, c.length) << v;
            EXPECT_EQ(entry.value, i == kMcbpcInterStuffing ? kMcbpcStuffingValue : i) << v;
        }
        if (matches == 0) {
            EXPECT_EQ(entry.length, 0) << v;
        }
    }
}

TEST(VlcTables, CbpyGivesTheTableIndexAndSoBothPatterns) {
    const DecoderVlcTables& t = GetDecoderVlcTables();
    for (uint32_t v = 0; v < 64; ++v) {
        const VlcEntry entry = LookupCbpy(t, v);
        int matches = 0;
        for (int pattern = 0; pattern < 16; ++pattern) {
            if (!Begins(v, 6, kCbpy[pattern].code, kCbpy[pattern].length)) continue;
            ++matches;
            EXPECT_EQ(entry.length, kCbpy[pattern].length);
            EXPECT_EQ(entry.value, pattern);
            EXPECT_EQ(CbpyOrder(entry.value, /*intra=*/false), pattern ^ 15);
        }
        if (matches == 0) {
            EXPECT_EQ(entry.length, 0) << v;
        }
    }
}

TEST(VlcTables, MvdWithSignAfterTheLeadingZero) {
    const DecoderVlcTables& t = GetDecoderVlcTables();
    int decoded = 0;
    for (uint32_t v = 0; v < 4096; ++v) {
        const VlcEntry entry = LookupMvd(t, v);
        int expectedValue = -1;
        int expectedLength = 0;
        for (int magnitude = 1; magnitude <= 32; ++magnitude) {
            const VlcCode& c = kMvd[magnitude];
            const int tail = c.length - 1;  // code bits after the leading 0
            const uint32_t code = c.code & ((1u << tail) - 1);
            if (!Begins(v >> (12 - tail), tail, code, tail)) continue;
            const int sign = (v >> (12 - tail - 1)) & 1;
            if (magnitude == 32 && sign == 0) continue;  // +16 pixels: out of range
            expectedValue = sign ? 64 - magnitude : magnitude;
            expectedLength = c.length;
        }
        EXPECT_EQ(entry.length, expectedLength) << v;
        if (expectedLength != 0) {
            EXPECT_EQ(entry.value, expectedValue) << v;
            ++decoded;
        }
    }
    EXPECT_GT(decoded, 0);
}

TEST(VlcTables, TcoefEventsAndEscape) {
    const DecoderVlcTables& t = GetDecoderVlcTables();
    int seen[kTcoefEventCount] = {};
    for (uint32_t v = 0; v < 4096; ++v) {
        const VlcEntry entry = LookupTcoef(t, v);
        int matches = 0;
        for (int i = 0; i < kTcoefEventCount; ++i) {
            const TcoefCode& c = kTcoef[i];
            if (!Begins(v, 12, c.code, c.length)) continue;
            ++matches;
            ++seen[i];
            EXPECT_EQ(entry.length, c.length) << v;
            EXPECT_EQ(entry.value, c.last * 4096 + c.run * 16 + c.level) << v;
        }
        if (Begins(v, 12, kTcoefEscape.code, kTcoefEscape.length)) {
            ++matches;
            EXPECT_EQ(entry.value, kTcoefEscapeValue);
            EXPECT_EQ(entry.length, kTcoefEscape.length);
        }
        if (matches == 0) {
            EXPECT_EQ(entry.length, 0) << v;
        }
    }
    for (int i = 0; i < kTcoefEventCount; ++i) EXPECT_GT(seen[i], 0) << "event " << i;
}

// The one-load table of short events agrees with the code table for both
// signs, and leaves every longer code, ESCAPE and non-code to the ranged
// lookup.
TEST(VlcTables, ShortTcoefEventsCarryTheirSign) {
    const DecoderVlcTables& t = GetDecoderVlcTables();
    constexpr int kBits = kTcoefShortEventBits;
    int shortCodes = 0;
    for (uint32_t v = 0; v < (1u << kBits); ++v) {
        const TcoefShortEvent& event = t.tcoefEvents[v];
        int matches = 0;
        for (int i = 0; i < kTcoefEventCount; ++i) {
            const TcoefCode& c = kTcoef[i];
            if (c.length + 1 > kBits || !Begins(v >> 1, kBits - 1, c.code, c.length)) continue;
            ++matches;
            const bool negative = (v >> (kBits - 1 - c.length)) & 1;
            EXPECT_EQ(event.length, c.length + 1) << v;
            EXPECT_EQ(event.level, negative ? -c.level : c.level) << v;
            EXPECT_EQ(event.run, c.run) << v;
            EXPECT_EQ(event.last, c.last) << v;
        }
        if (matches == 0) {
            EXPECT_EQ(event.length, 0) << v;
        } else {
            ++shortCodes;
        }
    }
    EXPECT_GT(shortCodes, (1 << kBits) / 2);
}

}  // namespace
}  // namespace kmqx
