#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/file_io.h"
#include "tools/y4m.h"

namespace kmqx {

struct AviStreamInfo {
    int32_t width = 0;
    int32_t height = 0;
    FrameRate rate;
    uint32_t fourcc = 0;  // strh handler and strf compression
};

// Writes a RIFF AVI 1.0 file with one video stream: hdrl (avih, strl with
// strh and strf), movi with one '00dc' chunk per frame, and an idx1 index.
// The file appears under its name only when Finish succeeds.
class AviWriter {
  public:
    bool Open(const std::string& path, const AviStreamInfo& info, std::string& error);
    bool WriteFrame(const uint8_t* data, size_t size, bool keyFrame, std::string& error);
    bool Finish(std::string& error);
    uint32_t FrameCount() const { return uint32_t(index_.size()); }

  private:
    struct IndexEntry {
        uint32_t offset;  // from the 'movi' tag
        uint32_t size;
        bool keyFrame;
    };
    std::vector<uint8_t> BuildHeaders(uint32_t moviSize, uint32_t riffSize) const;

    OutputFile file_;
    AviStreamInfo info_;
    std::vector<IndexEntry> index_;
    uint32_t largestFrame_ = 0;
    uint64_t moviDataSize_ = 0;
};

}  // namespace kmqx
