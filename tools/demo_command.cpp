#include <cmath>
#include <cstdio>

#include "tools/commands.h"
#include "tools/sessions.h"
#include "tools/test_sequence.h"

namespace kmqx {
namespace {

constexpr int32_t kWidth = 352;
constexpr int32_t kHeight = 288;

// Hands out the pre-rendered frames of the built-in sequence as YV12, so
// that the encoding time is the codec's and not the renderer's.
class DemoSource : public FrameSource {
  public:
    explicit DemoSource(const std::vector<std::vector<uint8_t>>& frames) : frames_(frames) {}
    ReadStatus Next(std::vector<uint8_t>& frame, std::string&) override {
        if (next_ == frames_.size()) return ReadStatus::kEnd;
        Y4mFrameToYv12(frames_[next_++].data(), kWidth, kHeight, frame);
        return ReadStatus::kFrame;
    }

  private:
    const std::vector<std::vector<uint8_t>>& frames_;
    size_t next_ = 0;
};

double SquaredError(const uint8_t* a, const uint8_t* b, size_t size) {
    double sum = 0;
    for (size_t i = 0; i < size; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    return sum;
}

double Psnr(double squaredError, double samples) {
    if (squaredError == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * samples / squaredError);
}

}  // namespace

int RunDemoCommand(const std::vector<std::string>& args) {
    int32_t frames = 125;
    int64_t bitsPerSecond = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--frames" && i + 1 < args.size()) {
            if (!ParseInt(args[++i], 1, 100000, frames))
                return Fail("demo: bad frame count '" + args[i] + "'");
        } else if (args[i] == "--bitrate" && i + 1 < args.size()) {
            if (!ParseBitRate(args[++i], bitsPerSecond))
                return Fail("demo: bad bit rate '" + args[i] + "' (bits a second, as 256k)");
        } else {
            return Fail("demo: unknown argument " + args[i]);
        }
    }
    EncodeJob job;
    job.inputName = "built-in test sequence";
    job.outputPath = "demo.avi";
    FindSourceFormat("yv12", job.format);
    job.width = kWidth;
    job.height = kHeight;
    job.rate = {25, 1};
    job.keyInterval = 50;
    job.progress = true;
    job.settings.bitsPerSecond = bitsPerSecond;
    std::vector<std::vector<uint8_t>> source(static_cast<size_t>(frames));
    const TestSequence sequence(kWidth, kHeight);
    for (int32_t i = 0; i < frames; ++i) sequence.Render(i, source[size_t(i)]);
    DemoSource demoSource(source);
    EncodeSummary encoded;
    std::string error;
    if (!RunEncode(job, demoSource, encoded, error)) return Fail(error);

    CompressedInput input;
    if (!LoadCompressedInput("demo.avi", input, error)) return Fail("demo.avi: " + error);
    Y4mWriter writer;
    Y4mHeader header;
    header.width = kWidth;
    header.height = kHeight;
    header.rate = job.rate;
    if (!writer.Open("demo.y4m", header, error)) return Fail("demo.y4m: " + error);
    const size_t lumaSize = size_t(kWidth) * kHeight, chromaSize = lumaSize / 4;
    double errors[3] = {0, 0, 0};
    size_t index = 0;
    DecodeSummary decoded;
    const bool ok = DecodeToPlanar(
        input, "demo.avi",
        [&](const PlanarFrame& picture, std::string& reason) {
            const uint8_t* original = source.at(index++).data();
            errors[0] += SquaredError(picture.y, original, lumaSize);
            errors[1] += SquaredError(picture.cb, original + lumaSize, chromaSize);
            errors[2] += SquaredError(picture.cr, original + lumaSize + chromaSize, chromaSize);
            if (writer.WriteFrame(picture, reason)) return true;
            reason = "demo.y4m: " + reason;
            return false;
        },
        [](int64_t, const std::string&) { return false; },  // our own file: no damage expected
        decoded, error);
    if (!ok || !writer.Commit(error)) return Fail(error);

    const double n = double(encoded.frames);
    std::printf("demo: %lld frames of %dx%d at 25 frames/s, key frame every %d\n",
                (long long)encoded.frames, kWidth, kHeight, job.keyInterval);
    std::printf("  demo.avi   %llu bytes of pictures, %s%s\n", (unsigned long long)encoded.bytes,
                FormatKilobits(encoded.bytes * 8.0 * 25 / n).c_str(),
                bitsPerSecond > 0
                    ? (" (target " + FormatKilobits(double(bitsPerSecond)) + ")").c_str()
                    : "");
    std::printf("  PSNR       Y %.2f dB, Cb %.2f dB, Cr %.2f dB\n", Psnr(errors[0], n * lumaSize),
                Psnr(errors[1], n * chromaSize), Psnr(errors[2], n * chromaSize));
    std::printf("  encoding   %.1f frames/s (through DriverProc, writing included)\n",
                encoded.seconds > 0 ? n / encoded.seconds : 0.0);
    std::printf("  decoding   %.1f pictures/s\n",
                decoded.seconds > 0 ? decoded.frames / decoded.seconds : 0.0);
    std::printf("  demo.y4m   the decoded pictures\n");
    return 0;
}

}  // namespace kmqx
