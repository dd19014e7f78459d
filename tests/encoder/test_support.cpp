#include "test_support.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kmqx::test {

std::string TempPath(const std::string& name) {
    const char* folder = std::getenv("KMQX_TEST_TMP");
    std::string directory = folder ? folder : KMQX_BINARY_DIR "/tests/encoder/tmp";
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    return directory + "/" + name;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(file);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> DecodeWithFfmpeg(const std::string& streamPath) {
    const std::string output = streamPath + ".yuv";
    std::remove(output.c_str());
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f h263 -i '" + streamPath +
                                "' -f rawvideo -pix_fmt yuv420p '" + output + "'";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(output);
}

}  // namespace kmqx::test
