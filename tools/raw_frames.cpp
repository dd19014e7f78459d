#include "tools/raw_frames.h"

#include <cstring>

#include "convert/source_conversion.h"

namespace kmqx {

bool FindSourceFormat(const std::string& name, SourceFormat& format) {
    static const SourceFormat kFormats[] = {{"rgb24", kTagRgb, 24},
                                            {"yuyv", kTagYuyv, 16},
                                            {"yv12", kTagYv12, 12},
                                            {"i420", kTagI420, 12},
                                            {"yvu9", kTagYvu9, 9}};
    for (const SourceFormat& f : kFormats)
        if (name == f.name) {
            format = f;
            return true;
        }
    return false;
}

bool ParseFrameSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || x > 5 || text.size() - x > 6)
        return false;
    int32_t values[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i)
        for (char c : parts[i]) {
            if (c < '0' || c > '9') return false;
            values[i] = values[i] * 10 + (c - '0');
        }
    width = values[0];
    height = values[1];
    return width > 0 && height > 0;
}

bool RawFrameReader::Open(const std::string& path, const SourceFormat& format, int32_t width,
                          int32_t height, std::string& error) {
    frameSize_ = SourceFrameSize(format.tag, format.bitCount, width, height);
    if (frameSize_ == 0) {
        error = "unsupported frame size or format";
        return false;
    }
    return file_.Open(path, error);
}

ReadStatus RawFrameReader::ReadFrame(std::vector<uint8_t>& frame, std::string& error) {
    frame.resize(frameSize_);
    const size_t got = file_.Read(frame.data(), frame.size());
    if (got == 0 && !file_.Failed()) return ReadStatus::kEnd;
    if (got != frame.size()) {
        error = file_.Failed()
                    ? "read error"
                    : "truncated frame " + std::to_string(framesRead_ + 1) + " (" +
                          std::to_string(got) + " of " + std::to_string(frameSize_) + " bytes)";
        return ReadStatus::kError;
    }
    ++framesRead_;
    return ReadStatus::kFrame;
}

void Y4mFrameToYv12(const uint8_t* y4m, int32_t width, int32_t height, std::vector<uint8_t>& yv12) {
    const size_t area = size_t(width) * size_t(height);
    const int32_t inWidth = (width + 1) / 2, inHeight = (height + 1) / 2;
    const int32_t outWidth = width / 2, outHeight = height / 2;
    const size_t inChroma = size_t(inWidth) * size_t(inHeight);
    const size_t outChroma = size_t(outWidth) * size_t(outHeight);
    yv12.resize(area + 2 * outChroma);
    std::memcpy(yv12.data(), y4m, area);
    const uint8_t* u = y4m + area;
    const uint8_t* v = u + inChroma;
    uint8_t* outV = yv12.data() + area;
    uint8_t* outU = outV + outChroma;
    for (int32_t r = 0; r < outHeight; ++r) {
        std::memcpy(outV + size_t(r) * outWidth, v + size_t(r) * inWidth, size_t(outWidth));
        std::memcpy(outU + size_t(r) * outWidth, u + size_t(r) * inWidth, size_t(outWidth));
    }
}

}  // namespace kmqx
