#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/planar_frame.h"
#include "tools/codec_host.h"
#include "tools/compressed_input.h"
#include "tools/raw_frames.h"
#include "tools/y4m.h"

namespace kmqx {

// Where the frames of an encode come from, in the source format of the job.
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    virtual ReadStatus Next(std::vector<uint8_t>& frame, std::string& error) = 0;
};

struct EncodeJob {
    std::string inputName;   // for messages
    std::string outputPath;  // ".263": raw pictures; otherwise AVI
    SourceFormat format{};
    int32_t width = 0;
    int32_t height = 0;
    FrameRate rate;
    CompressionSettings settings;
    int32_t keyInterval = 0;  // 0: only the first frame is requested as key
    bool progress = false;    // a progress line on standard error
};

struct EncodeSummary {
    int64_t frames = 0;
    int64_t keyFrames = 0;
    uint64_t bytes = 0;
    uint32_t largestFrame = 0;  // bytes
    double seconds = 0;         // coding time, reading and writing included
};

// Compresses every frame of source through the driver and writes the
// output; a data rate in the settings is shared out at the job's frame rate. On failure error names
// the file concerned and no output is left.
bool RunEncode(const EncodeJob& job, FrameSource& source, EncodeSummary& summary,
               std::string& error);

// Whether a name asks for a raw H.263 stream rather than an AVI file.
bool IsRawStreamName(const std::string& path);

struct DecodeSummary {
    int64_t frames = 0;   // pictures handed to the sink, repeats included
    int64_t decoded = 0;  // of those, pictures the decoder decoded
    int64_t damaged = 0;  // frames the decoder rejected
    double seconds = 0;   // decoding alone
};

using PictureSink = std::function<bool(const PlanarFrame& picture, std::string& error)>;
using RgbSink = std::function<bool(const uint8_t* dib, std::string& error)>;
// Told of each frame the decoder rejects: its number in the input (from 1)
// and why. Returns whether to go on; false ends the decode as failed.
using DamageHandler = std::function<bool(int64_t frameNumber, const std::string& reason)>;

// Decodes every frame as far as it can, like a player: each picture goes to
// the sink (input.width x input.height), and a frame that is empty or that
// the decoder rejects repeats the previous picture, so that the timeline is
// kept; before the first decoded picture that is a black one. Fails when no
// picture at all could be decoded, or when onDamage says to stop. Reads the
// decoder's own planes rather than going through the driver, whose YUV
// destinations need even sizes: Y4M carries pictures of any size.
bool DecodeToPlanar(const CompressedInput& input, const std::string& inputName,
                    const PictureSink& sink, const DamageHandler& onDamage, DecodeSummary& summary,
                    std::string& error);

// The same through ICM_DECOMPRESS into 24-bit RGB.
bool DecodeToRgb(const CompressedInput& input, const std::string& inputName, const RgbSink& sink,
                 const DamageHandler& onDamage, DecodeSummary& summary, std::string& error);

}  // namespace kmqx
