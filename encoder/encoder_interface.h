#pragma once
#include <cstdint>

#include "common/planar_frame.h"

namespace kmqx {

// Encoder results.
constexpr int32_t kEncodeOk = 0;
constexpr int32_t kEncodeOutOfMemory = 2;
constexpr int32_t kEncodeNotInitialised = 3;
constexpr int32_t kEncodeAlreadyInitialised = 4;
constexpr int32_t kEncodeOutputTooSmall = 5;  // nothing usable was written
constexpr int32_t kEncodeBadSize = 6;         // Init: outside 1..4095 x 1..4095
constexpr int32_t kEncodeBadRate = 7;         // SetRateControl: a rate it cannot use

// The rates SetRateControl accepts: 1 to 10^12 bits a second, at a frame
// rate (numerator / denominator pictures a second, both positive) between
// one picture in 10^6 seconds and 10^6 pictures a second.
inline bool IsUsableRate(int64_t bitsPerSecond, int32_t numerator, int32_t denominator) {
    if (bitsPerSecond < 1 || bitsPerSecond > 1000000000000 || numerator <= 0 || denominator <= 0)
        return false;
    const double picturesPerSecond = double(numerator) / double(denominator);
    return picturesPerSecond >= 1e-6 && picturesPerSecond <= 1e6;
}

// The encoder's abstract interface. The slot order is fixed: the driver calls
// by slot. No virtual destructor: the owner destroys the concrete object.
class EncoderInterface {
  public:
    virtual int32_t Init(int32_t width, int32_t height) = 0;                  // 0
    virtual int32_t Release() = 0;                                            // 1
    virtual int32_t EncodeFrame(uint8_t* output, int32_t keyFrame) = 0;       // 2
    virtual void SetPicture(const PlanarFrame& source) = 0;                   // 3
    virtual void SetInputY(uint8_t* plane) = 0;                               // 4
    virtual void SetInputCb(uint8_t* plane) = 0;                              // 5
    virtual void SetInputCr(uint8_t* plane) = 0;                              // 6
    virtual int32_t GetCompressedSize() = 0;                                  // 7
    virtual int32_t GetPictureBufferSize(int32_t width, int32_t height) = 0;  // 8
    virtual void Reserved9(int32_t) = 0;                                      // 9
    virtual void Reserved10(int32_t) = 0;                                     // 10
    virtual void SetGobHeaderInterval(int32_t n) = 0;                         // 11
    virtual void Reserved12(int32_t) = 0;                                     // 12
    virtual void Reserved13(int32_t) = 0;                                     // 13
    virtual void Reserved14(int32_t) = 0;                                     // 14
    virtual void SetQuantNormal(int32_t q) = 0;                               // 15
    virtual void SetQuantKey(int32_t q) = 0;                                  // 16
    virtual void SetCodecVersion(int32_t v) = 0;                              // 17
    virtual void SetParamF(int32_t value) = 0;                                // 18
    virtual void SetParamE(int32_t value) = 0;                                // 19
    virtual void SetParamD(int32_t value) = 0;                                // 20
    virtual void SetParamC(int32_t value) = 0;                                // 21
    virtual void SetParamB(int32_t value) = 0;                                // 22
    virtual void SetParamA(int32_t value) = 0;                                // 23

    // Extensions after the fixed slots. The output capacity bounds every
    // EncodeFrame (0 = none set: EncodeFrame refuses to write); a picture
    // that cannot be made to fit yields kEncodeOutputTooSmall.
    virtual void SetOutputCapacity(int32_t bytes) = 0;  // 24
    virtual int32_t LastPictureWasIntra() = 0;          // 25
    // Rate control: bitsPerSecond at numerator / denominator pictures a
    // second chooses every picture's quantiser (the normal and key
    // quantisers then go unused); 0 bits switches it off. kEncodeBadRate,
    // and no change, for a rate or frame rate it cannot use. The setting
    // survives Release and Init; each Init starts an empty buffer.
    virtual int32_t SetRateControl(int64_t bitsPerSecond, int32_t numerator,
                                   int32_t denominator) = 0;  // 26
    // The most bytes each following picture may take (0: no limit beyond
    // the output capacity). A picture that would take more is coded again,
    // coarser, as if the first coding had not happened; an INTER picture
    // that cannot fit even so has every macroblock skipped, and an INTRA one
    // goes out at the coarsest quantiser within the output capacity.
    virtual void SetFrameSizeLimit(int32_t bytes) = 0;  // 27

  protected:
    ~EncoderInterface() = default;
};

}  // namespace kmqx
