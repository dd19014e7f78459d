#include "test_support.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kmqx::test {

std::vector<uint8_t> DecodeWithFfmpeg(const std::string& streamPath) {
    const std::string output = streamPath + ".yuv";
    std::remove(output.c_str());
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f h263 -i '" + streamPath +
                                "' -vsync passthrough -f rawvideo -pix_fmt yuv420p '" + output +
                                "'";
    if (std::system(command.c_str()) != 0) return {};
    return ReadBytes(output);
}

}  // namespace kmqx::test
