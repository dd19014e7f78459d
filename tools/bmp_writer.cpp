#include "tools/bmp_writer.h"

#include <vector>

#include "convert/source_conversion.h"
#include "tools/file_io.h"

namespace kmqx {

bool WriteBmp(const std::string& path, const uint8_t* dib, int32_t width, int32_t height,
              std::string& error) {
    const size_t pixels = Rgb24Stride(width) * size_t(height);
    std::vector<uint8_t> header;
    auto u16 = [&](uint32_t v) {
        header.push_back(uint8_t(v));
        header.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    header.push_back('B');
    header.push_back('M');
    u32(uint32_t(14 + 40 + pixels));
    u32(0);
    u32(14 + 40);  // offset of the pixels
    u32(40);
    u32(uint32_t(width));
    u32(uint32_t(height));  // positive: bottom-up
    u16(1);
    u16(24);
    u32(0);  // BI_RGB
    u32(uint32_t(pixels));
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    OutputFile file;
    return file.Open(path, error) && file.Write(header.data(), header.size(), error) &&
           file.Write(dib, pixels, error) && file.Commit(error);
}

}  // namespace kmqx
