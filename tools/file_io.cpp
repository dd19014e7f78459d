#include "tools/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
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
    // Read straight into bytes, sized by the file's length where it has one
    // (and a byte more, to meet the end in the same read).
    struct stat info;
    size_t capacity = 65536;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        uint64_t(info.st_size) < maxSize)
        capacity = std::max(capacity, size_t(info.st_size) + 1);
    bytes.resize(std::min(capacity, maxSize + 1));
    size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxSize) {
                error = "file too large";
                return false;
            }
            bytes.resize(std::min(2 * size, maxSize + 1));
        }
        const size_t wanted = bytes.size() - size;
        const size_t got = file.Read(bytes.data() + size, wanted);
        size += got;
        if (got < wanted) break;
    }
    bytes.resize(size);
    if (size > maxSize) {
        error = "file too large";
        return false;
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
    buffered_ = 0;
    if (!buffer_) buffer_.reset(new uint8_t[kWriteBufferBytes]);
    if (path == "-") {
        std::fflush(stdout);  // whatever stdio holds goes first
        descriptor_ = STDOUT_FILENO;
        isStdout_ = true;
        return true;
    }
    // A device or a pipe (/dev/null, a FIFO) is written in place: renaming a
    // temporary over it would replace the device with a plain file.
    struct stat existing;
    inPlace_ = stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode);
    temporaryPath_ = inPlace_ ? path : path + ".partial";
    descriptor_ = open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::WriteOut(const void* data, size_t size, std::string& error) {
    iovec pieces[2] = {{buffer_.get(), buffered_}, {const_cast<void*>(data), size}};
    iovec* next = pieces;
    int count = 2;
    while (count > 0) {
        if (next->iov_len == 0) {
            ++next;
            --count;
            continue;
        }
        const ssize_t written = writev(descriptor_, next, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = std::string("write failed: ") + std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        size_t left = size_t(written);
        for (; count > 0 && left >= next->iov_len; ++next, --count) left -= next->iov_len;
        if (count > 0) {
            next->iov_base = static_cast<uint8_t*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    buffered_ = 0;
    return true;
}

bool OutputFile::Write(const void* data, size_t size, std::string& error) {
    if (descriptor_ < 0) {
        error = "not open";
        return false;
    }
    if (size >= kDirectWriteBytes) {
        if (!WriteOut(data, size, error)) return false;
    } else if (size > 0) {
        if (buffered_ + size > kWriteBufferBytes && !Flush(error)) return false;
        std::memcpy(buffer_.get() + buffered_, data, size);
        buffered_ += size;
    }
    position_ += size;
    return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size, std::string& error) {
    if (descriptor_ < 0 || isStdout_) {
        error = "cannot seek in this output";
        return false;
    }
    if (!Flush(error)) return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = pwrite(descriptor_, bytes, size, off_t(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = std::string("write failed: ") + std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        bytes += written;
        size -= size_t(written);
        offset += uint64_t(written);
    }
    return true;
}

bool OutputFile::Commit(std::string& error) {
    if (descriptor_ < 0) {
        error = "not open";
        return false;
    }
    std::string reason;
    const bool flushed = Flush(reason);
    if (isStdout_) {
        descriptor_ = -1;
        if (!flushed) error = "write failed";
        return flushed;
    }
    const bool closed = close(descriptor_) == 0;
    if (!closed && flushed) reason = std::string("write failed: ") + std::strerror(errno);
    descriptor_ = -1;
    if (!flushed || !closed) {
        error = reason;
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
    if (descriptor_ < 0) return;
    if (isStdout_) {
        std::string ignored;
        Flush(ignored);
    } else {
        close(descriptor_);
        if (!inPlace_) std::remove(temporaryPath_.c_str());
    }
    descriptor_ = -1;
    buffered_ = 0;
}

}  // namespace kmqx
