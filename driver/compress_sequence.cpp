#include "driver/compress_sequence.h"

#include <algorithm>
#include <cstddef>
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

// Planar 4:2:0 frames whose sides are whole macroblocks have the layout of
// the encoder's own planes: the encoder reads them where the host put them,
// without a copy.
bool ReadInPlace(const FrameFormat& source) {
    return (source.layout == FrameLayout::kYv12 || source.layout == FrameLayout::kI420) &&
           source.width % 16 == 0 && source.height % 16 == 0;
}

// Hands one source frame to the encoder. The encoder only reads its input
// planes, so the host's (const) frame may stand in for them.
void SetEncoderInput(EncoderInterface& encoder, const uint8_t* input, const FrameFormat& source,
                     uint8_t* workBuffer) {
    if (!ReadInPlace(source)) {
        const PlanarFrame frame = WorkBufferFrame(workBuffer, source.width, source.height);
        ConvertToPlanar(input, frame, source);
        encoder.SetPicture(frame);
        return;
    }
    uint8_t* luma = const_cast<uint8_t*>(input);
    const size_t area = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
    uint8_t* first = luma + area;
    uint8_t* second = first + area / 4;
    const bool uFirst = source.layout == FrameLayout::kI420;
    encoder.SetInputY(luma);
    encoder.SetInputCb(uFirst ? first : second);
    encoder.SetInputCr(uFirst ? second : first);
}

// Gives the encoder its own input planes back after a frame read in place.
void ReleaseEncoderInput(EncoderInterface& encoder, const FrameFormat& source) {
    if (!ReadInPlace(source)) return;
    encoder.SetInputY(nullptr);
    encoder.SetInputCb(nullptr);
    encoder.SetInputCr(nullptr);
}

// The frame rate as the two signed 32-bit values the encoder takes.
void EncoderFrameRate(DWORD rate, DWORD scale, int32_t& numerator, int32_t& denominator) {
    while (rate > DWORD(INT32_MAX) || scale > DWORD(INT32_MAX)) {
        rate = rate / 2 + rate % 2;
        scale = scale / 2 + scale % 2;
    }
    numerator = int32_t(rate);
    denominator = int32_t(scale);
}

// Hands the instance's data rate to the encoder (0 switches rate control off).
int32_t PushDataRate(const DriverInstance& instance, EncoderInterface& encoder) {
    if (instance.dataRate <= 0) return encoder.SetRateControl(0, 1, 1);
    int32_t numerator, denominator;
    EncoderFrameRate(instance.frameRate, instance.frameScale, numerator, denominator);
    return encoder.SetRateControl(int64_t{instance.dataRate} * 8, numerator, denominator);
}

bool IsLiveEncoder(const DriverInstance& instance) {
    return instance.encoder && instance.compressState == kSequenceRunning;
}

}  // namespace

LRESULT CompressFramesInfo(DriverInstance* instance, const ICCOMPRESSFRAMES* info,
                           size_t infoBytes) {
    if (!instance || instance->compressorKind != kCompressorKindH263) return ICERR_UNSUPPORTED;
    // Everything up to the frame scale is read.
    constexpr size_t kFieldsRead = offsetof(ICCOMPRESSFRAMES, dwOverheadPerFrame);
    if (!info || infoBytes < kFieldsRead) return ICERR_BADPARAM;
    if (info->lDataRate < 0 || info->lKeyRate < 0) return ICERR_BADPARAM;
    DriverInstance asked = *instance;
    asked.dataRate = info->lDataRate;
    asked.frameRate = info->dwRate;
    asked.frameScale = info->dwScale;
    asked.keyRate = info->lKeyRate;
    // A data rate needs a frame rate to be shared out over the frames.
    if (asked.dataRate > 0) {
        int32_t numerator, denominator;
        EncoderFrameRate(asked.frameRate, asked.frameScale, numerator, denominator);
        if (!IsUsableRate(int64_t{asked.dataRate} * 8, numerator, denominator))
            return ICERR_BADPARAM;
    }
    if (IsLiveEncoder(*instance) && PushDataRate(asked, *instance->encoder) != kEncodeOk)
        return ICERR_BADPARAM;
    *instance = asked;
    return ICERR_OK;
}

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
    PushDataRate(*instance, *encoder);  // checked when it was asked for
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
    instance->framesSinceKey = 0;
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

    EncoderInterface& encoder = *instance->encoder;
    SetEncoderInput(encoder, static_cast<const uint8_t*>(request->lpInput), source,
                    instance->workBuffer);
    // The host's output buffer is as large as ICM_COMPRESS_GET_SIZE said.
    const int32_t capacity = CompressedFrameCapacity(input);
    encoder.SetOutputCapacity(capacity);
    // The most bytes the host wants for this frame. Hosts send huge values
    // to mean "no limit": anything the output holds anyway is none.
    const DWORD frameSize = request->dwFrameSize;
    encoder.SetFrameSizeLimit(frameSize != 0 && frameSize < DWORD(capacity) ? int32_t(frameSize)
                                                                            : 0);
    const bool keyFrameDue =
        instance->keyRate > 0 && instance->framesSinceKey + 1 >= instance->keyRate;
    bool keyFrameAsked = request->dwFlags != 0 || keyFrameDue;
    const int32_t encoded =
        encoder.EncodeFrame(static_cast<uint8_t*>(request->lpOutput), keyFrameAsked ? 1 : 0);
    ReleaseEncoderInput(encoder, source);
    if (encoded != kEncodeOk) {
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
    instance->framesSinceKey =
        encoder.LastPictureWasIntra() ? 0 : std::min(instance->framesSinceKey, INT32_MAX - 1) + 1;

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
    // What the host asked of the sequence ends with it.
    instance->dataRate = 0;
    instance->frameRate = instance->frameScale = 0;
    instance->keyRate = 0;
    FreeWorkBuffer(instance);
    return ICERR_OK;
}

}  // namespace kmqx
