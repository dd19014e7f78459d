#include "driver/codec_state.h"

#include <cstring>

namespace kmqx {
namespace {

// The blob is little-endian on every host this driver runs on (x86); the
// explicit byte order keeps stored blobs portable all the same.
void StoreValues(const CodecSettings& settings, uint8_t* out) {
    const int32_t values[10] = {settings.codecVersion, settings.paramA, settings.paramB,
                                settings.paramC,       settings.paramD, settings.paramE,
                                settings.paramF,       settings.paramG, settings.quantNormal,
                                settings.quantKey};
    for (int i = 0; i < 10; ++i) {
        uint32_t value = static_cast<uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b) out[i * 4 + b] = static_cast<uint8_t>(value >> (8 * b));
    }
}

CodecSettings LoadValues(const uint8_t* in) {
    int32_t values[10];
    for (int i = 0; i < 10; ++i) {
        uint32_t value = 0;
        for (int b = 0; b < 4; ++b) value |= static_cast<uint32_t>(in[i * 4 + b]) << (8 * b);
        values[i] = static_cast<int32_t>(value);
    }
    return CodecSettings{values[0], values[1], values[2], values[3], values[4],
                         values[5], values[6], values[7], values[8], values[9]};
}

bool HoldsLiveEncoder(const DriverInstance* instance) {
    return instance->encoder && instance->compressState == kSequenceRunning;
}

}  // namespace

int32_t QuantizerForQuality(int32_t quality) {
    // ICQUALITY_DEFAULT asks for the default, not for the 16-bit value 65535
    // (which would give the finest quantizer and the largest frames).
    if (quality == ICQUALITY_DEFAULT) quality = kDefaultQuality;
    int32_t q = static_cast<int32_t>(static_cast<uint32_t>(quality) & 0xFFFFu);
    return (10000 - q) / 500 + 2;
}

LRESULT SetQuality(DriverInstance* instance, int32_t quality) {
    int32_t quantizer = QuantizerForQuality(quality);
    CodecSettings settings{1, 0, 0, 0, 0, 0, 0, 0, quantizer, quantizer};
    instance->quality = quality;
    uint8_t blob[kStateBytes];
    StoreValues(settings, blob);
    SetState(instance, blob, sizeof(blob));
    return ICERR_OK;
}

LRESULT GetQuality(const DriverInstance* instance, int32_t* quality) {
    if (!quality) return ICERR_ERROR;
    *quality = instance->quality;
    return ICERR_OK;
}

LRESULT GetDefaultQuality(int32_t* quality) {
    if (!quality) return ICERR_ERROR;
    *quality = kDefaultQuality;
    return ICERR_OK;
}

LRESULT GetState(const DriverInstance* instance, void* buffer, size_t bufferBytes) {
    if (!buffer || bufferBytes == 0) return kStateBytes;
    if (bufferBytes < static_cast<size_t>(kStateBytes)) return 0;
    StoreValues(instance->settings, static_cast<uint8_t*>(buffer));
    return kStateBytes;
}

LRESULT SetState(DriverInstance* instance, const void* blob, size_t blobBytes) {
    if (!blob || blobBytes == 0) return kStateBytes;
    if (blobBytes < static_cast<size_t>(kStateBytes)) return 0;
    instance->settings = LoadValues(static_cast<const uint8_t*>(blob));
    if (!HoldsLiveEncoder(instance)) return 0;
    PushSettings(instance->settings, *instance->encoder);
    return kStateBytes;
}

void PushSettings(const CodecSettings& settings, EncoderInterface& encoder) {
    encoder.SetCodecVersion(settings.codecVersion);
    encoder.SetParamA(settings.paramA);
    encoder.SetParamB(settings.paramB);
    encoder.SetParamC(settings.paramC);
    encoder.SetParamD(settings.paramD);
    encoder.SetParamE(settings.paramE);
    encoder.SetParamF(settings.paramF);
    encoder.SetQuantNormal(settings.quantNormal);
    encoder.SetQuantKey(settings.quantKey);
}

}  // namespace kmqx
