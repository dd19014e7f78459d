#include "tools/compressed_input.h"

#include "tools/codec_host.h"
#include "tools/file_io.h"

namespace kmqx {
namespace {

// Frame sizes reach the decoder as signed 32-bit counts.
constexpr size_t kMaxInputBytes = 0x7FFFFFFF;
// The largest picture H.263 with the 12-bit custom size can describe.
constexpr int32_t kMaxDimension = 4095;

class Bits {
  public:
    Bits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // Reads count bits, most significant first; false past the end.
    bool Read(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i, ++position_) {
            if (position_ / 8 >= size_) return false;
            value = value << 1 | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1);
        }
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace

bool ReadPictureSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
    Bits bits(data, size);
    uint32_t startCode, temporalReference, marker, zero, flags, format;
    if (!bits.Read(22, startCode) || startCode != 0x20 || !bits.Read(8, temporalReference) ||
        !bits.Read(1, marker) || marker != 1 || !bits.Read(1, zero) || zero != 0 ||
        !bits.Read(3, flags) || !bits.Read(3, format))
        return false;
    static const int32_t kSizes[6][2] = {{0, 0},     {128, 96},  {176, 144},
                                         {352, 288}, {704, 576}, {1408, 1152}};
    if (format >= 1 && format <= 5) {
        width = kSizes[format][0];
        height = kSizes[format][1];
        return true;
    }
    uint32_t w, h;
    if (format != 7 || !bits.Read(12, w) || !bits.Read(12, h) || w == 0 || h == 0) return false;
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

bool LoadCompressedInput(const std::string& path, CompressedInput& input, std::string& error) {
    input = CompressedInput{};
    if (!ReadWholeFile(path, kMaxInputBytes, input.bytes, error)) return false;
    const std::vector<uint8_t>& bytes = input.bytes;
    if (bytes.size() >= 4 && bytes[0] == 'R' && bytes[1] == 'I' && bytes[2] == 'F' &&
        bytes[3] == 'F') {
        AviVideoStream stream;
        if (!ParseAvi(bytes, CodecFourCC(), stream, error)) return false;
        input.isAvi = true;
        input.frames = std::move(stream.frames);
        input.width = stream.width;
        input.height = stream.height;
        input.rate = stream.rate;
    } else {
        input.frames = SplitH263Pictures(bytes);
        if (input.frames.empty()) {
            error = "neither an AVI file nor an H.263 stream (no picture start code)";
            return false;
        }
        if (!ReadPictureSize(&bytes[input.frames[0].offset], input.frames[0].size, input.width,
                             input.height)) {
            error = "the first picture header gives no picture size";
            return false;
        }
        input.rate = {30000, 1001};  // the H.263 picture clock
    }
    if (input.width <= 0 || input.height <= 0 || input.width > kMaxDimension ||
        input.height > kMaxDimension) {
        error = "unsupported picture size " + std::to_string(input.width) + "x" +
                std::to_string(input.height);
        return false;
    }
    if (input.frames.empty()) {
        error = "no frames";
        return false;
    }
    return true;
}

}  // namespace kmqx
