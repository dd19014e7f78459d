#include "driver/decompress_sequence.h"

#include <limits>

#include "convert/output_conversion.h"
#include "driver/format_negotiation.h"
#include "driver/host_formats.h"

namespace kmqx {
namespace {

// Ends the decoder's sequence for good, its reference picture with it.
void EndDecoderSequence(DriverInstance* instance) {
    if (instance->decoder) instance->decoder->EndDecompress();
    instance->decoderSequenceKept = false;
}

// Starts a sequence on the instance's decoder. Says through carriedOn whether
// the begin took up the picture an earlier end kept, rather than starting afresh.
LRESULT BeginSequence(DriverInstance* instance, const BITMAPINFOHEADER* compressed,
                      const BITMAPINFOHEADER* destination, bool* carriedOn) {
    *carriedOn = false;
    // Some hosts (Wine's DirectShow AVI decompressor) pass their compressed
    // input format as the destination: that begin names no destination, and
    // each frame's destination is checked as it comes.
    if (IsReadableFormat(destination) && destination->biCompression == kFourCcKmqx)
        destination = nullptr;
    if (DecompressQuery(compressed, destination) != ICERR_OK) return ICERR_BADFORMAT;
    if (!instance) return ICERR_ERROR;
    if (instance->decompressState == kSequenceRunning) return ICERR_OK;
    if (!instance->decoder) return ICERR_ERROR;

    DecoderInterface& decoder = *instance->decoder;
    if (instance->decoderSequenceKept) {
        // Hosts that end and begin around every frame (DrawDib) still send
        // delta frames: a begin for the same picture size carries on from the
        // last picture; another size starts afresh.
        int32_t width, height;
        ReadCompressedFormat(compressed, &width, &height);
        if (width == decoder.GetWidth() && height == decoder.GetHeight()) {
            instance->decompressState = kSequenceRunning;
            instance->decoderSequenceKept = false;
            *carriedOn = true;
            return ICERR_OK;
        }
        EndDecoderSequence(instance);
    }
    if (decoder.BeginDecompress() != kDecodeOk) return ICERR_ERROR;
    instance->decompressState = kSequenceRunning;
    return ICERR_OK;
}

}  // namespace

LRESULT DecompressBegin(DriverInstance* instance, const BITMAPINFOHEADER* compressed,
                        const BITMAPINFOHEADER* destination) {
    bool carriedOn;
    return BeginSequence(instance, compressed, destination, &carriedOn);
}

LRESULT Decompress(DriverInstance* instance, const ICDECOMPRESS* request) {
    if (!request || !instance) return ICERR_ERROR;
    if (!instance->decoder) return ICERR_ERROR;
    // The destination is checked with every frame: a begin may have named none.
    const BITMAPINFOHEADER* destination = request->lpbiOutput;
    if (!destination || DecompressQuery(request->lpbiInput, destination) != ICERR_OK)
        return ICERR_BADFORMAT;
    // Checked before the implicit begin: a refused frame changes nothing.
    DWORD dataBytes = request->lpbiInput->biSizeImage;
    if (!request->lpInput || !request->lpOutput ||
        dataBytes > static_cast<DWORD>(std::numeric_limits<int32_t>::max()))
        return ICERR_ERROR;
    const int32_t stateBefore = instance->decompressState;
    const bool beginsHere = stateBefore != kSequenceRunning;
    bool carriedOn = false;
    if (beginsHere &&
        BeginSequence(instance, request->lpbiInput, destination, &carriedOn) != ICERR_OK)
        return ICERR_ERROR;

    DecoderInterface& decoder = *instance->decoder;
    if (decoder.DecodeFrame(static_cast<const uint8_t*>(request->lpInput),
                            static_cast<int32_t>(dataBytes)) != kDecodeOk) {
        // The decoder took nothing from a frame it refused: neither does the
        // instance keep the sequence this frame began.
        if (beginsHere) {
            if (!carriedOn) decoder.EndDecompress();
            instance->decoderSequenceKept = carriedOn;
            instance->decompressState = stateBefore;
        }
        return ICERR_ERROR;
    }

    FrameFormat frame;
    ReadDestinationFormat(destination, &frame);
    PlanarFrame picture = decoder.GetPicture();
    // A stream whose pictures are not the size its format states is not
    // written into a buffer sized for that format.
    if (decoder.GetWidth() != frame.width || decoder.GetHeight() != frame.height)
        return ICERR_ERROR;
    if (!picture.y || !picture.cb || !picture.cr) return ICERR_ERROR;
    ConvertFromPlanar(picture, frame, static_cast<uint8_t*>(request->lpOutput));
    return ICERR_OK;
}

LRESULT DecompressEnd(DriverInstance* instance) {
    if (!instance) return ICERR_ERROR;
    if (instance->decompressState == kSequenceRunning) {
        // The decoder keeps its last picture until the next begin decides
        // whether the sequence carries on.
        instance->decoderSequenceKept = instance->decoder != nullptr;
        instance->decompressState = kSequenceEnded;
    }
    return ICERR_OK;
}

void ReleaseDecoderSequence(DriverInstance* instance) {
    if (instance->decompressState == kSequenceRunning) DecompressEnd(instance);
    if (instance->decoderSequenceKept) EndDecoderSequence(instance);
}

}  // namespace kmqx
