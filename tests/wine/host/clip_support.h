// The test clip as the playback host programs meet it: a KMQX AVI file made
// by the native build's kmqx, and kmqx's own decoding of it (bottom-up 24-bit
// RGB frames and Y4M planes). Every picture a host delivers is compared byte
// for byte with that decoding, laid out as the format the host asked for:
// RGB24 and RGB32 (fourth byte 0) in either orientation, YV12, I420/IYUV and
// YUY2/YUYV (chroma rows repeated).
#pragma once
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "host_support.h"

namespace host {

struct ReferenceClip {
    int width = 0, height = 0, frames = 0;
    Bytes rgb;     // bottom-up 24-bit DIB frames, one after another
    Bytes planes;  // per frame Y, U (Cb), V (Cr), as in Y4M

    size_t RgbBytes() const { return DibStride(width) * height; }
    size_t PlaneBytes() const { return size_t(width) * height * 3 / 2; }
    const BYTE* Rgb(int frame) const { return rgb.data() + RgbBytes() * frame; }
    const BYTE* Y(int frame) const { return planes.data() + PlaneBytes() * frame; }
    const BYTE* U(int frame) const { return Y(frame) + size_t(width) * height; }
    const BYTE* V(int frame) const { return U(frame) + size_t(width) * height / 4; }
};

// Reads reference.rgb and reference.y4m from the clip folder.
inline bool LoadReferenceClip(const std::string& folder, ReferenceClip& clip) {
    Bytes y4m;
    if (!ReadWholeFile(folder + "\\reference.rgb", clip.rgb) ||
        !ReadWholeFile(folder + "\\reference.y4m", y4m))
        return false;
    size_t at = 0;
    const auto line = [&](std::string& text) {
        text.clear();
        while (at < y4m.size() && y4m[at] != '\n') text.push_back(char(y4m[at++]));
        return at++ < y4m.size();
    };
    std::string header;
    if (!line(header) || header.compare(0, 9, "YUV4MPEG2") != 0) return false;
    for (size_t i = 0; i + 1 < header.size(); ++i) {
        if (header[i] != ' ') continue;
        if (header[i + 1] == 'W') clip.width = std::atoi(header.c_str() + i + 2);
        if (header[i + 1] == 'H') clip.height = std::atoi(header.c_str() + i + 2);
    }
    if (clip.width <= 0 || clip.height <= 0 || clip.width % 2 || clip.height % 2) return false;
    std::string frameLine;
    while (at < y4m.size() && line(frameLine)) {
        if (frameLine.compare(0, 5, "FRAME") != 0 || at + clip.PlaneBytes() > y4m.size())
            return false;
        clip.planes.insert(clip.planes.end(), y4m.begin() + at,
                           y4m.begin() + at + clip.PlaneBytes());
        at += clip.PlaneBytes();
        ++clip.frames;
    }
    return clip.frames > 0 && clip.rgb.size() == clip.RgbBytes() * clip.frames;
}

const DWORD kYv12 = mmioFOURCC('Y', 'V', '1', '2');
const DWORD kI420 = mmioFOURCC('I', '4', '2', '0');
const DWORD kIyuv = mmioFOURCC('I', 'Y', 'U', 'V');
const DWORD kYuy2 = mmioFOURCC('Y', 'U', 'Y', '2');
const DWORD kYuyv = mmioFOURCC('Y', 'U', 'Y', 'V');

// The decompression destinations a host can ask for.
struct Destination {
    const char* name;
    WORD bits;
    DWORD compression;
    bool topDown;
};
const Destination kDestinations[] = {
    {"RGB24", 24, BI_RGB, false}, {"RGB24 top-down", 24, BI_RGB, true},
    {"RGB32", 32, BI_RGB, false}, {"RGB32 top-down", 32, BI_RGB, true},
    {"YV12", 12, kYv12, false},   {"I420", 12, kI420, false},
    {"IYUV", 12, kIyuv, false},   {"YUY2", 16, kYuy2, false},
    {"YUYV", 16, kYuyv, false},
};

// Bytes of one frame in an uncompressed format; 0 for one without a known
// layout.
inline size_t FrameBytes(const BITMAPINFOHEADER& format) {
    const size_t width = size_t(std::labs(format.biWidth));
    const size_t height = size_t(std::labs(format.biHeight));
    switch (format.biCompression) {
        case BI_RGB:
            return DibStride(int(width), format.biBitCount) * height;
        case kYv12:
        case kI420:
        case kIyuv:
            return width * height * 3 / 2;
        case kYuy2:
        case kYuyv:
            return width * 2 * height;
        default:
            return 0;
    }
}

inline BITMAPINFOHEADER DestinationFormat(const Destination& destination, int width, int height) {
    BITMAPINFOHEADER format = BitmapFormat(width, destination.topDown ? -height : height,
                                           destination.bits, destination.compression);
    format.biSizeImage = DWORD(FrameBytes(format));
    return format;
}

inline std::string FormatName(const BITMAPINFOHEADER& format) {
    std::string name;
    if (format.biCompression == BI_RGB) {
        name = "RGB" + std::to_string(format.biBitCount);
    } else {
        for (int i = 0; i < 4; ++i) name += char((format.biCompression >> (8 * i)) & 0xFF);
        name += "/" + std::to_string(format.biBitCount);
    }
    if (format.biHeight < 0) name += " top-down";
    return name + " " + std::to_string(format.biWidth) + "x" + std::to_string(format.biHeight);
}

// The clip's frame laid out as the format says; false for a format whose
// layout is not one of the destinations above or whose size differs.
inline bool ExpectedFrame(const ReferenceClip& clip, int frame, const BITMAPINFOHEADER& format,
                          Bytes& out) {
    const int width = clip.width, height = clip.height;
    if (frame < 0 || frame >= clip.frames || format.biWidth != width ||
        std::labs(format.biHeight) != height)
        return false;
    const DWORD compression = format.biCompression;
    const int bits = format.biBitCount;
    out.assign(FrameBytes(format), 0);
    if (compression == BI_RGB && (bits == 24 || bits == 32)) {
        const int bytes = bits / 8;
        for (int row = 0; row < height; ++row) {  // rows of the bottom-up reference
            const BYTE* from = clip.Rgb(frame) + DibStride(width) * row;
            const int to = format.biHeight < 0 ? height - 1 - row : row;
            BYTE* into = out.data() + DibStride(width, bits) * to;
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) into[bytes * x + c] = from[3 * x + c];
        }
        return true;
    }
    if (format.biHeight < 0) return false;
    const BYTE* y = clip.Y(frame);
    const BYTE* u = clip.U(frame);
    const BYTE* v = clip.V(frame);
    const size_t lumaBytes = size_t(width) * height, chromaBytes = lumaBytes / 4;
    if (bits == 12 && (compression == kYv12 || compression == kI420 || compression == kIyuv)) {
        const bool vFirst = compression == kYv12;
        std::memcpy(out.data(), y, lumaBytes);
        std::memcpy(out.data() + lumaBytes, vFirst ? v : u, chromaBytes);
        std::memcpy(out.data() + lumaBytes + chromaBytes, vFirst ? u : v, chromaBytes);
        return true;
    }
    if (bits == 16 && (compression == kYuy2 || compression == kYuyv)) {
        BYTE* into = out.data();
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; x += 2) {
                const size_t chroma = size_t(row / 2) * (width / 2) + x / 2;
                *into++ = y[size_t(row) * width + x];
                *into++ = u[chroma];
                *into++ = y[size_t(row) * width + x + 1];
                *into++ = v[chroma];
            }
        return true;
    }
    return false;
}

// Compares delivered frames with the clip's, reporting the first difference
// of the first few frames that differ and, at the end, how many differed.
class FrameCheck {
  public:
    FrameCheck(std::string what, const ReferenceClip& clip) : what_(std::move(what)), clip_(clip) {}
    ~FrameCheck() {
        if (differing_ > kReported)
            std::printf("FAILED %s: %d of %d frames differ\n", what_.c_str(), differing_, checked_);
    }

    bool operator()(int frame, const BITMAPINFOHEADER& format, const BYTE* actual,
                    size_t actualBytes) {
        ++checked_;
        Bytes expected;
        std::string problem;
        if (!ExpectedFrame(clip_, frame, format, expected)) {
            problem = "no reference for " + FormatName(format);
        } else if (!actual || actualBytes < expected.size()) {
            problem = std::to_string(actual ? actualBytes : 0) + " bytes delivered, " +
                      std::to_string(expected.size()) + " expected";
        } else {
            for (size_t i = 0; i < expected.size() && problem.empty(); ++i)
                if (actual[i] != expected[i])
                    problem = FormatName(format) + ", byte " + std::to_string(i) + " is " +
                              std::to_string(actual[i]) + ", kmqx decode gives " +
                              std::to_string(expected[i]);
        }
        if (problem.empty()) return true;
        ++Failures();
        if (++differing_ <= kReported)
            std::printf("FAILED %s frame %d: %s\n", what_.c_str(), frame, problem.c_str());
        return false;
    }

  private:
    static constexpr int kReported = 3;
    std::string what_;
    const ReferenceClip& clip_;
    int checked_ = 0, differing_ = 0;
};

// The compressed pictures of an AVI file's first video stream, read with
// AVIFile, with its format and key frame marks.
struct CompressedClip {
    BITMAPINFOHEADER format{};
    std::vector<Bytes> pictures;
    std::vector<bool> keys;
};

inline bool LoadCompressedClip(const std::string& path, CompressedClip& clip) {
    PAVIFILE file = nullptr;
    if (AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) != AVIERR_OK)
        return false;
    PAVISTREAM stream = nullptr;
    bool ok = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK;
    LONG formatBytes = sizeof clip.format;
    ok = ok && AVIStreamReadFormat(stream, 0, &clip.format, &formatBytes) == AVIERR_OK;
    const LONG length = ok ? AVIStreamLength(stream) : 0;
    for (LONG f = 0; ok && f < length; ++f) {
        LONG bytes = 0;
        ok = AVIStreamRead(stream, f, 1, nullptr, 0, &bytes, nullptr) == AVIERR_OK && bytes > 0;
        Bytes picture(ok ? size_t(bytes) : 0);
        ok =
            ok && AVIStreamRead(stream, f, 1, picture.data(), bytes, nullptr, nullptr) == AVIERR_OK;
        clip.pictures.push_back(std::move(picture));
        clip.keys.push_back(AVIStreamIsKeyFrame(stream, f) != FALSE);
    }
    if (stream) AVIStreamRelease(stream);
    AVIFileRelease(file);
    return ok && length > 0;
}

// The start of a playback host program: the clip folder from the command
// line, the codec registered, the reference frames and, when asked for, the
// clip's compressed pictures loaded.
inline bool StartClipProgram(int argc, char** argv, const char* usage, ReferenceClip& clip,
                             std::string& folder, CompressedClip* compressed = nullptr) {
    if (!StartHostProgram(argc, argv, usage, folder)) return false;
    AVIFileInit();
    const bool loaded = LoadReferenceClip(folder, clip) &&
                        (!compressed || LoadCompressedClip(folder + "\\clip.avi", *compressed));
    AVIFileExit();
    if (loaded && (!compressed || int(compressed->pictures.size()) == clip.frames)) return true;
    std::printf("FAILED: the clip in %s does not load\n", folder.c_str());
    return false;
}

}  // namespace host
