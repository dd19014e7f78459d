#pragma once
// Helpers shared by the decoder tests: files, external streams made by ffmpeg,
// splitting raw streams into pictures, and running a Decoder over them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/picture_split.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/picture_metrics.h"
#include "tests/support/test_files.h"

namespace kmqx::test {

inline bool RunQuiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// One decoded picture, packed: Y then Cb then Cr.
using Yuv = std::vector<uint8_t>;

inline Yuv Snapshot(Decoder& decoder) {
    const PlanarFrame frame = decoder.GetPicture();
    const size_t luma = size_t(decoder.GetWidth()) * size_t(decoder.GetHeight());
    const size_t chroma = size_t(decoder.GetWidth() / 2) * size_t(decoder.GetHeight() / 2);
    Yuv out;
    if (frame.y == nullptr) return out;
    out.insert(out.end(), frame.y, frame.y + luma);
    out.insert(out.end(), frame.cb, frame.cb + chroma);
    out.insert(out.end(), frame.cr, frame.cr + chroma);
    return out;
}

// Decodes every picture in one sequence; the results of DecodeFrame go to
// `results` when given.
inline std::vector<Yuv> DecodeAll(const std::vector<std::vector<uint8_t>>& pictures,
                                  std::vector<int32_t>* results = nullptr) {
    Decoder decoder;
    decoder.BeginDecompress();
    std::vector<Yuv> out;
    for (const auto& picture : pictures) {
        const int32_t result = decoder.DecodeFrame(picture.data(), int32_t(picture.size()));
        if (results) results->push_back(result);
        out.push_back(Snapshot(decoder));
    }
    decoder.EndDecompress();
    return out;
}

}  // namespace kmqx::test
