#pragma once
#include <cstdint>

#include "common/h263_syntax.h"

namespace kmqx {

// Direct lookup tables for the decoder's variable-length codes, built once
// from the shared H.263 code tables. Each element is decoded with one peek of
// a fixed width, at most three range comparisons and one table access. An
// entry of length 0 marks a bit pattern that is no valid code.
struct VlcEntry {
    int16_t value;
    uint8_t length;
};

// MCBPC values: 4 * type + CBPC; stuffing and errors are flagged apart.
constexpr int16_t kMcbpcStuffingValue = -1;
// TCOEF values: LAST * 4096 + RUN * 16 + LEVEL magnitude; ESCAPE apart.
constexpr int16_t kTcoefEscapeValue = 7167;

// A whole TCOEF event of a short code, read with its sign bit. Length 0: the
// bits start a longer code, ESCAPE or no code, which take the ranged lookup.
struct TcoefShortEvent {
    int8_t level;  // signed
    uint8_t run;
    uint8_t last;
    uint8_t length;  // code and sign bit
};

// Codes of up to kTcoefShortEventBits - 1 bits (nearly every event of a
// busy picture) are one load from a table indexed by that many bits; the
// width keeps the table at 4 KB.
constexpr int kTcoefShortEventBits = 10;

struct DecoderVlcTables {
    // MCBPC of INTRA pictures, 9-bit peek: v >= 256 is "1"; 8 <= v < 256
    // indexes by v / 8.
    VlcEntry mcbpcIntra[32];
    // MCBPC of INTER pictures, 9-bit peek: v >= 256 is "1"; 2 <= v < 256
    // indexes by v.
    VlcEntry mcbpcInter[256];
    // CBPY, 6-bit peek: v >= 48 is "11"; 2 <= v < 48 indexes by v. The value
    // is the index of the code table (see CbpyOrder).
    VlcEntry cbpy[48];
    // MVD after a leading 0 bit, 12-bit peek including the sign bit:
    // v >= 512 by v / 256, 128 <= v < 512 by v / 4, 5 <= v < 128 by v.
    // Value: code value 0..63 (c < 32 is +c half-pixels, else c - 64).
    VlcEntry mvdLong[16];
    VlcEntry mvdMedium[128];
    VlcEntry mvdShort[128];
    // TCOEF without its sign bit, 12-bit peek: v >= 512 by v / 32,
    // 128 <= v < 512 by v / 4, 8 <= v < 128 by v.
    VlcEntry tcoefLong[128];
    VlcEntry tcoefMedium[128];
    VlcEntry tcoefShort[128];
    // Indexed by the next kTcoefShortEventBits bits, sign bits included.
    TcoefShortEvent tcoefEvents[1 << kTcoefShortEventBits];
    // The zigzag scan, beside the tables the coefficient loop already holds.
    uint8_t zigzag[64];
};

const DecoderVlcTables& GetDecoderVlcTables();

constexpr int kMcbpcPeekBits = 9;
constexpr int kCbpyPeekBits = 6;
constexpr int kMvdPeekBits = 12;  // after the leading 0 bit
constexpr int kTcoefPeekBits = 12;

// The lookups proper: one peeked value in, one entry out (length 0: no code).
inline VlcEntry LookupMcbpc(const DecoderVlcTables& t, bool interPicture, uint32_t v) {
    if (v >= 256)
        return {int16_t(interPicture ? McbpcValue(kMacroblockInter, 0)
                                     : McbpcValue(kMacroblockIntra, 0)),
                1};
    if (v == 1) return {kMcbpcStuffingValue, 9};
    if (interPicture) return v >= 2 ? t.mcbpcInter[v] : VlcEntry{0, 0};
    return v >= 8 ? t.mcbpcIntra[v >> 3] : VlcEntry{0, 0};
}

inline VlcEntry LookupCbpy(const DecoderVlcTables& t, uint32_t v) {
    if (v >= 48) return {15, 2};
    return t.cbpy[v];
}

inline VlcEntry LookupMvd(const DecoderVlcTables& t, uint32_t v) {
    if (v >= 512) return t.mvdLong[v >> 8];
    if (v >= 128) return t.mvdMedium[v >> 2];
    if (v >= 5) return t.mvdShort[v];
    return {0, 0};
}

inline VlcEntry LookupTcoef(const DecoderVlcTables& t, uint32_t v) {
    if (v >= 512) return t.tcoefLong[v >> 5];
    if (v >= 128) return t.tcoefMedium[v >> 2];
    if (v >= 8) return t.tcoefShort[v];
    return {0, 0};
}

}  // namespace kmqx
