#pragma once
#include <cstdint>

namespace kmqx {

// The 40-byte settings record exchanged with hosts by ICM_GETSTATE and
// ICM_SETSTATE: ten signed 32-bit little-endian values. Hosts store the blob
// and hand it back later, so the layout never changes.
struct CodecSettings {
    int32_t codecVersion;
    int32_t paramA;
    int32_t paramB;
    int32_t paramC;
    int32_t paramD;
    int32_t paramE;
    int32_t paramF;
    int32_t paramG;
    int32_t quantNormal;
    int32_t quantKey;
};

static_assert(sizeof(CodecSettings) == 40, "the state blob is 40 bytes");

}  // namespace kmqx
