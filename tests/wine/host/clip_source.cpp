// Writes the source frames of the playback test clip: 50 QCIF frames of the
// moving test picture as bottom-up 24-bit RGB, for the native kmqx to encode.
#include "test_pictures.h"

using namespace host;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: clip_source FILE\n");
        return 2;
    }
    constexpr int kWidth = 176, kHeight = 144, kFrames = 50;
    Bytes all;
    for (int f = 0; f < kFrames; ++f) {
        const Bytes frame = MovingPicture(kWidth, kHeight, f);
        all.insert(all.end(), frame.begin(), frame.end());
    }
    CHECK(WriteWholeFile(argv[1], all));
    return Finish("clip source");
}
