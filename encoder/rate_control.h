#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kmqx {

// What the rate control asks of the next picture.
struct PicturePlan {
    int32_t quantizer = 0;
    // The most bits the picture may take (0: no bound), and what a picture
    // coded again for taking more should aim at: less than all of it, so
    // that the pictures after it still find room.
    int64_t maxBits = 0;
    int64_t aimBits = 0;
    // The fewest bits it must take: what it lacks goes out as stuffing.
    int64_t minBits = 0;
    // No room even for the smallest picture: every macroblock is skipped.
    bool skip = false;
};

// Constant-rate control of the picture quantiser, in the manner of the
// H.263 test models (TMN). A virtual buffer fills with each picture's bits
// and drains at the channel rate, one picture's share at a time; each
// picture's target is its share less the buffer's fullness repaid over a
// second, and its quantiser comes from a bits-per-quantiser model,
// bits = X * Q^-g, whose complexity X is measured on the last picture of the
// same type. Key frames may take what the last second left unused, and the
// pictures after them pay it back. Every second of the stream (any run of
// as many pictures as the frame rate gives in a second) carries its rate to
// within 18 %: a picture may take no more than the last second leaves below
// that bound (the encoder codes it again, coarser, or skips it), and must
// take at least what keeps the second above it, with stuffing when the
// content needs fewer bits.
class RateControl {
  public:
    // Switches the control on for bitsPerSecond at numerator / denominator
    // pictures a second, or off when bitsPerSecond is 0. False, and no
    // change, for rates IsUsableRate refuses.
    bool Configure(int64_t bitsPerSecond, int32_t numerator, int32_t denominator);
    bool Active() const { return bitsPerSecond_ > 0; }

    // A new sequence of pictures of the given number of macroblocks and
    // luminance samples: an empty buffer, nothing measured yet.
    void StartSequence(int32_t macroblocks, int64_t lumaSamples);

    // The quantiser and the bounds of the next picture, which the caller
    // may also limit to limitBits (0: no limit of its own).
    PicturePlan Plan(bool intra, int64_t limitBits) const;

    // After the picture was sent: its type, quantiser and bits (stuffing
    // included), and whether every macroblock was skipped.
    void PictureSent(bool intra, int32_t quantizer, int64_t bits, int64_t stuffingBits,
                     bool skipped);

    double BitsPerPicture() const { return bitsPerPicture_; }
    double BufferLevel() const { return buffer_; }

  private:
    int64_t bitsPerSecond_ = 0;
    double bitsPerPicture_ = 0;
    int32_t picturesPerWindow_ = 1;  // a second's worth, at least 1
    int32_t macroblocks_ = 0;
    int64_t lumaSamples_ = 0;

    double buffer_ = 0;  // bits sent minus the channel's share so far
    int64_t picturesSent_ = 0;
    // The bits of the last picturesPerWindow_ - 1 pictures, oldest first
    // from recentNext_, and their sum.
    std::vector<int64_t> recent_;
    size_t recentNext_ = 0;
    int64_t recentBits_ = 0;
    int32_t skippedRun_ = 0;  // pictures skipped since the last one coded
    // The model: complexities of INTER and INTRA pictures (0: none coded
    // yet) and the quantisers last used.
    double interComplexity_ = 0;
    double intraComplexity_ = 0;
    int32_t lastInterQuant_ = 0;
    int32_t lastQuant_ = 0;
    bool lastWasIntra_ = false;
};

}  // namespace kmqx
