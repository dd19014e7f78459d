#pragma once
// The independent decoder and encoder the tests check the codec against.
#include <cstdlib>

namespace kmqx::test {

// Whether an ffmpeg program is on PATH; tests that need it skip without.
inline bool HaveFfmpeg() {
    static const bool found = std::system("ffmpeg -version > /dev/null 2>&1") == 0;
    return found;
}

}  // namespace kmqx::test
