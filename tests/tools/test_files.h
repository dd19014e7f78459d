#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kmqx::testing {

// A scratch folder for the tool tests (KMQX_TEST_TMP, created on demand).
inline std::string ScratchPath(const std::string& name) {
    const char* root = std::getenv("KMQX_TEST_TMP");
    std::string dir = root && *root ? root : "/tmp/kmqx_tools_tests";
    mkdir(dir.c_str(), 0755);
    dir += "/tools";
    mkdir(dir.c_str(), 0755);
    return dir + "/" + name;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

}  // namespace kmqx::testing
