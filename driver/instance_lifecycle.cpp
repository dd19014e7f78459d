#include "driver/instance_lifecycle.h"

#include "driver/codec_state.h"
#include "driver/compress_sequence.h"
#include "driver/decompress_sequence.h"
#include "driver/instance_registry.h"

namespace kmqx {

DriverInstance* OpenInstance(ICOPEN* open) {
    return OpenInstance(open, BuiltInCodecFactory());
}

DriverInstance* OpenInstance(ICOPEN* open, const CodecFactory& factory) {
    if (!open || open->fccType != ICTYPE_VIDEO) return nullptr;
    auto* instance = static_cast<DriverInstance*>(LocalAlloc(LPTR, sizeof(DriverInstance)));
    if (!instance) {
        open->dwError = ICERR_MEMORY;
        return nullptr;
    }
    instance->factory = &factory;
    switch (open->dwFlags) {
        case ICMODE_COMPRESS:
        case ICMODE_FASTCOMPRESS:
            instance->compressState = kSequenceReady;
            instance->decompressState = kSequenceUnavailable;
            instance->compressorKind = kCompressorKindH263;
            SetQuality(instance, kDefaultQuality);
            break;
        case ICMODE_DECOMPRESS:
        case ICMODE_FASTDECOMPRESS:
            instance->decoder = factory.createDecoder();
            if (!instance->decoder) {
                LocalFree(instance);
                open->dwError = ICERR_MEMORY;
                return nullptr;
            }
            instance->compressState = kSequenceUnavailable;
            instance->decompressState = kSequenceReady;
            break;
        case ICMODE_QUERY:
            instance->compressState = kSequenceUnavailable;
            instance->decompressState = kSequenceUnavailable;
            break;
        default:
            LocalFree(instance);
            open->dwError = ICERR_MEMORY;
            return nullptr;
    }
    open->dwError = ICERR_OK;
    RegistryAdd(instance);
    return instance;
}

void CloseInstance(DriverInstance* instance) {
    if (!instance) return;
    RegistryRemove(instance);
    ReleaseInstance(instance);
}

void ReleaseInstance(DriverInstance* instance) {
    if (!instance) return;
    if (instance->encoder && instance->compressState == kSequenceRunning) CompressEnd(instance);
    if (instance->decoder) {
        ReleaseDecoderSequence(instance);
        instance->factory->destroyDecoder(instance->decoder);
        instance->decoder = nullptr;
    }
    LocalFree(instance);
}

}  // namespace kmqx
