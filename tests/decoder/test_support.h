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

namespace kmqx::test {

inline std::string TestTmpDir() {
    const char* dir = std::getenv("KMQX_TEST_TMP");
    std::string path = dir ? dir : (std::string(KMQX_BINARY_DIR) + "/decoder-test-tmp");
    std::filesystem::create_directories(path);
    return path;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline bool HaveFfmpeg() {
    static const bool found = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
    return found;
}

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

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(count) / sum);
}

// FNV-1a over a byte sequence: a stable fingerprint for golden values.
inline uint64_t Fingerprint(const std::vector<uint8_t>& bytes,
                            uint64_t hash = 1469598103934665603ull) {
    for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

}  // namespace kmqx::test
