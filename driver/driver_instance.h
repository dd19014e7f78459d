#pragma once
#include <cstddef>
#include <cstdint>

#include "common/codec_settings.h"
#include "decoder/decoder_interface.h"
#include "encoder/encoder_interface.h"
#include "platform/platform.h"

namespace kmqx {

struct CodecFactory;

// Sequence states, the same numbers for compression and decompression.
constexpr int32_t kSequenceReady = 0;
constexpr int32_t kSequenceRunning = 1;
constexpr int32_t kSequenceEnded = 2;
constexpr int32_t kSequenceUnavailable = 3;

// compressorKind of an instance opened for compression.
constexpr int32_t kCompressorKindH263 = 2;

// The identifier DRV_OPEN returns when it is given no open parameters. It
// names no instance.
constexpr DWORD_PTR kConfigInstanceId = 0xFFFF0000u;

// One record per successful open; its address is the host's driver
// identifier. Allocated zero-filled with LocalAlloc.
struct DriverInstance {
    DecoderInterface* decoder;
    EncoderInterface* encoder;
    uint8_t* workBuffer;
    int32_t quality;
    int32_t compressState;
    int32_t decompressState;
    CodecSettings settings;
    int32_t compressorKind;

    // Where the codec objects come from (the built-in codec, or a test's).
    const CodecFactory* factory;
    // The picture size of the running compression sequence; frames of
    // another size are refused rather than overrunning the work buffer.
    int32_t beginWidth;
    int32_t beginHeight;
    size_t workBufferBytes;
    // Set by a begin that created an encoder, cleared when creating one
    // failed: only then may a frame begin a new sequence by itself.
    bool encoderCreated;
    // Set by ICM_DECOMPRESS_END: the decoder's sequence is still open, with
    // its last picture as the reference for a begin of the same size.
    bool decoderSequenceKept;

    // What ICM_COMPRESS_FRAMES_INFO asked of the compression sequence, kept
    // until ICM_COMPRESS_END: the data rate in bytes a second (0: none) at
    // frameRate / frameScale frames a second, and the most frames from one
    // key frame to the next (0: no such rule).
    int32_t dataRate;
    DWORD frameRate;
    DWORD frameScale;
    int32_t keyRate;
    // Frames coded since the last key frame.
    int32_t framesSinceKey;
};

// The instance a driver identifier names, or null for 0 and kConfigInstanceId.
inline DriverInstance* InstanceFromId(DWORD_PTR driverId) {
    if (driverId == 0 || driverId == kConfigInstanceId) return nullptr;
    return reinterpret_cast<DriverInstance*>(driverId);
}

}  // namespace kmqx
