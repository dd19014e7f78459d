#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/y4m.h"

namespace kmqx {

struct AviFrame {
    size_t offset;  // into the file's bytes
    uint32_t size;
};

struct AviVideoStream {
    int32_t width = 0;
    int32_t height = 0;
    FrameRate rate;
    uint32_t compression = 0;
    std::vector<AviFrame> frames;
};

// Finds the first video stream whose handler or compression is fourcc (in
// any letter case) in a RIFF AVI held in memory, and lists its frame chunks
// in file order. No size in the file is trusted: every chunk is kept within
// its parent and the file.
bool ParseAvi(const std::vector<uint8_t>& file, uint32_t fourcc, AviVideoStream& stream,
              std::string& error);

// Splits a raw H.263 stream into pictures at byte-aligned picture start
// codes; bytes before the first start code are dropped.
std::vector<AviFrame> SplitH263Pictures(const std::vector<uint8_t>& stream);

}  // namespace kmqx
