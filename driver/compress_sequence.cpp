#include "driver/compress_sequence.h"

#include <new>

#include "convert/source_conversion.h"
#include "driver/codec_factory.h"
#include "driver/codec_state.h"
#include "driver/format_negotiation.h"
#include "driver/host_formats.h"

namespace kmqx {
namespace {

void DestroyEncoder(DriverInstance* instance) {
    if (!instance->encoder) return;
    instance->factory->destroyEncoder(instance->encoder);
    instance->encoder = nullptr;
}

void FreeWorkBuffer(DriverInstance* instance) {
    delete[] instance->workBuffer;
    instance->workBuffer = nullptr;
    instance->workBufferBytes = 0;
}

// The planes of one width x height frame in the work buffer: Y, then Cr,
// then Cb, each chroma plane A / 4 bytes after its predecessor.
PlanarFrame WorkBufferFrame(uint8_t* buffer, int32_t width, int32_t height) {
    size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
    PlanarFrame frame;
    frame.y = buffer;
    frame.cr = buffer + area;
    frame.cb = buffer + area + area / 4;
    return frame;
}

}  // namespace

LRESULT CompressBegin(DriverInstance* instance, DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed) {
    if (CompressQuery(driverId, source, compressed) != ICERR_OK) return ICERR_BADFORMAT;
    if (!instance) return ICERR_ERROR;
    FrameFormat frame;
    ReadSourceFormat(source, &frame);
    const int32_t width = frame.width;
    const int32_t height = frame.height;

    if (instance->compressState == kSequenceRunning) {
        // The running encoder keeps its picture size; a begin for another
        // size would leave frames and encoder disagreeing.
        if (width != instance->beginWidth || height != instance->beginHeight)
            return ICERR_BADFORMAT;
        return ICERR_OK;
    }

    if (instance->compressorKind != kCompressorKindH263) return ICERR_ERROR;

    // Everything is made first and handed to the instance only when all of
    // it succeeded: a refused begin leaves the instance as it was, so that a
    // later frame can still begin a sequence by itself.
    EncoderInterface* encoder = instance->factory->createEncoder();
    if (!encoder) return ICERR_ERROR;
    PushSettings(instance->settings, *encoder);
    if (encoder->Init(width, height) != kEncodeOk) {
        encoder->Release();
        instance->factory->destroyEncoder(encoder);
        return ICERR_BADFORMAT;  // a size the encoder cannot code
    }
    // Sizes above are at most what the encoder accepts, so this cannot
    // overflow; the buffer holds 2 bytes per pixel as the hosts expect.
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 2;
    auto* workBuffer = new (std::nothrow) uint8_t[bytes];
    if (!workBuffer) {
        encoder->Release();
        instance->factory->destroyEncoder(encoder);
        return ICERR_MEMORY;
    }

    FreeWorkBuffer(instance);
    instance->encoder = encoder;
    instance->encoderCreated = true;
    instance->workBuffer = workBuffer;
    instance->workBufferBytes = bytes;
    instance->beginWidth = width;
    instance->beginHeight = height;
    instance->compressState = kSequenceRunning;
    return ICERR_OK;
}

LRESULT Compress(DriverInstance* instance, DWORD_PTR driverId, ICCOMPRESS* request) {
    if (!request || !instance) return ICERR_ERROR;
    if (!instance->encoderCreated) return ICERR_ERROR;
    if (!request->lpbiInput || !request->lpbiOutput) return ICERR_BADFORMAT;

    // Every check comes before the first change, so that a refused frame
    // leaves the instance as it was. The host owns its format record: it is
    // read, never written.
    const BITMAPINFOHEADER& input = *request->lpbiInput;
    FrameFormat source;
    if (!ReadSourceFormat(&input, &source)) return ICERR_BADFORMAT;
    if (!IsReadableFormat(request->lpbiOutput)) return ICERR_BADFORMAT;
    const int32_t width = source.width;
    const int32_t height = source.height;
    const bool running = instance->compressState == kSequenceRunning;
    // The encoder and the work buffer were sized at the begin.
    if (running && (width != instance->beginWidth || height != instance->beginHeight))
        return ICERR_BADFORMAT;
    if (!request->lpInput || !request->lpOutput) return ICERR_ERROR;

    const DriverInstance before = *instance;
    if (!running) {
        LRESULT begun = CompressBegin(instance, driverId, request->lpbiInput, request->lpbiOutput);
        if (begun != ICERR_OK) return begun;
    }
    if (static_cast<int32_t>(request->dwQuality) != instance->quality)
        SetQuality(instance, static_cast<int32_t>(request->dwQuality));

    PlanarFrame frame = WorkBufferFrame(instance->workBuffer, width, height);
    ConvertToPlanar(static_cast<const uint8_t*>(request->lpInput), frame, source);
    EncoderInterface& encoder = *instance->encoder;
    encoder.SetPicture(frame);
    // The host's output buffer is as large as ICM_COMPRESS_GET_SIZE said.
    encoder.SetOutputCapacity(CompressedFrameCapacity(input));
    bool keyFrameAsked = request->dwFlags != 0;
    if (encoder.EncodeFrame(static_cast<uint8_t*>(request->lpOutput), keyFrameAsked ? 1 : 0) !=
        kEncodeOk) {
        // Undo what this frame changed: the sequence it began, its quality.
        if (!running) {
            encoder.Release();
            DestroyEncoder(instance);
            FreeWorkBuffer(instance);
        } else {
            PushSettings(before.settings, encoder);
        }
        *instance = before;
        return ICERR_ERROR;
    }
    int32_t size = encoder.GetCompressedSize();

    BITMAPINFOHEADER& output = *request->lpbiOutput;
    output.biClrUsed = 0;
    output.biSizeImage = static_cast<DWORD>(size);
    output.biWidth = width;
    output.biHeight = height;
    output.biPlanes = 1;
    // Hosts that write AVI files index key frames from this flag.
    if (request->lpdwFlags) {
        if (encoder.LastPictureWasIntra())
            *request->lpdwFlags |= AVIIF_KEYFRAME;
        else
            *request->lpdwFlags &= ~static_cast<DWORD>(AVIIF_KEYFRAME);
    }
    return ICERR_OK;
}

LRESULT CompressEnd(DriverInstance* instance) {
    if (!instance) return ICERR_ERROR;
    if (instance->compressState == kSequenceRunning) {
        if (instance->encoder) instance->encoder->Release();
        DestroyEncoder(instance);
        instance->compressState = kSequenceEnded;
    }
    FreeWorkBuffer(instance);
    return ICERR_OK;
}

}  // namespace kmqx
