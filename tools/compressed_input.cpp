#include "tools/compressed_input.h"

#include "common/h263_syntax.h"
#include "decoder/decoder.h"
#include "tools/codec_host.h"
#include "tools/file_io.h"

namespace kmqx {
namespace {

// Frame sizes reach the decoder as signed 32-bit counts.
constexpr size_t kMaxInputBytes = 0x7FFFFFFF;

// The size of the first picture the decoder accepts: the size of the
// sequence, exactly as the decoder will see it, read from the picture
// headers without decoding a picture. False when it accepts none.
bool FirstDecodedPictureSize(const CompressedInput& input, int32_t& width, int32_t& height) {
    Decoder decoder;
    for (const AviFrame& frame : input.frames)
        if (decoder.ReadSequenceSize(&input.bytes[frame.offset], int32_t(frame.size), &width,
                                     &height))
            return true;
    return false;
}

}  // namespace

bool LoadCompressedInput(const std::string& path, CompressedInput& input, std::string& error) {
    input = CompressedInput{};
    if (!ReadWholeFile(path, kMaxInputBytes, input.bytes, error)) return false;
    const std::vector<uint8_t>& bytes = input.bytes;
    if (bytes.size() >= 4 && bytes[0] == 'R' && bytes[1] == 'I' && bytes[2] == 'F' &&
        bytes[3] == 'F') {
        AviVideoStream stream;
        if (!ParseAvi(bytes, CodecFourCC(), stream, error)) return false;
        input.isAvi = true;
        input.frames = std::move(stream.frames);
        input.width = stream.width;
        input.height = stream.height;
        input.rate = stream.rate;
    } else {
        input.frames = SplitH263Pictures(bytes);
        if (input.frames.empty()) {
            error = "neither an AVI file nor an H.263 stream (no picture start code)";
            return false;
        }
        // Whatever the decoder accepts, the tool accepts: the size is that of
        // the first picture it decodes.
        if (!FirstDecodedPictureSize(input, input.width, input.height)) {
            error = "no picture could be decoded";
            return false;
        }
        input.rate = {30000, 1001};  // the H.263 picture clock
    }
    if (input.width <= 0 || input.height <= 0 || input.width > kMaxPictureDimension ||
        input.height > kMaxPictureDimension) {
        error = "unsupported picture size " + std::to_string(input.width) + "x" +
                std::to_string(input.height);
        return false;
    }
    if (input.frames.empty()) {
        error = "no frames";
        return false;
    }
    return true;
}

}  // namespace kmqx
