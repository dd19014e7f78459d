// A data rate asked of AVISaveV, as an editor saving for a modem or a CD
// asks for one: a 250-frame 176 x 144 clip at 25 frames a second is saved
// with AVICOMPRESSF_DATARATE at 10,000, 20,000 and 40,000 bytes a second
// (a key frame every 25 frames). AVIFile hands the rate to the codec with
// ICM_COMPRESS_FRAMES_INFO and the first frame's share as its dwFrameSize,
// and checks no sizes itself, since the codec says it can crunch: the
// pictures of each file, and each whole file with AVIFile's headers and
// index, must come within 10 % of the rate. The files stay in
// the folder given as argument, for ffmpeg to decode.
#include <cstdint>

#include "avi_files.h"
#include "clip_support.h"
#include "test_pictures.h"

using namespace host;

namespace {

constexpr int kWidth = 176, kHeight = 144, kFrames = 250, kRate = 25;

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    if (!StartHostProgram(argc, argv, "datarate_host_test FOLDER", folder)) return 2;
    CreateDirectoryA(folder.c_str(), nullptr);
    AVIFileInit();
    BITMAPINFOHEADER format = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
    format.biSizeImage = DWORD(DibStride(kWidth) * kHeight);
    std::vector<Bytes> frames;
    for (int f = 0; f < kFrames; ++f) frames.push_back(MovingPicture(kWidth, kHeight, f));
    const std::string raw = folder + "\\datarate-raw.avi";
    CHECK(WriteUncompressedAvi(raw, format, mmioFOURCC('D', 'I', 'B', ' '), frames, kRate));

    for (DWORD bytesPerSecond : {10000u, 20000u, 40000u}) {
        const std::string saved = folder + "\\datarate-" + std::to_string(bytesPerSecond) + ".avi";
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = kKmqxFourCC;
        options.dwQuality = 8000;
        options.dwKeyFrameEvery = 25;
        options.dwBytesPerSecond = bytesPerSecond;
        options.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_DATARATE | AVICOMPRESSF_KEYFRAMES;
        CompressedClip clip;
        const bool ok =
            SaveWithAvisave(raw, saved, options, "datarate") && LoadCompressedClip(saved, clip);
        CHECK(ok);
        if (!ok) continue;
        CHECK_EQ(clip.pictures.size(), size_t(kFrames));
        size_t bytes = 0, keys = 0, largest = 0;
        for (size_t f = 0; f < clip.pictures.size(); ++f) {
            bytes += clip.pictures[f].size();
            largest = std::max(largest, clip.pictures[f].size());
            keys += clip.keys[f] ? 1 : 0;
        }
        const double achieved = double(bytes) * kRate / kFrames;
        Bytes file;
        ReadWholeFile(saved, file);
        const double fileRate = double(file.size()) * kRate / kFrames;
        std::printf(
            "%lu bytes a second asked: pictures %.0f bytes a second (%+.1f %%), file "
            "%.0f; %u key frames, largest picture %u bytes\n",
            (unsigned long)bytesPerSecond, achieved, 100.0 * (achieved / bytesPerSecond - 1),
            fileRate, unsigned(keys), unsigned(largest));
        CHECK(achieved >= 0.9 * bytesPerSecond);
        CHECK(achieved <= 1.1 * bytesPerSecond);
        CHECK(fileRate >= 0.9 * bytesPerSecond);
        CHECK(fileRate <= 1.1 * bytesPerSecond);
        CHECK(clip.keys.size() > 25 && clip.keys[0] && clip.keys[25]);
    }
    AVIFileExit();
    return Finish("datarate");
}
