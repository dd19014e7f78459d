#include "tools/codec_host.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/h263_syntax.h"
#include "convert/source_conversion.h"
#include "driver/driver_proc.h"

namespace kmqx {
namespace {

// The driver library is loaded once for all hosts in the process: a second
// DRV_LOAD would make it forget the instances that are open.
std::mutex gLibraryLock;
int gLibraryUsers = 0;

void AcquireLibrary() {
    std::lock_guard<std::mutex> hold(gLibraryLock);
    if (gLibraryUsers++ == 0) {
        DriverProc(0, nullptr, DRV_LOAD, 0, 0);
        DriverProc(0, nullptr, DRV_ENABLE, 0, 0);
    }
}

void ReleaseLibrary() {
    std::lock_guard<std::mutex> hold(gLibraryLock);
    if (--gLibraryUsers == 0) {
        DriverProc(0, nullptr, DRV_DISABLE, 0, 0);
        DriverProc(0, nullptr, DRV_FREE, 0, 0);
    }
}

template <typename T>
LPARAM Param(T* pointer) {
    return reinterpret_cast<LPARAM>(pointer);
}

LRESULT Send(DWORD_PTR id, UINT message, LPARAM a = 0, LPARAM b = 0) {
    return DriverProc(id, nullptr, message, a, b);
}

DWORD_PTR OpenInstance(DWORD mode, std::string& error) {
    ICOPEN open{};
    open.dwSize = sizeof open;
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = CodecFourCC();
    open.dwVersion = ICVERSION;
    open.dwFlags = mode;
    open.dwError = ICERR_OK;
    const LRESULT id = DriverProc(0, nullptr, DRV_OPEN, 0, Param(&open));
    if (id == 0) error = "the codec cannot be opened (" + IcmResultText(open.dwError) + ")";
    return DWORD_PTR(id);
}

}  // namespace

uint32_t CodecFourCC() {
    return MakeFourCC('K', 'M', 'Q', 'X');
}

std::string IcmResultText(LRESULT result) {
    switch (result) {
        case ICERR_OK:
            return "ok";
        case ICERR_UNSUPPORTED:
            return "unsupported";
        case ICERR_BADFORMAT:
            return "format refused by the codec";
        case ICERR_MEMORY:
            return "out of memory";
        case ICERR_ERROR:
            return "codec error";
        default:
            return "codec result " + std::to_string(long(result));
    }
}

CompressorHost::CompressorHost() {
    AcquireLibrary();
}

CompressorHost::~CompressorHost() {
    End();
    ReleaseLibrary();
}

bool CompressorHost::Begin(const SourceFormat& format, int32_t width, int32_t height,
                           const CompressionSettings& settings, std::string& error) {
    End();
    id_ = OpenInstance(ICMODE_COMPRESS, error);
    if (!id_) return false;
    ICINFO info{};
    Send(id_, ICM_GETINFO, Param(&info), sizeof info);

    source_ = BITMAPINFOHEADER{};
    source_.biSize = sizeof source_;
    source_.biWidth = width;
    source_.biHeight = height;
    source_.biPlanes = 1;
    source_.biBitCount = format.bitCount;
    source_.biCompression = format.tag;
    source_.biSizeImage = DWORD(SourceFrameSize(format.tag, format.bitCount, width, height));
    LRESULT result = Send(id_, ICM_COMPRESS_QUERY, Param(&source_), 0);
    if (result != ICERR_OK) {
        error = "the codec does not take " + std::string(format.name) + " frames of " +
                std::to_string(width) + "x" + std::to_string(height) + " (" +
                IcmResultText(result) + "); it takes widths and heights of 1 to " +
                std::to_string(kMaxPictureDimension) +
                " in 24- and 32-bit RGB, 16-bit RGB 555 or 565, YUY2, YV12, I420 and YVU9";
        return false;
    }
    if (Send(id_, ICM_COMPRESS_GET_FORMAT, Param(&source_), 0) != LRESULT(sizeof compressed_)) {
        error = "unexpected compressed format size";
        return false;
    }
    result = Send(id_, ICM_COMPRESS_GET_FORMAT, Param(&source_), Param(&compressed_));
    if (result != ICERR_OK) {
        error = "no compressed format: " + IcmResultText(result);
        return false;
    }
    const LRESULT capacity = Send(id_, ICM_COMPRESS_GET_SIZE, Param(&source_), Param(&compressed_));
    if (capacity <= 0) {
        error = "the codec gives no output size for " + std::to_string(width) + "x" +
                std::to_string(height) + " " + format.name;
        return false;
    }
    output_.assign(size_t(capacity), 0);

    if (settings.quality >= 0) Send(id_, ICM_SETQUALITY, settings.quality, 0);
    if (settings.haveState) {
        CodecSettings state = settings.state;
        Send(id_, ICM_SETSTATE, Param(&state), sizeof state);
    }
    if (!settings.fieldOverrides.empty()) {
        int32_t values[10] = {};
        Send(id_, ICM_GETSTATE, Param(values), sizeof values);
        for (const auto& [field, value] : settings.fieldOverrides)
            if (field >= 0 && field < 10) values[field] = value;
        Send(id_, ICM_SETSTATE, Param(values), sizeof values);
    }
    Send(id_, ICM_GETSTATE, Param(&state_), sizeof state_);
    // Frames carry the instance's own quality, so that the settings above
    // are not rebuilt from a quality at the first frame.
    Send(id_, ICM_GETQUALITY, Param(&quality_), 0);

    if (settings.bitsPerSecond > 0) {
        // As AVIFile does: the data rate in bytes a second, before the begin.
        ICCOMPRESSFRAMES frames{};
        frames.lpbiOutput = &compressed_;
        frames.lpbiInput = &source_;
        frames.lQuality = quality_;
        frames.lDataRate = LONG(std::min<int64_t>((settings.bitsPerSecond + 4) / 8, INT32_MAX));
        frames.dwRate = settings.rateNumerator;
        frames.dwScale = settings.rateDenominator;
        result = Send(id_, ICM_COMPRESS_FRAMES_INFO, Param(&frames), sizeof frames);
        if (result != ICERR_OK) {
            error = "the codec refuses a data rate of " + std::to_string(settings.bitsPerSecond) +
                    " bits a second at " + std::to_string(settings.rateNumerator) + "/" +
                    std::to_string(settings.rateDenominator) +
                    " frames a second: " + IcmResultText(result);
            return false;
        }
    }
    maxFrameBytes_ = settings.maxFrameBytes;

    result = Send(id_, ICM_COMPRESS_BEGIN, Param(&source_), Param(&compressed_));
    if (result != ICERR_OK) {
        error = "the codec cannot begin compressing " + std::to_string(width) + "x" +
                std::to_string(height) + " " + format.name + ": " + IcmResultText(result);
        return false;
    }
    begun_ = true;
    frameNumber_ = 0;
    return true;
}

bool CompressorHost::Compress(const uint8_t* source, bool requestKeyFrame, std::string& error) {
    if (!begun_) {
        error = "no compression sequence";
        return false;
    }
    DWORD chunkId = 0;
    DWORD flags = 0;
    ICCOMPRESS frame{};
    frame.dwFlags = requestKeyFrame ? DWORD(ICCOMPRESS_KEYFRAME) : 0;
    frame.lpbiOutput = &compressed_;
    frame.lpOutput = output_.data();
    frame.lpbiInput = &source_;
    frame.lpInput = const_cast<uint8_t*>(source);
    frame.lpckid = &chunkId;
    frame.lpdwFlags = &flags;
    frame.lFrameNum = frameNumber_++;
    frame.dwFrameSize = maxFrameBytes_;
    frame.dwQuality = DWORD(quality_);
    const LRESULT result = Send(id_, ICM_COMPRESS, Param(&frame), sizeof frame);
    if (result != ICERR_OK) {
        error =
            "frame " + std::to_string(frameNumber_) + " not compressed: " + IcmResultText(result);
        return false;
    }
    if (compressed_.biSizeImage > output_.size()) {
        error = "the codec reports more bytes than its output buffer holds";
        return false;
    }
    compressedSize_ = compressed_.biSizeImage;
    keyFrame_ = (flags & AVIIF_KEYFRAME) != 0;
    return true;
}

void CompressorHost::End() {
    if (!id_) return;
    if (begun_) Send(id_, ICM_COMPRESS_END);
    begun_ = false;
    Send(id_, DRV_CLOSE);
    id_ = 0;
}

DecompressorHost::DecompressorHost() {
    AcquireLibrary();
}

DecompressorHost::~DecompressorHost() {
    End();
    ReleaseLibrary();
}

bool DecompressorHost::Begin(int32_t width, int32_t height, std::string& error) {
    End();
    id_ = OpenInstance(ICMODE_DECOMPRESS, error);
    if (!id_) return false;
    compressed_ = BITMAPINFOHEADER{};
    compressed_.biSize = sizeof compressed_;
    compressed_.biWidth = width;
    compressed_.biHeight = height;
    compressed_.biPlanes = 1;
    compressed_.biBitCount = 24;
    compressed_.biCompression = CodecFourCC();
    LRESULT result = Send(id_, ICM_DECOMPRESS_QUERY, Param(&compressed_), 0);
    if (result != ICERR_OK) {
        error = "compressed format refused: " + IcmResultText(result);
        return false;
    }
    result = Send(id_, ICM_DECOMPRESS_GET_FORMAT, Param(&compressed_), Param(&destination_));
    if (result != ICERR_OK || destination_.biWidth != width || destination_.biHeight != height) {
        error = "no output format: " + IcmResultText(result);
        return false;
    }
    result = Send(id_, ICM_DECOMPRESS_BEGIN, Param(&compressed_), Param(&destination_));
    if (result != ICERR_OK) {
        error = "the codec cannot begin decompressing: " + IcmResultText(result);
        return false;
    }
    begun_ = true;
    rgb_.assign(Rgb24Stride(width) * size_t(height), 0);
    return true;
}

bool DecompressorHost::Decompress(const uint8_t* data, uint32_t size, std::string& error) {
    if (!begun_) {
        error = "no decompression sequence";
        return false;
    }
    // A private copy: the codec gets exactly the frame's bytes.
    input_.assign(data, data + size);
    compressed_.biSizeImage = size;
    ICDECOMPRESS frame{};
    frame.lpbiInput = &compressed_;
    frame.lpInput = input_.data();
    frame.lpbiOutput = &destination_;
    frame.lpOutput = rgb_.data();
    const LRESULT result = Send(id_, ICM_DECOMPRESS, Param(&frame), sizeof frame);
    if (result != ICERR_OK) {
        error = "frame not decompressed: " + IcmResultText(result);
        return false;
    }
    return true;
}

void DecompressorHost::End() {
    if (!id_) return;
    if (begun_) Send(id_, ICM_DECOMPRESS_END);
    begun_ = false;
    Send(id_, DRV_CLOSE);
    id_ = 0;
}

}  // namespace kmqx
