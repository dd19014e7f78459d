// Uncompressed AVI files written through AVIFile, and their saving with
// AVISaveV into a compressed file, as editors convert a file.
#pragma once
#include <string>
#include <vector>

#include "host_support.h"

namespace host {

// Writes frames of `format` (stream handler `handler`) at `rate` frames a
// second into a new AVI file, every frame a key frame.
inline bool WriteUncompressedAvi(const std::string& path, const BITMAPINFOHEADER& format,
                                 DWORD handler, const std::vector<Bytes>& frames, DWORD rate) {
    DeleteFileA(path.c_str());
    PAVIFILE file = nullptr;
    if (AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr) != AVIERR_OK) return false;
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = handler;
    info.dwScale = 1;
    info.dwRate = rate;
    info.dwSuggestedBufferSize = format.biSizeImage;
    SetRect(&info.rcFrame, 0, 0, format.biWidth,
            format.biHeight < 0 ? -format.biHeight : format.biHeight);
    PAVISTREAM stream = nullptr;
    BITMAPINFOHEADER header = format;
    bool ok = AVIFileCreateStreamA(file, &stream, &info) == AVIERR_OK &&
              AVIStreamSetFormat(stream, 0, &header, sizeof header) == AVIERR_OK;
    for (size_t f = 0; ok && f < frames.size(); ++f)
        ok = AVIStreamWrite(stream, LONG(f), 1, const_cast<BYTE*>(frames[f].data()),
                            LONG(frames[f].size()), AVIIF_KEYFRAME, nullptr, nullptr) == AVIERR_OK;
    if (stream) AVIStreamRelease(stream);
    AVIFileRelease(file);
    return ok;
}

// Saves the video stream of `raw` with AVISaveV and the given options into
// `saved`; prints AVISaveV's answer when it fails.
inline bool SaveWithAvisave(const std::string& raw, const std::string& saved,
                            AVICOMPRESSOPTIONS options, const char* what) {
    DeleteFileA(saved.c_str());
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    bool ok =
        AVIFileOpenA(&file, raw.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) == AVIERR_OK &&
        AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK;
    if (ok) {
        AVICOMPRESSOPTIONS* optionList[] = {&options};
        const HRESULT result = AVISaveVA(saved.c_str(), nullptr, nullptr, 1, &stream, optionList);
        if (result != AVIERR_OK) std::printf("%s: AVISaveV answers %#lx\n", what, long(result));
        ok = result == AVIERR_OK;
    }
    if (stream) AVIStreamRelease(stream);
    if (file) AVIFileRelease(file);
    return ok;
}

}  // namespace host
