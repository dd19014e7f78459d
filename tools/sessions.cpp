#include "tools/sessions.h"

#include <unistd.h>

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

bool DecodeToPlanar(const CompressedInput& input, const std::string& inputName,
                    const PictureSink& sink, DecodeSummary& summary, std::string& error) {
    summary = DecodeSummary{};
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
    bool havePicture = false;
    PlanarFrame picture{};
    std::string reason;
    for (const AviFrame& frame : input.frames) {
        if (frame.size > 0) {
            const double start = Now();
            const int32_t result =
                decoder->DecodeFrame(&input.bytes[frame.offset], int32_t(frame.size));
            summary.seconds += Now() - start;
            if (result != kDecodeOk) {
                error = inputName + ": picture " + std::to_string(summary.frames + 1) +
                        " rejected by the decoder (result " + std::to_string(result) + ")";
                decoder->EndDecompress();
                return false;
            }
            if (decoder->GetWidth() != input.width || decoder->GetHeight() != input.height) {
                error = inputName + ": picture " + std::to_string(summary.frames + 1) + " is " +
                        std::to_string(decoder->GetWidth()) + "x" +
                        std::to_string(decoder->GetHeight()) + ", not " +
                        std::to_string(input.width) + "x" + std::to_string(input.height);
                decoder->EndDecompress();
                return false;
            }
            picture = decoder->GetPicture();
            havePicture = true;
        }
        // An empty first frame has nothing to repeat; it is skipped.
        if (!havePicture) continue;
        if (!sink(picture, reason)) {
            error = reason;
            decoder->EndDecompress();
            return false;
        }
        ++summary.frames;
    }
    decoder->EndDecompress();
    return true;
}

bool DecodeToRgb(const CompressedInput& input, const std::string& inputName, const RgbSink& sink,
                 DecodeSummary& summary, std::string& error) {
    summary = DecodeSummary{};
    std::string reason;
    DecompressorHost codec;
    if (!codec.Begin(input.width, input.height, reason)) {
        error = inputName + ": " + reason;
        return false;
    }
    bool havePicture = false;
    for (const AviFrame& frame : input.frames) {
        if (frame.size > 0) {
            const double start = Now();
            const bool decoded = codec.Decompress(&input.bytes[frame.offset], frame.size, reason);
            summary.seconds += Now() - start;
            if (!decoded) {
                error =
                    inputName + ": picture " + std::to_string(summary.frames + 1) + ": " + reason;
                return false;
            }
            havePicture = true;
        }
        if (!havePicture) continue;
        if (!sink(codec.Rgb(), reason)) {
            error = reason;
            return false;
        }
        ++summary.frames;
    }
    return true;
}

}  // namespace kmqx
