#pragma once
#include <cstdint>

namespace kmqx {

// Saturation table of the inverse transform's last stage: entries for the
// indexes -1024..1023, each clipped to -256..255.
struct IdctClipTable {
    static constexpr int kLow = -1024;
    static constexpr int kHigh = 1023;
    int32_t entries[2048];  // entries[i - kLow] holds index i

    IdctClipTable();
    int32_t operator()(int32_t index) const {
        if (index < kLow) index = kLow;
        if (index > kHigh) index = kHigh;
        return entries[index - kLow];
    }
};

// Integer inverse DCT of one 8x8 block in raster order, in place: a row pass
// then a column pass (Chen-Wang flow graph, 12-bit constants). Results lie in
// -256..255.
void InverseTransform(int16_t* block, const IdctClipTable& clip);

}  // namespace kmqx
