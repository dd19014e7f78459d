// MCI playback as applications script it with mciSendString: the clip opened
// as avivideo, played to the end with "play wait" and closed. Wine's MCI AVI
// player locates the decompressor through the VCM, asks it for a display
// format, decodes every frame into a buffer of the size the format gives and
// paints it into its window. The frames are also taken one by one with
// "step" and "update hdc" into a DIB section, and the last one after the
// play, each compared byte for byte with kmqx decode. Needs a display (Xvfb).
// Run with the clip folder as argument.
#include "clip_support.h"

using namespace host;

namespace {

// Sends one command; reports a failure with MCI's own text.
std::string Mci(const std::string& command, bool* succeeded = nullptr) {
    char answer[256] = {};
    const MCIERROR error = mciSendStringA(command.c_str(), answer, sizeof answer, nullptr);
    if (succeeded) *succeeded = !error;
    if (error) {
        char text[256] = {};
        mciGetErrorStringA(error, text, sizeof text);
        std::printf("FAILED \"%s\": %s\n", command.c_str(), text);
        ++Failures();
    }
    return answer;
}

// A bottom-up 24-bit DIB section of the clip's size in a memory DC, the
// target of "update hdc".
class Canvas {
  public:
    explicit Canvas(const ReferenceClip& clip) {
        format_ = BitmapFormat(clip.width, clip.height, 24, BI_RGB);
        format_.biSizeImage = DWORD(FrameBytes(format_));
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&format_), DIB_RGB_COLORS,
                                   &bits_, nullptr, 0);
        if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (previous_) SelectObject(dc_, previous_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ready() const { return bits_ != nullptr && previous_ != nullptr; }
    // Paints the player's current frame here; checks it is the clip's frame.
    void Update(FrameCheck& check, int frame) {
        std::memset(bits_, 0x55, format_.biSizeImage);
        Mci("update clip hdc " + std::to_string(reinterpret_cast<UINT_PTR>(dc_)));
        GdiFlush();
        check(frame, format_, static_cast<const BYTE*>(bits_), format_.biSizeImage);
    }

  private:
    BITMAPINFOHEADER format_{};
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

// The player sizes its frame buffer from the biSizeImage of the format that
// ICGetDisplayFormat gives it, whatever that format is: it must hold a
// whole frame of a format the clip can be compared in.
void CheckDisplayFormat(const std::string& path, const ReferenceClip& clip) {
    CompressedClip compressed;
    AVIFileInit();
    CHECK(LoadCompressedClip(path, compressed));
    AVIFileExit();
    HIC decompressor =
        ICLocate(ICTYPE_VIDEO, kKmqxFourCC, &compressed.format, nullptr, ICMODE_DECOMPRESS);
    CHECK(decompressor != nullptr);
    if (!decompressor) return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } display{};
    CHECK(ICGetDisplayFormat(decompressor, &compressed.format, &display.header, 0, 0, 0) ==
          decompressor);
    std::printf("the player decodes into %s of %lu bytes\n", FormatName(display.header).c_str(),
                display.header.biSizeImage);
    CHECK_EQ(display.header.biSizeImage, FrameBytes(display.header));
    Bytes expected;
    CHECK(ExpectedFrame(clip, 0, display.header, expected));
    ICClose(decompressor);
}

void PlayClip(const std::string& path, const ReferenceClip& clip) {
    bool opened = false;
    Mci("open \"" + path + "\" type avivideo alias clip", &opened);
    if (!opened) return;
    Mci("set clip time format frames");
    CHECK_STR(Mci("status clip length"), std::to_string(clip.frames));
    Canvas canvas(clip);
    CHECK(canvas.Ready());
    if (canvas.Ready()) {
        FrameCheck stepped("MCI step and update", clip);
        for (int f = 0; f < clip.frames; ++f) {
            canvas.Update(stepped, f);
            if (f + 1 < clip.frames) Mci("step clip");
        }
        std::printf("MCI step and update: %d frames checked\n", clip.frames);
    }
    Mci("seek clip to start");
    Mci("play clip wait");
    CHECK_STR(Mci("status clip mode"), "stopped");
    CHECK_STR(Mci("status clip position"), std::to_string(clip.frames - 1));
    if (canvas.Ready()) {
        FrameCheck played("MCI play wait, last frame", clip);
        canvas.Update(played, clip.frames - 1);
    }
    Mci("close clip");
}

}  // namespace

int main(int argc, char** argv) {
    ReferenceClip clip;
    std::string folder;
    if (!StartClipProgram(argc, argv, "mci_host_test CLIP_FOLDER", clip, folder)) return 2;
    CheckDisplayFormat(folder + "\\clip.avi", clip);
    PlayClip(folder + "\\clip.avi", clip);
    return Finish("mci");
}
