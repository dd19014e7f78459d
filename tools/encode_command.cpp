#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "convert/source_conversion.h"
#include "tools/commands.h"
#include "tools/sessions.h"

namespace kmqx {
namespace {

// Y4M frames of even sizes go to the codec unchanged, as I420; odd sizes
// round their chroma up, which the codec's formats do not, and are
// rewritten as YV12.
class Y4mSource : public FrameSource {
  public:
    explicit Y4mSource(Y4mReader& reader) : reader_(reader) {}
    ReadStatus Next(std::vector<uint8_t>& frame, std::string& error) override {
        const Y4mHeader& header = reader_.Header();
        if (Y4mFramesAreI420(header.width, header.height)) return reader_.ReadFrame(frame, error);
        const ReadStatus status = reader_.ReadFrame(planes_, error);
        if (status == ReadStatus::kFrame)
            Y4mFrameToYv12(planes_.data(), header.width, header.height, frame);
        return status;
    }

  private:
    Y4mReader& reader_;
    std::vector<uint8_t> planes_;
};

class RawSource : public FrameSource {
  public:
    explicit RawSource(RawFrameReader& reader) : reader_(reader) {}
    ReadStatus Next(std::vector<uint8_t>& frame, std::string& error) override {
        return reader_.ReadFrame(frame, error);
    }

  private:
    RawFrameReader& reader_;
};

// The settings fields that single options set, by their index in the record.
const std::map<std::string, int> kFieldOptions = {
    {"--version", 0}, {"--param-a", 1}, {"--param-b", 2},      {"--param-c", 3},   {"--param-d", 4},
    {"--param-e", 5}, {"--param-f", 6}, {"--quant-normal", 8}, {"--quant-key", 9},
};

bool ReadStateBlob(const std::string& path, CodecSettings& state, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, 4096, bytes, error)) return false;
    if (bytes.size() != sizeof state) {
        error = "a settings blob is 40 bytes, this one " + std::to_string(bytes.size());
        return false;
    }
    const uint8_t* p = bytes.data();
    int32_t values[10];
    for (int i = 0; i < 10; ++i, p += 4)
        values[i] = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                            uint32_t(p[3]) << 24);
    std::memcpy(&state, values, sizeof state);
    return true;
}

}  // namespace

int RunEncodeCommand(const std::vector<std::string>& args) {
    EncodeJob job;
    std::vector<std::string> positional;
    std::string sizeText, formatName;
    bool haveRate = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) return Fail("encode: " + arg + " needs a value");
        const std::string& value = args[++i];
        int32_t number = 0;
        if (arg == "--size") {
            sizeText = value;
        } else if (arg == "--format") {
            formatName = value;
        } else if (arg == "--rate") {
            if (!ParseRate(value, job.rate.numerator, job.rate.denominator))
                return Fail("encode: bad frame rate '" + value + "'");
            haveRate = true;
        } else if (arg == "--quality") {
            if (!ParseInt(value, 0, 10000, number))
                return Fail("encode: quality must be 0..10000, not '" + value + "'");
            job.settings.quality = number;
        } else if (arg == "--keyint") {
            if (!ParseInt(value, 0, INT32_MAX, number))
                return Fail("encode: bad key frame interval '" + value + "'");
            job.keyInterval = number;
        } else if (arg == "--bitrate") {
            if (!ParseBitRate(value, job.settings.bitsPerSecond))
                return Fail("encode: bad bit rate '" + value +
                            "' (bits a second, as 64000, 64k or 1M)");
        } else if (arg == "--max-frame-bytes") {
            if (!ParseInt(value, 1, INT32_MAX, number))
                return Fail("encode: bad frame size limit '" + value + "'");
            job.settings.maxFrameBytes = uint32_t(number);
        } else if (arg == "--state") {
            std::string error;
            if (!ReadStateBlob(value, job.settings.state, error)) return Fail(value + ": " + error);
            job.settings.haveState = true;
        } else if (kFieldOptions.count(arg)) {
            if (!ParseInt(value, INT32_MIN, INT32_MAX, number))
                return Fail("encode: " + arg + " needs a number, not '" + value + "'");
            job.settings.fieldOverrides.push_back({kFieldOptions.at(arg), number});
        } else {
            return Fail("encode: unknown option " + arg);
        }
    }
    if (positional.size() != 2) return Fail("encode: needs IN and OUT (kmqx --help)");
    job.inputName = positional[0];
    job.outputPath = positional[1];
    job.progress = true;

    Y4mReader y4m;
    RawFrameReader raw;
    std::unique_ptr<FrameSource> source;
    std::string error;
    if (!sizeText.empty() || !formatName.empty()) {
        if (!ParseFrameSize(sizeText, job.width, job.height))
            return Fail("encode: raw input needs --size WxH, not '" + sizeText + "'");
        if (!FindSourceFormat(formatName, job.format))
            return Fail("encode: --format must be rgb24, yuyv, yv12, i420 or yvu9, not '" +
                        formatName + "'");
        if (!raw.Open(job.inputName, job.format, job.width, job.height, error))
            return Fail(job.inputName + ": " + error);
        source = std::make_unique<RawSource>(raw);
    } else {
        if (!y4m.Open(job.inputName, error)) return Fail(job.inputName + ": " + error);
        job.width = y4m.Header().width;
        job.height = y4m.Header().height;
        if (!haveRate) job.rate = y4m.Header().rate;
        FindSourceFormat(Y4mFramesAreI420(job.width, job.height) ? "i420" : "yv12", job.format);
        source = std::make_unique<Y4mSource>(y4m);
    }

    EncodeSummary summary;
    if (!RunEncode(job, *source, summary, error)) return Fail(error);
    const double fps = double(job.rate.numerator) / job.rate.denominator;
    const double bitsPerSecond = summary.bytes * 8.0 * fps / double(summary.frames);
    std::string target;
    if (job.settings.bitsPerSecond > 0)
        target = " (target " + FormatKilobits(double(job.settings.bitsPerSecond)) + ")";
    std::string limit;
    if (job.settings.maxFrameBytes > 0)
        limit = "; largest frame " + std::to_string(summary.largestFrame) + " bytes (limit " +
                std::to_string(job.settings.maxFrameBytes) + ")";
    std::fprintf(stderr,
                 "%s -> %s: %lld frames (%lld key), %llu bytes, %s%s at %.3g frames/s%s; "
                 "%.2f s, %.1f frames/s\n",
                 job.inputName.c_str(), job.outputPath.c_str(), (long long)summary.frames,
                 (long long)summary.keyFrames, (unsigned long long)summary.bytes,
                 FormatKilobits(bitsPerSecond).c_str(), target.c_str(), fps, limit.c_str(),
                 summary.seconds, summary.seconds > 0 ? summary.frames / summary.seconds : 0.0);
    return 0;
}

}  // namespace kmqx
