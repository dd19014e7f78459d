#pragma once
#include <cstdint>

namespace kmqx {

// Bits of the longest picture header the encoder writes: PSC 22, TR 8,
// PTYPE 13 with the 24-bit custom size, PQUANT 5, CPM 1, PEI 1.
constexpr int32_t kMaxPictureHeaderBits = 22 + 8 + 13 + 24 + 5 + 1 + 1;
// Bits of one GOB header: GBSC 17, GN 5, GFID 2, GQUANT 5.
constexpr int32_t kGobHeaderBits = 17 + 5 + 2 + 5;

// The most bits one coded macroblock can take, whatever its content, type
// and quantiser (derived from the code tables; see the definition).
int32_t MaxMacroblockBits();

// The most bytes one coded picture of width x height can take, whatever its
// content, type and quantiser: what an output buffer needs so that every
// picture fits at the first coding. 0 for sizes the encoder cannot code.
int64_t MaxPictureBytes(int32_t width, int32_t height);

}  // namespace kmqx
