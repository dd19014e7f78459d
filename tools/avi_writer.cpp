#include "tools/avi_writer.h"

#include "convert/source_conversion.h"

namespace kmqx {
namespace {

constexpr uint32_t kAviifKeyframe = 0x10;
constexpr uint32_t kAvifHasIndex = 0x10;
// AVI 1.0 files stay below 2 GiB, where every reader handles them.
constexpr uint64_t kMaxRiffSize = 0x7FF00000;

class ByteBuilder {
  public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void U16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void Tag(const char* t) { U32(MakeFourCC(t[0], t[1], t[2], t[3])); }
    std::vector<uint8_t> bytes;
};

// Fixed size of everything before the first frame chunk: RIFF header (12),
// LIST hdrl (12 + avih 64 + LIST strl (12 + strh 64 + strf 48)), LIST movi
// header (12).
constexpr uint32_t kHeaderSize = 12 + 12 + 64 + 12 + 64 + 48 + 12;

}  // namespace

std::vector<uint8_t> AviWriter::BuildHeaders(uint32_t moviSize, uint32_t riffSize) const {
    const uint32_t frames = FrameCount();
    const uint32_t microSecondsPerFrame =
        uint32_t(uint64_t(1000000) * info_.rate.denominator / info_.rate.numerator);
    const uint64_t bytesPerSecond =
        frames ? moviDataSize_ * info_.rate.numerator / info_.rate.denominator / frames : 0;
    ByteBuilder b;
    b.Tag("RIFF");
    b.U32(riffSize);
    b.Tag("AVI ");
    b.Tag("LIST");
    b.U32(4 + 64 + 12 + 64 + 48);
    b.Tag("hdrl");
    b.Tag("avih");
    b.U32(56);
    b.U32(microSecondsPerFrame);
    b.U32(uint32_t(bytesPerSecond > UINT32_MAX ? UINT32_MAX : bytesPerSecond));
    b.U32(0);              // padding granularity
    b.U32(kAvifHasIndex);  // flags
    b.U32(frames);
    b.U32(0);  // initial frames
    b.U32(1);  // streams
    b.U32(largestFrame_);
    b.U32(uint32_t(info_.width));
    b.U32(uint32_t(info_.height));
    for (int i = 0; i < 4; ++i) b.U32(0);
    b.Tag("LIST");
    b.U32(4 + 64 + 48);
    b.Tag("strl");
    b.Tag("strh");
    b.U32(56);
    b.Tag("vids");
    b.U32(info_.fourcc);
    b.U32(0);  // flags
    b.U16(0);  // priority
    b.U16(0);  // language
    b.U32(0);  // initial frames
    b.U32(info_.rate.denominator);
    b.U32(info_.rate.numerator);
    b.U32(0);  // start
    b.U32(frames);
    b.U32(largestFrame_);
    b.U32(0xFFFFFFFF);  // quality: default
    b.U32(0);           // sample size: varies
    b.U16(0);
    b.U16(0);
    b.U16(uint16_t(info_.width));
    b.U16(uint16_t(info_.height));
    b.Tag("strf");
    b.U32(40);
    b.U32(40);
    b.U32(uint32_t(info_.width));
    b.U32(uint32_t(info_.height));
    b.U16(1);   // planes
    b.U16(24);  // bit count
    b.U32(info_.fourcc);
    b.U32(uint32_t(Rgb24Stride(info_.width) * size_t(info_.height)));
    for (int i = 0; i < 4; ++i) b.U32(0);
    b.Tag("LIST");
    b.U32(moviSize);
    b.Tag("movi");
    return b.bytes;
}

bool AviWriter::Open(const std::string& path, const AviStreamInfo& info, std::string& error) {
    if (info.width <= 0 || info.height <= 0 || info.width > 65535 || info.height > 65535 ||
        info.rate.numerator == 0 || info.rate.denominator == 0) {
        error = "unsupported picture size or frame rate for AVI";
        return false;
    }
    info_ = info;
    index_.clear();
    largestFrame_ = 0;
    moviDataSize_ = 0;
    if (!file_.Open(path, error)) return false;
    if (file_.Path() == "-") {
        error = "AVI output needs a file name, not standard output";
        file_.Abandon();
        return false;
    }
    // Placeholder headers, rewritten with the final sizes by Finish.
    const std::vector<uint8_t> headers = BuildHeaders(0, 0);
    return file_.Write(headers.data(), headers.size(), error);
}

bool AviWriter::WriteFrame(const uint8_t* data, size_t size, bool keyFrame, std::string& error) {
    const uint64_t chunk = 8 + size + (size & 1);
    const uint64_t indexSize = 8 + 16 * (uint64_t(index_.size()) + 1);
    if (kHeaderSize + moviDataSize_ + chunk + indexSize > kMaxRiffSize) {
        error = "output exceeds the AVI 1.0 size limit";
        return false;
    }
    ByteBuilder header;
    header.Tag("00dc");
    header.U32(uint32_t(size));
    static const uint8_t kPad = 0;
    if (!file_.Write(header.bytes.data(), 8, error) || !file_.Write(data, size, error) ||
        ((size & 1) && !file_.Write(&kPad, 1, error)))
        return false;
    index_.push_back({uint32_t(4 + moviDataSize_), uint32_t(size), keyFrame});
    moviDataSize_ += chunk;
    if (size > largestFrame_) largestFrame_ = uint32_t(size);
    return true;
}

bool AviWriter::Finish(std::string& error) {
    ByteBuilder index;
    index.Tag("idx1");
    index.U32(uint32_t(16 * index_.size()));
    for (const IndexEntry& entry : index_) {
        index.Tag("00dc");
        index.U32(entry.keyFrame ? kAviifKeyframe : 0);
        index.U32(entry.offset);
        index.U32(entry.size);
    }
    if (!file_.Write(index.bytes.data(), index.bytes.size(), error)) return false;
    const uint32_t moviSize = uint32_t(4 + moviDataSize_);
    const uint32_t riffSize = uint32_t(kHeaderSize - 8 + moviDataSize_ + index.bytes.size());
    const std::vector<uint8_t> headers = BuildHeaders(moviSize, riffSize);
    return file_.WriteAt(0, headers.data(), headers.size(), error) && file_.Commit(error);
}

}  // namespace kmqx
