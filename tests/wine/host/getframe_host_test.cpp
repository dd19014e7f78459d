// AVIStreamGetFrame as editing and playback applications read a KMQX AVI
// file: for every destination format a host can ask for, AVIFile locates the
// decompressor with that format and runs ICDecompress for every frame. Each
// frame is compared byte for byte with kmqx decode of the same file. Run with
// the clip folder (clip.avi and the references) as argument.
#include "clip_support.h"

using namespace host;

namespace {

void ReadEveryFrame(PAVISTREAM stream, const ReferenceClip& clip, const Destination& destination) {
    const std::string what = std::string("AVIStreamGetFrame ") + destination.name;
    BITMAPINFOHEADER wanted = DestinationFormat(destination, clip.width, clip.height);
    PGETFRAME frames = AVIStreamGetFrameOpen(stream, &wanted);
    if (!frames) {
        std::printf("FAILED %s: AVIStreamGetFrameOpen finds no decompressor\n", what.c_str());
        ++Failures();
        return;
    }
    FrameCheck check(what, clip);
    for (int f = 0; f < clip.frames; ++f) {
        auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(frames, f));
        CHECK(dib != nullptr);
        if (!dib) break;
        CHECK_EQ(dib->biCompression, wanted.biCompression);
        CHECK_EQ(dib->biHeight, wanted.biHeight);
        const BYTE* bits = reinterpret_cast<const BYTE*>(dib) + dib->biSize;
        check(f, *dib, bits, dib->biSizeImage);
    }
    AVIStreamGetFrameClose(frames);
}

}  // namespace

int main(int argc, char** argv) {
    ReferenceClip clip;
    std::string folder;
    if (!StartClipProgram(argc, argv, "getframe_host_test CLIP_FOLDER", clip, folder)) return 2;
    AVIFileInit();
    PAVIFILE file = nullptr;
    CHECK_EQ(AVIFileOpenA(&file, (folder + "\\clip.avi").c_str(), OF_READ | OF_SHARE_DENY_WRITE,
                          nullptr),
             AVIERR_OK);
    PAVISTREAM stream = nullptr;
    if (file) CHECK_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    if (stream) {
        CHECK_EQ(AVIStreamLength(stream), clip.frames);
        for (const Destination& destination : kDestinations)
            ReadEveryFrame(stream, clip, destination);
        AVIStreamRelease(stream);
    }
    if (file) AVIFileRelease(file);
    AVIFileExit();
    return Finish("getframe");
}
