#include <cstdint>
#include <cstdio>

#include "tools/commands.h"

namespace kmqx {

const char kProgramVersion[] = "kmqx 1.0 (KMQX, Corvel Video Codec 1999)";

const char kUsage[] =
    "usage:\n"
    "  kmqx encode [options] IN OUT   compress IN (Y4M 4:2:0, '-' for standard input)\n"
    "                                 into OUT (AVI, or raw pictures for a .263 name)\n"
    "      --size WxH --format rgb24|yuyv|yv12|i420|yvu9   IN is raw frames of that format\n"
    "      --rate N[:D]        frame rate of raw input (default 25)\n"
    "      --quality Q         0..10000\n"
    "      --keyint N          ask for a key frame every N frames\n"
    "      --bitrate N[k|M]    hold N bits a second (at the frame rate of IN): every\n"
    "                          second of the stream within 18 % of it\n"
    "      --max-frame-bytes N no frame larger than N bytes\n"
    "      --state FILE        a 40-byte settings blob\n"
    "      --version V, --param-a .. --param-f V, --quant-normal Q, --quant-key Q\n"
    "                          single settings over the quality or the blob\n"
    "  kmqx decode [--rgb] [--strict] IN OUT\n"
    "                                 decompress an AVI or raw .263 file into Y4M, or with\n"
    "                                 --rgb into raw 24-bit DIB frames (a folder: BMP files);\n"
    "                                 a damaged picture is reported and the one before it\n"
    "                                 repeated, unless --strict makes it an error\n"
    "  kmqx demo [--frames N] [--bitrate N[k|M]]\n"
    "                                 encode and decode a built-in moving CIF sequence\n"
    "                                 into demo.avi and demo.y4m, and print the figures\n"
    "  kmqx --version | --help\n";

bool ParseInt(const std::string& text, int64_t low, int64_t high, int32_t& value) {
    if (text.empty() || text.size() > 11) return false;
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) ++i;
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    if (v < low || v > high) return false;
    value = int32_t(v);
    return true;
}

bool ParseRate(const std::string& text, uint32_t& numerator, uint32_t& denominator) {
    const size_t colon = text.find(':');
    int32_t num = 0, den = 1;
    if (!ParseInt(text.substr(0, colon), 1, INT32_MAX, num)) return false;
    if (colon != std::string::npos && !ParseInt(text.substr(colon + 1), 1, INT32_MAX, den))
        return false;
    numerator = uint32_t(num);
    denominator = uint32_t(den);
    return true;
}

bool ParseBitRate(const std::string& text, int64_t& bitsPerSecond) {
    if (text.empty() || text.size() > 12) return false;
    int64_t multiplier = 1;
    std::string digits = text;
    if (digits.back() == 'k' || digits.back() == 'K') multiplier = 1000;
    if (digits.back() == 'M') multiplier = 1000000;
    if (multiplier != 1) digits.pop_back();
    int32_t value = 0;
    if (!ParseInt(digits, 1, INT32_MAX, value)) return false;
    const int64_t bits = int64_t{value} * multiplier;
    if (bits < 8 || bits > int64_t{INT32_MAX} * 8) return false;
    bitsPerSecond = bits;
    return true;
}

std::string FormatKilobits(double bitsPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kbit/s", bitsPerSecond / 1000.0);
    return text;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kmqx: %s\n", message.c_str());
    return 1;
}

}  // namespace kmqx
