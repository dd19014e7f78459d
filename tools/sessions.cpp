#include "tools/sessions.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "driver/codec_factory.h"
#include "tools/avi_writer.h"
#include "tools/file_io.h"

namespace kmqx {
namespace {

double Now() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// The two kinds of compressed output.
class CompressedSink {
  public:
    virtual ~CompressedSink() = default;
    virtual bool Write(const uint8_t* data, size_t size, bool keyFrame, std::string& error) = 0;
    virtual bool Finish(std::string& error) = 0;
};

class AviSink : public CompressedSink {
  public:
    bool Open(const EncodeJob& job, std::string& error) {
        AviStreamInfo info;
        info.width = job.width;
        info.height = job.height;
        info.rate = job.rate;
        info.fourcc = CodecFourCC();
        return writer_.Open(job.outputPath, info, error);
    }
    bool Write(const uint8_t* data, size_t size, bool keyFrame, std::string& error) override {
        return writer_.WriteFrame(data, size, keyFrame, error);
    }
    bool Finish(std::string& error) override { return writer_.Finish(error); }

  private:
    AviWriter writer_;
};

class RawStreamSink : public CompressedSink {
  public:
    bool Open(const EncodeJob& job, std::string& error) {
        return file_.Open(job.outputPath, error);
    }
    bool Write(const uint8_t* data, size_t size, bool, std::string& error) override {
        return file_.Write(data, size, error);
    }
    bool Finish(std::string& error) override { return file_.Commit(error); }

  private:
    OutputFile file_;
};

class ProgressLine {
  public:
    explicit ProgressLine(bool enabled) : enabled_(enabled && isatty(fileno(stderr))) {}
    ~ProgressLine() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }
    void Show(int64_t frames, uint64_t bytes) {
        if (!enabled_ || (frames % 10) != 0) return;
        std::fprintf(stderr, "\rframe %lld, %llu bytes", static_cast<long long>(frames),
                     static_cast<unsigned long long>(bytes));
        std::fflush(stderr);
        shown_ = true;
    }

  private:
    bool enabled_;
    bool shown_ = false;
};

}  // namespace

bool IsRawStreamName(const std::string& path) {
    auto endsWith = [&](const char* suffix) {
        const std::string s(suffix);
        return path.size() >= s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    return path == "-" || endsWith(".263") || endsWith(".h263");
}

bool RunEncode(const EncodeJob& job, FrameSource& source, EncodeSummary& summary,
               std::string& error) {
    summary = EncodeSummary{};
    const double start = Now();
    std::string reason;
    CompressorHost codec;
    CompressionSettings settings = job.settings;
    settings.rateNumerator = job.rate.numerator;
    settings.rateDenominator = job.rate.denominator;
    if (!codec.Begin(job.format, job.width, job.height, settings, reason)) {
        error = job.inputName + ": " + reason;
        return false;
    }
    std::unique_ptr<CompressedSink> sink;
    if (IsRawStreamName(job.outputPath)) {
        auto raw = std::make_unique<RawStreamSink>();
        if (!raw->Open(job, reason)) {
            error = job.outputPath + ": " + reason;
            return false;
        }
        sink = std::move(raw);
    } else {
        auto avi = std::make_unique<AviSink>();
        if (!avi->Open(job, reason)) {
            error = job.outputPath + ": " + reason;
            return false;
        }
        sink = std::move(avi);
    }
    ProgressLine progress(job.progress);
    std::vector<uint8_t> frame;
    for (;;) {
        const ReadStatus status = source.Next(frame, reason);
        if (status == ReadStatus::kEnd) break;
        if (status == ReadStatus::kError) {
            error = job.inputName + ": " + reason;
            return false;
        }
        const bool requestKey = job.keyInterval > 0 && summary.frames % job.keyInterval == 0;
        if (!codec.Compress(frame.data(), requestKey, reason)) {
            error = job.inputName + ": " + reason;
            return false;
        }
        if (!sink->Write(codec.Data(), codec.Size(), codec.IsKeyFrame(), reason)) {
            error = job.outputPath + ": " + reason;
            return false;
        }
        ++summary.frames;
        summary.keyFrames += codec.IsKeyFrame() ? 1 : 0;
        summary.bytes += codec.Size();
        summary.largestFrame = std::max(summary.largestFrame, codec.Size());
        progress.Show(summary.frames, summary.bytes);
    }
    if (summary.frames == 0) {
        error = job.inputName + ": no frames to encode";
        return false;
    }
    codec.End();
    if (!sink->Finish(reason)) {
        error = job.outputPath + ": " + reason;
        return false;
    }
    summary.seconds = Now() - start;
    return true;
}

namespace {

std::string DecoderResultText(int32_t result) {
    switch (result) {
        case kDecodeHeaderRejected:
            return "picture header rejected by the decoder";
        case kDecodeOutOfMemory:
            return "out of memory";
        default:
            return "rejected by the decoder (result " + std::to_string(result) + ")";
    }
}

// A black 4:2:0 picture, as the decoder shows before its first picture.
struct BlackPicture {
    std::vector<uint8_t> planes;
    PlanarFrame frame{};
    BlackPicture(int32_t width, int32_t height) {
        const size_t luma = size_t(width) * size_t(height);
        const size_t chroma = size_t(width / 2) * size_t(height / 2);
        planes.assign(luma + 2 * chroma, 128);
        std::fill(planes.begin(), planes.begin() + luma, uint8_t{16});
        frame = {planes.data(), planes.data() + luma, planes.data() + luma + chroma};
    }
};

// The decoder's own planes, for pictures of any size (the driver's YUV
// destinations need even sizes). Holds the picture to show: the last one
// decoded, black before the first. The destructor ends the sequence.
class PlanarDecoderSession {
  public:
    PlanarDecoderSession(int32_t width, int32_t height)
        : width_(width), height_(height), black_(width, height), picture_(black_.frame) {}
    ~PlanarDecoderSession() {
        if (!decoder_) return;
        if (begun_) decoder_->EndDecompress();
        BuiltInCodecFactory().destroyDecoder(decoder_);
    }
    PlanarDecoderSession(const PlanarDecoderSession&) = delete;
    PlanarDecoderSession& operator=(const PlanarDecoderSession&) = delete;

    bool Begin(std::string& error) {
        decoder_ = BuiltInCodecFactory().createDecoder();
        if (!decoder_) {
            error = "out of memory";
            return false;
        }
        begun_ = decoder_->BeginDecompress() == kDecodeOk;
        if (!begun_) error = "the decoder cannot begin";
        return begun_;
    }
    // A picture that is refused, or of another size, leaves the picture shown.
    bool Decode(const uint8_t* data, size_t size, std::string& reason) {
        const int32_t result = decoder_->DecodeFrame(data, int32_t(size));
        if (result != kDecodeOk) {
            reason = DecoderResultText(result);
            return false;
        }
        if (decoder_->GetWidth() != width_ || decoder_->GetHeight() != height_) {
            reason = "a picture of " + std::to_string(decoder_->GetWidth()) + "x" +
                     std::to_string(decoder_->GetHeight()) + ", not " + std::to_string(width_) +
                     "x" + std::to_string(height_);
            return false;
        }
        const PlanarFrame decoded = decoder_->GetPicture();
        if (!decoded.y) {
            reason = "no picture in the frame";
            return false;
        }
        picture_ = decoded;
        return true;
    }
    const PlanarFrame& Picture() const { return picture_; }

  private:
    int32_t width_;
    int32_t height_;
    DecoderInterface* decoder_ = nullptr;
    bool begun_ = false;
    BlackPicture black_;
    PlanarFrame picture_;
};

// The frame loop of every decode. decode(data, size, reason) decodes one
// non-empty frame; show(reason) hands the picture to show to the sink, which
// after a damaged or empty frame is the one before. Counts, times and
// reports damage; fails when no picture at all was decoded.
template <typename DecodeFrame, typename ShowPicture>
bool DecodeFrames(const CompressedInput& input, const std::string& inputName, DecodeFrame&& decode,
                  ShowPicture&& show, const DamageHandler& onDamage, DecodeSummary& summary,
                  std::string& error) {
    std::string reason;
    for (size_t index = 0; index < input.frames.size(); ++index) {
        const AviFrame& frame = input.frames[index];
        if (frame.size > 0) {
            const double start = Now();
            const bool decoded = decode(&input.bytes[frame.offset], size_t(frame.size), reason);
            summary.seconds += Now() - start;
            if (decoded) {
                ++summary.decoded;
            } else {
                ++summary.damaged;
                if (!onDamage(int64_t(index) + 1, reason)) {
                    error = inputName + ": picture " + std::to_string(index + 1) + ": " + reason;
                    return false;
                }
            }
        }
        if (!show(reason)) {
            error = reason;
            return false;
        }
        ++summary.frames;
    }
    if (summary.decoded > 0) return true;
    error = inputName + ": no picture could be decoded";
    return false;
}

}  // namespace

bool DecodeToPlanar(const CompressedInput& input, const std::string& inputName,
                    const PictureSink& sink, const DamageHandler& onDamage, DecodeSummary& summary,
                    std::string& error) {
    summary = DecodeSummary{};
    PlanarDecoderSession session(input.width, input.height);
    if (!session.Begin(error)) {
        error = inputName + ": " + error;
        return false;
    }
    return DecodeFrames(
        input, inputName,
        [&](const uint8_t* data, size_t size, std::string& reason) {
            return session.Decode(data, size, reason);
        },
        [&](std::string& reason) { return sink(session.Picture(), reason); }, onDamage, summary,
        error);
}

bool DecodeToRgb(const CompressedInput& input, const std::string& inputName, const RgbSink& sink,
                 const DamageHandler& onDamage, DecodeSummary& summary, std::string& error) {
    summary = DecodeSummary{};
    DecompressorHost codec;
    if (!codec.Begin(input.width, input.height, error)) {
        error = inputName + ": " + error;
        return false;
    }
    // A frame the driver refuses leaves the DIB as it was: the previous
    // picture, or black before the first.
    return DecodeFrames(
        input, inputName,
        [&](const uint8_t* data, size_t size, std::string& reason) {
            return codec.Decompress(data, uint32_t(size), reason);
        },
        [&](std::string& reason) { return sink(codec.Rgb(), reason); }, onDamage, summary, error);
}

}  // namespace kmqx
