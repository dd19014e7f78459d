// Deterministic moving pictures for the Windows host programs, as bottom-up
// 24-bit DIBs, in integer arithmetic so that every build makes the same
// bytes.
#pragma once
#include <cstdint>

#include "host_support.h"

namespace host {

// A textured background panning right, a bright block moving diagonally,
// noise, and a cut at frame 40.
inline Bytes MovingPicture(int width, int height, int frame) {
    Bytes dib(DibStride(width) * height);
    uint32_t noise = 12345u + uint32_t(frame) * 7919u;
    const int shift = frame >= 40 ? 37 : 0;
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.data() + DibStride(width) * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = int((noise >> 16) & 7);
            const int u = x + 2 * frame + shift, v = y + frame / 2;
            int b = ((u * 5) ^ (v * 3)) & 0xFF;
            int g = (u + v * 2) & 0xFF;
            int r = ((u / 8 + v / 8) & 1) ? 200 : 60;
            const int bx = (frame * 3) % (width - 32), by = (frame * 2) % (height - 32);
            if (x >= bx && x < bx + 32 && y >= by && y < by + 32) r = g = b = 235;
            row[3 * x + 0] = BYTE((b * 3 + n * 4) / 4);
            row[3 * x + 1] = BYTE((g * 3 + n * 4) / 4);
            row[3 * x + 2] = BYTE((r * 3 + n * 4) / 4);
        }
    }
    return dib;
}

}  // namespace host
