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
    if (!codec.Begin(job.format, job.width, job.height, job.settings, reason)) {
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

// Shared by the two decode loops: counts, reports damage, and ends the
// decode as a whole.
class DecodeProgress {
  public:
    DecodeProgress(const std::string& inputName, const DamageHandler& onDamage,
                   DecodeSummary& summary, std::string& error)
        : inputName_(inputName), onDamage_(onDamage), summary_(summary), error_(error) {
        summary_ = DecodeSummary{};
    }
    // A frame the decoder rejected; false when the decode is to stop.
    bool Damaged(size_t frameIndex, const std::string& reason) {
        ++summary_.damaged;
        if (onDamage_(int64_t(frameIndex) + 1, reason)) return true;
        error_ = inputName_ + ": picture " + std::to_string(frameIndex + 1) + ": " + reason;
        return false;
    }
    void Decoded() { ++summary_.decoded; }
    void Timed(double seconds) { summary_.seconds += seconds; }
    bool Written(bool ok, const std::string& reason) {
        if (!ok) error_ = reason;
        summary_.frames += ok ? 1 : 0;
        return ok;
    }
    bool Finish() {
        if (summary_.decoded > 0) return true;
        error_ = inputName_ + ": no picture could be decoded";
        return false;
    }

  private:
    const std::string& inputName_;
    const DamageHandler& onDamage_;
    DecodeSummary& summary_;
    std::string& error_;
};

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

}  // namespace

bool DecodeToPlanar(const CompressedInput& input, const std::string& inputName,
                    const PictureSink& sink, const DamageHandler& onDamage, DecodeSummary& summary,
                    std::string& error) {
    DecodeProgress progress(inputName, onDamage, summary, error);
    const CodecFactory& factory = BuiltInCodecFactory();
    DecoderInterface* decoder = factory.createDecoder();
    if (!decoder) {
        error = inputName + ": out of memory";
        return false;
    }
    std::unique_ptr<DecoderInterface, void (*)(DecoderInterface*)> owner(decoder,
                                                                         factory.destroyDecoder);
    if (decoder->BeginDecompress() != kDecodeOk) {
        error = inputName + ": the decoder cannot begin";
        return false;
    }
    const BlackPicture black(input.width, input.height);
    PlanarFrame picture = black.frame;
    std::string reason;
    bool ok = true;
    for (size_t index = 0; ok && index < input.frames.size(); ++index) {
        const AviFrame& frame = input.frames[index];
        if (frame.size > 0) {
            const double start = Now();
            const int32_t result =
                decoder->DecodeFrame(&input.bytes[frame.offset], int32_t(frame.size));
            progress.Timed(Now() - start);
            const PlanarFrame decoded = result == kDecodeOk ? decoder->GetPicture() : PlanarFrame{};
            if (result != kDecodeOk) {
                ok = progress.Damaged(index, DecoderResultText(result));
            } else if (decoder->GetWidth() != input.width || decoder->GetHeight() != input.height) {
                ok = progress.Damaged(index, "a picture of " + std::to_string(decoder->GetWidth()) +
                                                 "x" + std::to_string(decoder->GetHeight()) +
                                                 ", not " + std::to_string(input.width) + "x" +
                                                 std::to_string(input.height));
            } else if (!decoded.y) {
                ok = progress.Damaged(index, "no picture in the frame");
            } else {
                picture = decoded;
                progress.Decoded();
            }
        }
        ok = ok && progress.Written(sink(picture, reason), reason);
    }
    decoder->EndDecompress();
    return ok && progress.Finish();
}

bool DecodeToRgb(const CompressedInput& input, const std::string& inputName, const RgbSink& sink,
                 const DamageHandler& onDamage, DecodeSummary& summary, std::string& error) {
    DecodeProgress progress(inputName, onDamage, summary, error);
    std::string reason;
    DecompressorHost codec;
    if (!codec.Begin(input.width, input.height, reason)) {
        error = inputName + ": " + reason;
        return false;
    }
    // A frame the driver refuses leaves the DIB as it was: the previous
    // picture, or black before the first.
    bool ok = true;
    for (size_t index = 0; ok && index < input.frames.size(); ++index) {
        const AviFrame& frame = input.frames[index];
        if (frame.size > 0) {
            const double start = Now();
            const bool decoded = codec.Decompress(&input.bytes[frame.offset], frame.size, reason);
            progress.Timed(Now() - start);
            if (decoded)
                progress.Decoded();
            else
                ok = progress.Damaged(index, reason);
        }
        ok = ok && progress.Written(sink(codec.Rgb(), reason), reason);
    }
    return ok && progress.Finish();
}

}  // namespace kmqx
