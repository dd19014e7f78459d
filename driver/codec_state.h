#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

constexpr int32_t kDefaultQuality = 8000;
constexpr LRESULT kStateBytes = sizeof(CodecSettings);

// The quantizer a quality maps to (unclamped; the encoder clamps).
int32_t QuantizerForQuality(int32_t quality);

// ICM_SETQUALITY: rebuilds the whole settings record from the quality.
LRESULT SetQuality(DriverInstance* instance, int32_t quality);
LRESULT GetQuality(const DriverInstance* instance, int32_t* quality);
LRESULT GetDefaultQuality(int32_t* quality);

// ICM_GETSTATE / ICM_SETSTATE with the 40-byte CodecSettings blob.
LRESULT GetState(const DriverInstance* instance, void* buffer, size_t bufferBytes);
LRESULT SetState(DriverInstance* instance, const void* blob, size_t blobBytes);

// Hands every setting the encoder takes to it, in the encoder's order.
void PushSettings(const CodecSettings& settings, EncoderInterface& encoder);

}  // namespace kmqx
