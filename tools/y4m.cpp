#include "tools/y4m.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace kmqx {
namespace {

constexpr size_t kMaxHeaderLine = 4096;
constexpr int32_t kMaxDimension = 16384;

// Reads one line up to '\n' (not included); false at the end of the input or
// when the line is longer than limit.
bool ReadLine(InputFile& file, std::string& line, size_t limit, bool& atEnd) {
    line.clear();
    atEnd = false;
    for (;;) {
        const int c = file.ReadByte();
        if (c < 0) {
            atEnd = line.empty();
            return false;
        }
        if (c == '\n') return true;
        if (line.size() >= limit) return false;
        line.push_back(char(c));
    }
}

bool ParsePositive(const std::string& text, int64_t limit, int64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value > 0 && value <= limit;
}

}  // namespace

size_t Y4mFrameSize(int32_t width, int32_t height) {
    const size_t chroma = size_t((width + 1) / 2) * size_t((height + 1) / 2);
    return size_t(width) * size_t(height) + 2 * chroma;
}

bool ParseY4mHeader(const std::string& line, Y4mHeader& header, std::string& error) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word != "YUV4MPEG2") {
        error = "not a Y4M file (no YUV4MPEG2 signature)";
        return false;
    }
    header = Y4mHeader{};
    while (words >> word) {
        const std::string value = word.substr(1);
        int64_t number = 0;
        switch (word[0]) {
            case 'W':
            case 'H':
                if (!ParsePositive(value, kMaxDimension, number)) {
                    error = "malformed Y4M header: bad size '" + word + "'";
                    return false;
                }
                (word[0] == 'W' ? header.width : header.height) = int32_t(number);
                break;
            case 'F': {
                const size_t colon = value.find(':');
                int64_t num = 0, den = 0;
                if (colon == std::string::npos ||
                    !ParsePositive(value.substr(0, colon), UINT32_MAX, num) ||
                    !ParsePositive(value.substr(colon + 1), UINT32_MAX, den)) {
                    error = "malformed Y4M header: bad frame rate '" + word + "'";
                    return false;
                }
                header.rate = {uint32_t(num), uint32_t(den)};
                break;
            }
            case 'C':
                if (value != "420" && value != "420jpeg" && value != "420paldv" &&
                    value != "420mpeg2") {
                    error = "unsupported chroma format '" + value + "' (only 8-bit 4:2:0)";
                    return false;
                }
                break;
            default:  // interlacing, aspect, comments and extensions
                break;
        }
    }
    if (header.width == 0 || header.height == 0) {
        error = "malformed Y4M header: missing width or height";
        return false;
    }
    return true;
}

bool Y4mReader::Open(const std::string& path, std::string& error) {
    if (!file_.Open(path, error)) return false;
    std::string line;
    bool atEnd = false;
    if (!ReadLine(file_, line, kMaxHeaderLine, atEnd)) {
        error = atEnd ? "empty file" : "malformed Y4M header: no complete header line";
        return false;
    }
    return ParseY4mHeader(line, header_, error);
}

ReadStatus Y4mReader::ReadFrame(std::vector<uint8_t>& planes, std::string& error) {
    std::string line;
    bool atEnd = false;
    if (!ReadLine(file_, line, kMaxHeaderLine, atEnd)) {
        if (atEnd && !file_.Failed()) return ReadStatus::kEnd;
        error = "truncated or malformed frame header after frame " + std::to_string(framesRead_);
        return ReadStatus::kError;
    }
    if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' ')) {
        error = "malformed frame header after frame " + std::to_string(framesRead_);
        return ReadStatus::kError;
    }
    planes.resize(Y4mFrameSize(header_.width, header_.height));
    if (file_.Read(planes.data(), planes.size()) != planes.size()) {
        error = "truncated frame " + std::to_string(framesRead_ + 1);
        return ReadStatus::kError;
    }
    ++framesRead_;
    return ReadStatus::kFrame;
}

bool Y4mWriter::Open(const std::string& path, const Y4mHeader& header, std::string& error) {
    header_ = header;
    if (!file_.Open(path, error)) return false;
    const std::string line = "YUV4MPEG2 W" + std::to_string(header.width) + " H" +
                             std::to_string(header.height) + " F" +
                             std::to_string(header.rate.numerator) + ":" +
                             std::to_string(header.rate.denominator) + " Ip A1:1 C420jpeg\n";
    return file_.Write(line.data(), line.size(), error);
}

bool Y4mWriter::WriteFrame(const PlanarFrame& frame, std::string& error) {
    const int32_t width = header_.width, height = header_.height;
    const int32_t chromaWidth = width / 2, chromaHeight = height / 2;
    const int32_t outWidth = (width + 1) / 2, outHeight = (height + 1) / 2;
    static const char kFrameLine[] = "FRAME\n";
    if (Y4mFramesAreI420(width, height)) {
        // The planes are written as they stand, without a copy.
        const size_t chroma = size_t(chromaWidth) * size_t(chromaHeight);
        return file_.Write(kFrameLine, 6, error) &&
               file_.Write(frame.y, size_t(width) * size_t(height), error) &&
               file_.Write(frame.cb, chroma, error) && file_.Write(frame.cr, chroma, error);
    }
    buffer_.resize(Y4mFrameSize(width, height));
    std::memcpy(buffer_.data(), frame.y, size_t(width) * size_t(height));
    uint8_t* out = buffer_.data() + size_t(width) * size_t(height);
    for (const uint8_t* plane : {frame.cb, frame.cr}) {
        for (int32_t r = 0; r < outHeight; ++r)
            for (int32_t c = 0; c < outWidth; ++c) {
                // Tiny pictures have no chroma at all: neutral grey.
                if (chromaWidth == 0 || chromaHeight == 0) {
                    *out++ = 128;
                    continue;
                }
                const int32_t sr = r < chromaHeight ? r : chromaHeight - 1;
                const int32_t sc = c < chromaWidth ? c : chromaWidth - 1;
                *out++ = plane[size_t(sr) * size_t(chromaWidth) + size_t(sc)];
            }
    }
    return file_.Write(kFrameLine, 6, error) && file_.Write(buffer_.data(), buffer_.size(), error);
}

}  // namespace kmqx
