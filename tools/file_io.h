#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kmqx {

// A file opened for reading; "-" is standard input.
class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    bool Open(const std::string& path, std::string& error);
    // Reads up to size bytes; returns how many were read (fewer only at the
    // end of the file or on a read error, which error() then tells).
    size_t Read(void* buffer, size_t size);
    // Reads one byte; -1 at the end.
    int ReadByte();
    bool Failed() const;
    const std::string& Path() const { return path_; }

  private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string path_;
};

// Reads a whole file (not standard input) of at most maxSize bytes.
bool ReadWholeFile(const std::string& path, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::string& error);

// A file written under a temporary name beside its final one and renamed
// only by Commit, so that a failed run never leaves a file that looks
// complete. "-" writes to standard output, and a path that names a device or
// a pipe is written in place (no temporary, no rename).
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // An output that was never committed is removed.
    ~OutputFile();

    bool Open(const std::string& path, std::string& error);
    bool Write(const void* data, size_t size, std::string& error);
    bool WriteAt(uint64_t offset, const void* data, size_t size, std::string& error);
    uint64_t Position() const { return position_; }
    bool Commit(std::string& error);
    void Abandon();
    const std::string& Path() const { return path_; }

  private:
    // Writes the buffered bytes and then data, in one call where both exist.
    bool WriteOut(const void* data, size_t size, std::string& error);
    bool Flush(std::string& error) { return WriteOut(nullptr, 0, error); }

    int descriptor_ = -1;
    bool isStdout_ = false;
    bool inPlace_ = false;
    // Small writes (headers, compressed frames) gather in the buffer; large
    // ones (whole planes) go out from the caller's memory without a copy.
    static constexpr size_t kWriteBufferBytes = size_t{1} << 20;
    static constexpr size_t kDirectWriteBytes = size_t{64} << 10;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t buffered_ = 0;
    std::string path_;
    std::string temporaryPath_;
    uint64_t position_ = 0;
};

}  // namespace kmqx
