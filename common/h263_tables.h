#pragma once
// H.263 variable-length code tables and the zigzag scan, shared by the
// encoder's writers and the decoder's lookup tables. Codes are written most
// significant bit first; `code` holds the `length` low bits.

#include <cstdint>

namespace kmqx {

struct VlcCode {
    uint16_t code;
    uint8_t length;
};

struct TcoefCode {
    uint8_t last;
    uint8_t run;
    uint8_t level;  // magnitude; a sign bit follows the code
    uint16_t code;
    uint8_t length;
};

constexpr int kMcbpcIntraStuffing = 8;
constexpr int kMcbpcInterStuffing = 20;
constexpr int kTcoefEventCount = 102;

extern const VlcCode kMcbpcIntra[9];
extern const VlcCode kMcbpcInter[21];
extern const VlcCode kCbpy[16];
extern const VlcCode kMvd[33];
extern const TcoefCode kTcoef[kTcoefEventCount];
extern const VlcCode kTcoefEscape;
// Scan position -> raster index (8 * row + column).
extern const uint8_t kZigzag[64];

}  // namespace kmqx
