// DrawDib as simple players use it: every picture of the clip drawn with
// DrawDibDraw into a 24-bit DIB section with the stream's format record and
// without DDF_SAME_DRAW. Then what DrawDib does on Windows when a frame's
// record differs from the last: ICDecompressEnd and ICDecompressBegin on
// the same decompressor around every frame; delta frames must still decode
// against the frame before, not against black. Each frame is compared byte
// for byte with kmqx decode. Run with the clip folder as argument.
#include "clip_support.h"

using namespace host;

namespace {

// Each picture in a buffer of at least the format's biSizeImage, which is
// what a decompressor is told it may read.
std::vector<Bytes> HostBuffers(const CompressedClip& compressed) {
    std::vector<Bytes> buffers;
    for (const Bytes& picture : compressed.pictures) {
        buffers.push_back(picture);
        if (buffers.back().size() < compressed.format.biSizeImage)
            buffers.back().resize(compressed.format.biSizeImage, 0);
    }
    return buffers;
}

void DrawEveryFrame(const CompressedClip& compressed, const ReferenceClip& clip) {
    BITMAPINFOHEADER target = BitmapFormat(clip.width, clip.height, 24, BI_RGB);
    target.biSizeImage = DWORD(FrameBytes(target));
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&target), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    HDRAWDIB drawDib = DrawDibOpen();
    CHECK(dc && bitmap && bits && drawDib);
    if (dc && bitmap && bits && drawDib) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        BITMAPINFOHEADER format = compressed.format;
        const std::vector<Bytes> buffers = HostBuffers(compressed);
        FrameCheck check("DrawDibDraw", clip);
        for (size_t f = 0; f < compressed.pictures.size(); ++f) {
            std::memset(bits, 0x55, target.biSizeImage);
            const UINT flags = compressed.keys[f] ? 0 : DDF_NOTKEYFRAME;
            CHECK(DrawDibDraw(drawDib, dc, 0, 0, clip.width, clip.height, &format,
                              const_cast<BYTE*>(buffers[f].data()), 0, 0, clip.width, clip.height,
                              flags));
            GdiFlush();
            check(int(f), target, static_cast<const BYTE*>(bits), target.biSizeImage);
        }
        SelectObject(dc, previous);
    }
    if (drawDib) DrawDibClose(drawDib);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

void EndAndBeginAroundEveryFrame(const CompressedClip& compressed, const ReferenceClip& clip) {
    HIC decompressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_DECOMPRESS);
    CHECK(decompressor != nullptr);
    if (!decompressor) return;
    BITMAPINFOHEADER output = BitmapFormat(clip.width, clip.height, 24, BI_RGB);
    output.biSizeImage = DWORD(FrameBytes(output));
    Bytes frame(output.biSizeImage);
    FrameCheck check("ICDecompressEnd and Begin around every frame", clip);
    for (size_t f = 0; f < compressed.pictures.size(); ++f) {
        BITMAPINFOHEADER input = compressed.format;
        input.biSizeImage = DWORD(compressed.pictures[f].size());
        CHECK_EQ(ICDecompressBegin(decompressor, &input, &output), ICERR_OK);
        std::memset(frame.data(), 0x55, frame.size());
        CHECK_EQ(
            ICDecompress(decompressor, compressed.keys[f] ? 0 : ICDECOMPRESS_NOTKEYFRAME, &input,
                         const_cast<BYTE*>(compressed.pictures[f].data()), &output, frame.data()),
            ICERR_OK);
        check(int(f), output, frame.data(), frame.size());
        CHECK_EQ(ICDecompressEnd(decompressor), ICERR_OK);
    }
    ICClose(decompressor);
}

}  // namespace

int main(int argc, char** argv) {
    ReferenceClip clip;
    CompressedClip compressed;
    std::string folder;
    if (!StartClipProgram(argc, argv, "drawdib_host_test CLIP_FOLDER", clip, folder, &compressed))
        return 2;
    DrawEveryFrame(compressed, clip);
    EndAndBeginAroundEveryFrame(compressed, clip);
    return Finish("drawdib");
}
