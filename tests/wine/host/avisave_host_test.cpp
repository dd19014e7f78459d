// Saving with AVISaveV, as editors convert a file to KMQX: uncompressed AVI
// files of one moving picture in several source formats are saved through
// AVIFile's compressing stream, which hands each frame to the codec as the
// file stores it. Each saved file must decode to within 1 dB of the same
// picture saved from bottom-up 24-bit RGB (from YV12 for the I420 one). The
// picture is exactly representable in every format (components of five
// bits), so any loss beyond the codec's own is a misread source. Run with a
// folder for the files as argument.
#include <cstdint>

#include "avi_files.h"
#include "clip_support.h"
#include "test_pictures.h"

using namespace host;

namespace {

constexpr int kWidth = 176, kHeight = 144, kFrames = 12;

struct Picture {
    Bytes rgb;     // bottom-up 24-bit
    Bytes planes;  // Y, U, V
};

// A 5-bit component widened to 8 bits, as 16-bit RGB is read.
BYTE Widen5(int value) {
    return BYTE((value << 3) | (value >> 2));
}

Picture MakePicture(int frame) {
    Picture picture{MovingPicture(kWidth, kHeight, frame), {}};
    for (BYTE& sample : picture.rgb) sample = Widen5(sample >> 3);
    const size_t luma = size_t(kWidth) * kHeight;
    picture.planes.assign(luma * 3 / 2, 0);
    BYTE* u = picture.planes.data() + luma;
    BYTE* v = u + luma / 4;
    const auto sample = [&](int x, int y, int c) {
        return int(picture.rgb[DibStride(kWidth) * (kHeight - 1 - y) + 3 * x + 2 - c]);
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int r = sample(x, y, 0), g = sample(x, y, 1), b = sample(x, y, 2);
            picture.planes[size_t(y) * kWidth + x] =
                BYTE(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
            if (x % 2 || y % 2) continue;
            const size_t at = size_t(y / 2) * (kWidth / 2) + x / 2;
            u[at] = BYTE(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            v[at] = BYTE(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    return picture;
}

struct Source {
    const char* name;
    WORD bits;
    DWORD compression;
    bool topDown;
};
const Source kRgb24Source{"bottom-up RGB24", 24, BI_RGB, false};
const Source kTopDownRgb24Source{"top-down RGB24", 24, BI_RGB, true};
const Source kRgb555Source{"RGB555", 16, BI_RGB, false};
const Source kRgb32Source{"RGB32", 32, BI_RGB, false};
const Source kYv12Source{"YV12", 12, kYv12, false};
const Source kI420Source{"I420", 12, kI420, false};

BITMAPINFOHEADER SourceFormat(const Source& source) {
    BITMAPINFOHEADER format =
        BitmapFormat(kWidth, source.topDown ? -kHeight : kHeight, source.bits, source.compression);
    format.biSizeImage = DWORD(FrameBytes(format));
    return format;
}

// The picture laid out as the source format.
Bytes SourceFrame(const Source& source, const Picture& picture) {
    const BITMAPINFOHEADER format = SourceFormat(source);
    Bytes frame(format.biSizeImage, 0);
    if (source.compression != BI_RGB) {
        const size_t luma = size_t(kWidth) * kHeight, chroma = luma / 4;
        const bool vFirst = source.compression == kYv12;
        std::memcpy(frame.data(), picture.planes.data(), luma);
        std::memcpy(frame.data() + luma, picture.planes.data() + luma + (vFirst ? chroma : 0),
                    chroma);
        std::memcpy(frame.data() + luma + chroma,
                    picture.planes.data() + luma + (vFirst ? 0 : chroma), chroma);
        return frame;
    }
    for (int row = 0; row < kHeight; ++row) {
        const BYTE* from = picture.rgb.data() + DibStride(kWidth) * row;
        BYTE* to = frame.data() +
                   DibStride(kWidth, source.bits) * (source.topDown ? kHeight - 1 - row : row);
        for (int x = 0; x < kWidth; ++x, from += 3) {
            if (source.bits == 16) {
                const int packed = (from[2] >> 3) << 10 | (from[1] >> 3) << 5 | from[0] >> 3;
                to[2 * x] = BYTE(packed);
                to[2 * x + 1] = BYTE(packed >> 8);
            } else {
                const int bytes = source.bits / 8;
                std::memcpy(to + bytes * x, from, 3);
                if (bytes == 4) to[4 * x + 3] = 0x7F;  // ignored by readers of 32-bit RGB
            }
        }
    }
    return frame;
}

// Writes the frames into an uncompressed AVI file, then saves that file's
// stream with AVISaveV and the KMQX compressor into another.
bool SaveThroughAvisave(const Source& source, const std::vector<Picture>& pictures,
                        const std::string& raw, const std::string& saved) {
    std::vector<Bytes> frames;
    for (int f = 0; f < kFrames; ++f) frames.push_back(SourceFrame(source, pictures[f]));
    const DWORD handler =
        source.compression == BI_RGB ? mmioFOURCC('D', 'I', 'B', ' ') : source.compression;
    if (!WriteUncompressedAvi(raw, SourceFormat(source), handler, frames, 25)) return false;
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = kKmqxFourCC;
    options.dwQuality = 8000;
    options.dwFlags = AVICOMPRESSF_VALID;
    return SaveWithAvisave(raw, saved, options, source.name);
}

// Wine's AVISaveV reads a stream through a decompressor unless it is RGB,
// and there is none for YUV sources: those go through ICSeqCompressFrame,
// the Video Compression Manager's own sequence helper.
bool SequenceCompress(const Source& source, const std::vector<Picture>& pictures,
                      CompressedClip& clip) {
    COMPVARS vars = CodecCompVars(1, 8000);
    BITMAPINFOHEADER format = SourceFormat(source);
    bool ok = vars.hic && ICSeqCompressFrameStart(&vars, reinterpret_cast<BITMAPINFO*>(&format));
    for (int f = 0; ok && f < kFrames; ++f) {
        Bytes frame = SourceFrame(source, pictures[f]);
        BOOL key = FALSE;
        LONG size = LONG(frame.size());
        auto* picture =
            static_cast<const BYTE*>(ICSeqCompressFrame(&vars, 0, frame.data(), &key, &size));
        ok = picture && size > 0;
        if (ok) clip.pictures.emplace_back(picture, picture + size);
    }
    if (ok) clip.format = vars.lpbiOut->bmiHeader;
    if (vars.hic) {
        ICSeqCompressFrameEnd(&vars);
        ICCompressorFree(&vars);
    }
    return ok;
}

// Decodes the pictures to bottom-up RGB24; the mean PSNR against the
// picture, or -1 when they do not decode.
double DecodedPsnr(const CompressedClip& clip, const std::vector<Picture>& pictures) {
    if (clip.format.biCompression != kKmqxFourCC || clip.pictures.size() != size_t(kFrames))
        return -1;
    HIC decompressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_DECOMPRESS);
    if (!decompressor) return -1;
    BITMAPINFOHEADER output = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
    Bytes rgb(DibStride(kWidth) * kHeight);
    double sum = 0;
    for (int f = 0; f < kFrames && sum >= 0; ++f) {
        BITMAPINFOHEADER input = clip.format;
        input.biSizeImage = DWORD(clip.pictures[f].size());
        if (ICDecompress(decompressor, 0, &input, const_cast<BYTE*>(clip.pictures[f].data()),
                         &output, rgb.data()) != ICERR_OK)
            sum = -1;
        else
            sum += Psnr(rgb.data(), pictures[f].rgb.data(), rgb.size());
    }
    ICClose(decompressor);
    return sum < 0 ? -1 : sum / kFrames;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    if (!StartHostProgram(argc, argv, "avisave_host_test FOLDER", folder)) return 2;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<Picture> pictures;
    for (int f = 0; f < kFrames; ++f) pictures.push_back(MakePicture(f));
    AVIFileInit();
    const struct {
        const Source& source;
        const Source& reference;
    } pairs[] = {{kRgb555Source, kRgb24Source},
                 {kRgb32Source, kRgb24Source},
                 {kTopDownRgb24Source, kRgb24Source},
                 {kI420Source, kYv12Source}};
    for (const auto& pair : pairs) {
        double psnr[2] = {-1, -1};
        const Source* sources[2] = {&pair.source, &pair.reference};
        const bool rgb = pair.source.compression == BI_RGB;
        for (int i = 0; i < 2; ++i) {
            const std::string base = folder + "\\" + sources[i]->name;
            CompressedClip clip;
            const bool compressed =
                rgb ? SaveThroughAvisave(*sources[i], pictures, base + "-raw.avi",
                                         base + "-kmqx.avi") &&
                          LoadCompressedClip(base + "-kmqx.avi", clip)
                    : SequenceCompress(*sources[i], pictures, clip);
            if (compressed) psnr[i] = DecodedPsnr(clip, pictures);
        }
        std::printf("%s from %s: %.2f dB, from %s: %.2f dB\n",
                    rgb ? "AVISaveV" : "ICSeqCompressFrame", pair.source.name, psnr[0],
                    pair.reference.name, psnr[1]);
        CHECK(psnr[1] > 20);
        CHECK(psnr[0] >= psnr[1] - 1.0);
    }
    AVIFileExit();
    return Finish("avisave");
}
