#pragma once
#include <cstdint>

#include "common/planar_frame.h"

namespace kmqx {

// Decoder results.
constexpr int32_t kDecodeOk = 0;
constexpr int32_t kDecodeHeaderRejected = 1;
constexpr int32_t kDecodeOutOfMemory = 2;
constexpr int32_t kDecodeNoSequence = 3;
constexpr int32_t kDecodeSequenceRunning = 4;

// The decoder's abstract interface, in its fixed slot order. No virtual
// destructor: the owner destroys the concrete object.
class DecoderInterface {
  public:
    virtual int32_t BeginDecompress() = 0;                               // 0
    virtual int32_t DecodeFrame(const uint8_t* data, int32_t size) = 0;  // 1
    virtual int32_t EndDecompress() = 0;                                 // 2
    virtual PlanarFrame GetPicture() = 0;                                // 3
    virtual int32_t Probe() = 0;                                         // 4
    virtual int32_t GetWidth() = 0;                                      // 5
    virtual int32_t GetHeight() = 0;                                     // 6

  protected:
    ~DecoderInterface() = default;
};

}  // namespace kmqx
