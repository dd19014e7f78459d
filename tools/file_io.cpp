#include "tools/file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kmqx {

InputFile::~InputFile() {
    if (file_ && ownsFile_) std::fclose(file_);
}

bool InputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    if (path == "-") {
        file_ = stdin;
        ownsFile_ = false;
        return true;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error = std::strerror(errno);
        return false;
    }
    ownsFile_ = true;
    return true;
}

size_t InputFile::Read(void* buffer, size_t size) {
    return file_ ? std::fread(buffer, 1, size, file_) : 0;
}

int InputFile::ReadByte() {
    return file_ ? std::fgetc(file_) : -1;
}

bool InputFile::Failed() const {
    return !file_ || std::ferror(file_) != 0;
}

bool ReadWholeFile(const std::string& path, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::string& error) {
    InputFile file;
    if (!file.Open(path, error)) return false;
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = file.Read(chunk, sizeof chunk);
        if (bytes.size() + got > maxSize) {
            error = "file too large";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    if (file.Failed()) {
        error = "read error";
        return false;
    }
    return true;
}

OutputFile::~OutputFile() {
    Abandon();
}

bool OutputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    position_ = 0;
    if (path == "-") {
        file_ = stdout;
        isStdout_ = true;
        return true;
    }
    // A device or a pipe (/dev/null, a FIFO) is written in place: renaming a
    // temporary over it would replace the device with a plain file.
    struct stat existing;
    inPlace_ = stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode);
    temporaryPath_ = inPlace_ ? path : path + ".partial";
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    if (!file_) {
        error = std::strerror(errno);
        return false;
    }
    // Frames and their headers leave in large writes, not one per frame.
    buffer_.reset(new char[kWriteBufferBytes]);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBufferBytes);
    return true;
}

bool OutputFile::Write(const void* data, size_t size, std::string& error) {
    if (!file_) {
        error = "not open";
        return false;
    }
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        error = std::string("write failed: ") + std::strerror(errno);
        return false;
    }
    position_ += size;
    return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size, std::string& error) {
    if (!file_ || isStdout_) {
        error = "cannot seek in this output";
        return false;
    }
    if (std::fseek(file_, long(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, file_) != size || std::fseek(file_, 0, SEEK_END) != 0) {
        error = std::string("write failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string& error) {
    if (!file_) {
        error = "not open";
        return false;
    }
    if (isStdout_) {
        const bool flushed = std::fflush(file_) == 0;
        file_ = nullptr;
        if (!flushed) error = "write failed";
        return flushed;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        error = std::string("write failed: ") + std::strerror(errno);
        if (!inPlace_) std::remove(temporaryPath_.c_str());
        return false;
    }
    if (inPlace_) return true;
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        error = std::string("cannot rename into place: ") + std::strerror(errno);
        std::remove(temporaryPath_.c_str());
        return false;
    }
    return true;
}

void OutputFile::Abandon() {
    if (!file_) return;
    if (isStdout_) {
        std::fflush(file_);
    } else {
        std::fclose(file_);
        if (!inPlace_) std::remove(temporaryPath_.c_str());
    }
    file_ = nullptr;
}

}  // namespace kmqx
