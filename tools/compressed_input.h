#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/avi_reader.h"

namespace kmqx {

// The compressed pictures of an input file: an AVI with a KMQX video stream
// or a raw H.263 stream (recognised by its content, not its name).
struct CompressedInput {
    std::vector<uint8_t> bytes;
    std::vector<AviFrame> frames;  // into bytes
    int32_t width = 0;
    int32_t height = 0;
    FrameRate rate;
    bool isAvi = false;
};

bool LoadCompressedInput(const std::string& path, CompressedInput& input, std::string& error);

}  // namespace kmqx
