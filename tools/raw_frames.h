#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/file_io.h"
#include "tools/y4m.h"

namespace kmqx {

// An uncompressed source format as the codec takes it: a tag for
// biCompression and a bit count.
struct SourceFormat {
    const char* name;
    uint32_t tag;
    uint16_t bitCount;
};

// "rgb24" (bottom-up B, G, R DIB rows at the DIB stride), "yuyv", "yv12"
// (planes Y, V, U), "i420" (planes Y, U, V) or "yvu9" (planes Y, V, U, chroma
// subsampled 4 x 4).
bool FindSourceFormat(const std::string& name, SourceFormat& format);

// Parses "WxH".
bool ParseFrameSize(const std::string& text, int32_t& width, int32_t& height);

// Reads headerless frames of one source format, one after another.
class RawFrameReader {
  public:
    bool Open(const std::string& path, const SourceFormat& format, int32_t width, int32_t height,
              std::string& error);
    size_t FrameSize() const { return frameSize_; }
    ReadStatus ReadFrame(std::vector<uint8_t>& frame, std::string& error);

  private:
    InputFile file_;
    size_t frameSize_ = 0;
    int64_t framesRead_ = 0;
};

// Rewrites a Y4M frame (planes Y, U, V with rounded-up chroma) as a YV12
// source frame (planes Y, V, U of (width / 2) x (height / 2)).
void Y4mFrameToYv12(const uint8_t* y4m, int32_t width, int32_t height, std::vector<uint8_t>& yv12);

}  // namespace kmqx
