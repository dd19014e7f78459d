#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/planar_frame.h"
#include "tools/file_io.h"

namespace kmqx {

struct FrameRate {
    uint32_t numerator = 25;
    uint32_t denominator = 1;
};

struct Y4mHeader {
    int32_t width = 0;
    int32_t height = 0;
    FrameRate rate;
};

// Planes of one 4:2:0 picture as Y4M stores them: Y, then U, then V, each
// chroma plane ((width + 1) / 2) x ((height + 1) / 2).
size_t Y4mFrameSize(int32_t width, int32_t height);

// Even sizes: the chroma planes are exactly (width / 2) x (height / 2), and a
// frame is an I420 frame as it stands.
inline bool Y4mFramesAreI420(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0;
}

enum class ReadStatus { kFrame, kEnd, kError };

// Reads YUV4MPEG2 streams of 8-bit 4:2:0 (C420, C420jpeg, C420paldv,
// C420mpeg2 or no C tag); other chroma formats are refused.
class Y4mReader {
  public:
    bool Open(const std::string& path, std::string& error);
    const Y4mHeader& Header() const { return header_; }
    // Reads the next frame into planes (resized to Y4mFrameSize).
    ReadStatus ReadFrame(std::vector<uint8_t>& planes, std::string& error);

  private:
    InputFile file_;
    Y4mHeader header_;
    int64_t framesRead_ = 0;
};

// Writes YUV4MPEG2 (C420jpeg) from planar frames whose chroma planes are
// (width / 2) x (height / 2); odd sizes repeat the last chroma row/column.
class Y4mWriter {
  public:
    bool Open(const std::string& path, const Y4mHeader& header, std::string& error);
    bool WriteFrame(const PlanarFrame& frame, std::string& error);
    bool Commit(std::string& error) { return file_.Commit(error); }

  private:
    OutputFile file_;
    Y4mHeader header_;
    std::vector<uint8_t> buffer_;
};

// Parses a whole stream header line, signature included.
bool ParseY4mHeader(const std::string& line, Y4mHeader& header, std::string& error);

}  // namespace kmqx
