#pragma once
// Files of the tests: a scratch folder each test process owns, and whole
// files read and written.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kmqx::test {

// A scratch folder of this test process under KMQX_TEST_TMP: CTest runs the
// tests of one program as parallel processes, which must not share files.
// It is removed when the process ends.
class ScratchFolder {
  public:
    ScratchFolder() {
        const char* root = std::getenv("KMQX_TEST_TMP");
        path_ = std::string(root && *root ? root : "/tmp/kmqx_tests") + "/scratch-" +
                std::to_string(getpid());
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

inline std::string ScratchPath(const std::string& name) {
    static const ScratchFolder folder;
    return folder.Path() + "/" + name;
}

// Whether the whole file was written.
inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
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

}  // namespace kmqx::test
