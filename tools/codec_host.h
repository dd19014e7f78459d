#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/codec_settings.h"
#include "platform/platform.h"
#include "tools/raw_frames.h"

namespace kmqx {

// What the encoder is told before the sequence begins: a quality
// (ICM_SETQUALITY), then optionally a whole settings record (ICM_SETSTATE),
// then single fields over whatever the instance holds by then.
struct CompressionSettings {
    int32_t quality = -1;  // -1: keep the driver's default
    bool haveState = false;
    CodecSettings state{};
    // Single fields: index into CodecSettings as ten int32 values.
    std::vector<std::pair<int, int32_t>> fieldOverrides;
    // A data rate for ICM_COMPRESS_FRAMES_INFO, in bits a second (0: none;
    // the driver takes whole bytes), at rateNumerator / rateDenominator
    // frames a second.
    int64_t bitsPerSecond = 0;
    uint32_t rateNumerator = 25;
    uint32_t rateDenominator = 1;
    // The dwFrameSize of every ICM_COMPRESS: the most bytes a frame may take
    // (0: no limit).
    uint32_t maxFrameBytes = 0;
};

// A host of the codec's compressor that talks to it only through DriverProc
// messages, in the order a Windows host sends them. The library is loaded
// (DRV_LOAD, DRV_ENABLE) while any host exists and freed (DRV_DISABLE,
// DRV_FREE) after the last one.
class CompressorHost {
  public:
    CompressorHost();
    ~CompressorHost();
    CompressorHost(const CompressorHost&) = delete;
    CompressorHost& operator=(const CompressorHost&) = delete;

    // DRV_OPEN, the queries, GET_FORMAT/GET_SIZE, the settings, BEGIN.
    bool Begin(const SourceFormat& format, int32_t width, int32_t height,
               const CompressionSettings& settings, std::string& error);
    // ICM_COMPRESS of one source frame of SourceFrameSize bytes. The
    // compressed picture stays valid until the next call.
    bool Compress(const uint8_t* source, bool requestKeyFrame, std::string& error);
    const uint8_t* Data() const { return output_.data(); }
    uint32_t Size() const { return compressedSize_; }
    bool IsKeyFrame() const { return keyFrame_; }
    // ICM_COMPRESS_END and DRV_CLOSE; also done by the destructor.
    void End();

    CodecSettings State() const { return state_; }

  private:
    DWORD_PTR id_ = 0;
    bool begun_ = false;
    BITMAPINFOHEADER source_{};
    BITMAPINFOHEADER compressed_{};
    std::vector<uint8_t> output_;
    uint32_t compressedSize_ = 0;
    bool keyFrame_ = false;
    int32_t quality_ = 0;
    int32_t frameNumber_ = 0;
    uint32_t maxFrameBytes_ = 0;
    CodecSettings state_{};
};

// A host of the decompressor: DRV_OPEN for decompression, DECOMPRESS_QUERY,
// DECOMPRESS_GET_FORMAT, DECOMPRESS_BEGIN, frames into 24-bit RGB, END,
// DRV_CLOSE.
class DecompressorHost {
  public:
    DecompressorHost();
    ~DecompressorHost();
    DecompressorHost(const DecompressorHost&) = delete;
    DecompressorHost& operator=(const DecompressorHost&) = delete;

    bool Begin(int32_t width, int32_t height, std::string& error);
    // Decodes one compressed frame into a bottom-up 24-bit DIB of
    // RgbFrameSize() bytes.
    bool Decompress(const uint8_t* data, uint32_t size, std::string& error);
    const uint8_t* Rgb() const { return rgb_.data(); }
    size_t RgbFrameSize() const { return rgb_.size(); }
    void End();

  private:
    DWORD_PTR id_ = 0;
    bool begun_ = false;
    BITMAPINFOHEADER compressed_{};
    BITMAPINFOHEADER destination_{};
    std::vector<uint8_t> input_;
    std::vector<uint8_t> rgb_;
};

// The FourCC of the codec's compressed format.
uint32_t CodecFourCC();

// Text of an ICERR_ result.
std::string IcmResultText(LRESULT result);

}  // namespace kmqx
