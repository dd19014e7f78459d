// Opens KMQX.dll through the Video Compression Manager (msvfw32) exactly as
// a Windows application does, and checks what a host sees: driver
// information, format negotiation, state and quality, and a short
// compress/decompress round trip. Built with mingw-w64, run under Wine.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "host_support.h"

namespace {

using namespace host;

const int kWidth = 176, kHeight = 144;

std::vector<BYTE> MovingFrame(int frameNumber) {
    std::vector<BYTE> frame(DibStride(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* row = frame.data() + DibStride(kWidth) * (kHeight - 1 - y);
        for (int x = 0; x < kWidth; ++x) {
            row[3 * x + 0] = static_cast<BYTE>(64 + 48 * std::sin((x + 2 * frameNumber) * 0.2));
            row[3 * x + 1] = static_cast<BYTE>((x + y) / 2 + frameNumber * 4);
            row[3 * x + 2] = static_cast<BYTE>(128 + 96 * std::cos((y + frameNumber) * 0.15));
        }
    }
    return frame;
}

void CheckInfo(HIC hic) {
    ICINFO info{};
    // Hosts take the answer as the bytes filled: the whole record, on 32-
    // and 64-bit alike.
    CHECK_EQ(sizeof(ICINFO), 568);
    CHECK_EQ(ICGetInfo(hic, &info, sizeof(info)), sizeof(ICINFO));
    CHECK_EQ(info.dwFlags, 191);
    CHECK_EQ(info.dwVersion, 2);
    CHECK_EQ(info.dwVersionICM, ICVERSION);
    CHECK(std::wcscmp(info.szName, L"KMQX") == 0);
    CHECK(std::wcscmp(info.szDescription, L"Corvel Video Codec 1999") == 0);
}

// ICM_GETINFO with smaller records: nothing written past the size the host
// gives, an answer no larger than it, and 0 for a record too small to hold
// the fixed fields.
void CheckInfoSizes(HIC hic) {
    constexpr size_t kGuard = 64;
    for (const DWORD size : {0u, 4u, 16u, 23u, 24u, 100u, 567u}) {
        std::vector<BYTE> record(sizeof(ICINFO) + kGuard, 0xCC);
        const LRESULT answer = ICSendMessage(hic, ICM_GETINFO, DWORD_PTR(record.data()), size);
        CHECK(answer >= 0 && answer <= LRESULT(size));
        if (size < 24) CHECK_EQ(answer, 0);
        for (size_t i = size; i < record.size(); ++i)
            if (record[i] != 0xCC) {
                std::printf("FAILED: ICM_GETINFO with %lu bytes writes byte %zu\n", size, i);
                ++Failures();
                break;
            }
    }
}

void CheckCompressionFormats(HIC hic) {
    const struct {
        WORD bits;
        DWORD compression;
        DWORD size;  // of the uncompressed frame
    } accepted[] = {{9, mmioFOURCC('Y', 'V', 'U', '9'), 28512},
                    {12, mmioFOURCC('Y', 'V', '1', '2'), 38016},
                    {12, mmioFOURCC('I', '4', '2', '0'), 38016},
                    {16, mmioFOURCC('Y', 'U', 'Y', '2'), 50688},
                    {16, BI_RGB, 50688},
                    {24, BI_RGB, 76032},
                    {32, BI_RGB, 101376}};
    for (const auto& entry : accepted) {
        BITMAPINFOHEADER source = BitmapFormat(kWidth, kHeight, entry.bits, entry.compression);
        BITMAPINFO* sourceInfo = reinterpret_cast<BITMAPINFO*>(&source);
        CHECK_EQ(ICCompressQuery(hic, sourceInfo, nullptr), ICERR_OK);
        CHECK_EQ(ICCompressGetFormatSize(hic, sourceInfo), 40);
        BITMAPINFOHEADER out{};
        CHECK_EQ(ICCompressGetFormat(hic, sourceInfo, reinterpret_cast<BITMAPINFO*>(&out)),
                 ICERR_OK);
        CHECK_EQ(out.biCompression, kKmqxFourCC);
        CHECK_EQ(out.biWidth, kWidth);
        CHECK_EQ(out.biHeight, kHeight);
        CHECK_EQ(out.biBitCount, 24);
        // Room for the largest picture of the size, whatever the source's
        // layout, and never less than its frame; hosts allocate from either
        // answer (ICSeqCompressFrame from biSizeImage).
        const LRESULT capacity = ICCompressGetSize(hic, sourceInfo, &out);
        CHECK(capacity >= LRESULT(entry.size));
        CHECK_EQ(out.biSizeImage, DWORD(capacity));
        BITMAPINFOHEADER rgb = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
        CHECK_EQ(ICCompressGetSize(hic, reinterpret_cast<BITMAPINFO*>(&rgb), nullptr), capacity);
        CHECK_EQ(ICCompressQuery(hic, sourceInfo, &out), ICERR_OK);
    }
    // Bit count and compression together: a 12-bit BI_RGB is no YV12.
    for (WORD bits : {8, 12}) {
        BITMAPINFOHEADER refused = BitmapFormat(kWidth, kHeight, bits, BI_RGB);
        CHECK_EQ(ICCompressQuery(hic, &refused, nullptr), ICERR_BADFORMAT);
        CHECK_EQ(ICCompressGetSize(hic, &refused, nullptr), 0);
    }
}

void CheckDecompressionFormats(HIC hic) {
    BITMAPINFOHEADER compressed = BitmapFormat(kWidth, kHeight, 24, kKmqxFourCC);
    CHECK_EQ(ICDecompressQuery(hic, &compressed, nullptr), ICERR_OK);
    BITMAPINFOHEADER rgb24 = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
    BITMAPINFOHEADER rgb32 = BitmapFormat(kWidth, -kHeight, 32, BI_RGB);
    BITMAPINFOHEADER rgb16 = BitmapFormat(kWidth, kHeight, 16, BI_RGB);
    BITMAPINFOHEADER larger = BitmapFormat(2 * kWidth, 2 * kHeight, 24, BI_RGB);
    CHECK_EQ(ICDecompressQuery(hic, &compressed, &rgb24), ICERR_OK);
    CHECK_EQ(ICDecompressQuery(hic, &compressed, &rgb32), ICERR_OK);
    CHECK_EQ(ICDecompressQuery(hic, &compressed, &rgb16), ICERR_BADFORMAT);
    CHECK_EQ(ICDecompressQuery(hic, &compressed, &larger), ICERR_BADFORMAT);
    BITMAPINFOHEADER out{};
    CHECK_EQ(ICDecompressGetFormat(hic, &compressed, &out), ICERR_OK);
    CHECK_EQ(out.biCompression, BI_RGB);
    CHECK_EQ(out.biBitCount, 24);
    CHECK_EQ(out.biWidth, kWidth);
    CHECK_EQ(out.biHeight, kHeight);
    CHECK_EQ(out.biSizeImage, DibStride(kWidth) * kHeight);
}

void CheckStateAndQuality(HIC hic) {
    CHECK_EQ(ICGetStateSize(hic), 40);
    INT32 state[10] = {};
    CHECK_EQ(ICGetState(hic, state, sizeof(state)), 40);
    const INT32 initial[10] = {1, 0, 0, 0, 0, 0, 0, 0, 6, 6};
    CHECK(std::memcmp(state, initial, sizeof(state)) == 0);
    INT32 custom[10] = {1, 50, 0, 0, 0, 0, 0, 9, 4, 5};
    ICSetState(hic, custom, sizeof(custom));
    CHECK_EQ(ICGetState(hic, state, sizeof(state)), 40);
    CHECK(std::memcmp(state, custom, sizeof(state)) == 0);

    DWORD quality = 0;
    CHECK_EQ(ICGetDefaultQuality(hic), 8000);
    CHECK_EQ(ICSendMessage(hic, ICM_GETQUALITY, reinterpret_cast<DWORD_PTR>(&quality), 0),
             ICERR_OK);
    CHECK_EQ(quality, 8000);
    CHECK_EQ(ICSendMessage(hic, ICM_SETQUALITY, 10000, 0), ICERR_OK);
    ICSendMessage(hic, ICM_GETQUALITY, reinterpret_cast<DWORD_PTR>(&quality), 0);
    CHECK_EQ(quality, 10000);
    ICGetState(hic, state, sizeof(state));
    CHECK_EQ(state[1], 0);
    CHECK_EQ(state[8], 2);
    CHECK_EQ(state[9], 2);
    ICSendMessage(hic, ICM_SETQUALITY, 8000, 0);
}

double MeanAbsoluteDifference(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
    double total = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth * 3; ++x) {
            size_t at = DibStride(kWidth) * y + x;
            total += std::abs(int(a[at]) - int(b[at]));
        }
    return total / (double(kWidth) * kHeight * 3);
}

void CheckRoundTrip(HIC compressor, HIC decompressor) {
    BITMAPINFOHEADER source = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
    BITMAPINFOHEADER compressed{};
    CHECK_EQ(ICCompressGetFormat(compressor, &source, &compressed), ICERR_OK);
    DWORD capacity = ICCompressGetSize(compressor, &source, &compressed);
    CHECK_EQ(ICCompressBegin(compressor, &source, &compressed), ICERR_OK);
    BITMAPINFOHEADER destination = BitmapFormat(kWidth, kHeight, 24, BI_RGB);
    CHECK_EQ(ICDecompressBegin(decompressor, &compressed, &destination), ICERR_OK);

    std::vector<BYTE> output(capacity);
    std::vector<BYTE> decoded(DibStride(kWidth) * kHeight);
    for (int f = 0; f < 5; ++f) {
        std::vector<BYTE> frame = MovingFrame(f);
        DWORD ckid = 0, flags = 0;
        bool keyAsked = f == 3;
        DWORD result =
            ICCompress(compressor, keyAsked ? ICCOMPRESS_KEYFRAME : 0, &compressed, output.data(),
                       &source, frame.data(), &ckid, &flags, f, 0, 8000, nullptr, nullptr);
        CHECK_EQ(result, ICERR_OK);
        CHECK((flags & AVIIF_KEYFRAME) == ((f == 0 || keyAsked) ? AVIIF_KEYFRAME : 0u));
        CHECK(compressed.biSizeImage > 0 && compressed.biSizeImage <= capacity);
        CHECK_EQ(output[0], 0x00);  // picture start code: 0000 0000 0000 0000 1000 00..
        CHECK_EQ(output[1], 0x00);
        CHECK_EQ(output[2] & 0xFC, 0x80);

        CHECK_EQ(
            ICDecompress(decompressor, 0, &compressed, output.data(), &destination, decoded.data()),
            ICERR_OK);
        double difference = MeanAbsoluteDifference(frame, decoded);
        if (!(difference < 6.0)) {
            std::printf("FAILED frame %d: mean difference %.2f\n", f, difference);
            ++Failures();
        }
    }
    CHECK_EQ(ICCompressEnd(compressor), ICERR_OK);
    CHECK_EQ(ICDecompressEnd(decompressor), ICERR_OK);
}

// Tiny, thin and noisy pictures at the finest quantiser fit the buffers
// hosts allocate: ICSeqCompressFrame's, sized from the compressed format,
// and ICCompress's, sized from ICCompressGetSize.
void CheckLargestPicturesFitHostBuffers() {
    const struct {
        int width, height;
        WORD bits;
        DWORD compression;
    } sources[] = {{1, 175, 16, BI_RGB},
                   {3, 3, 12, mmioFOURCC('Y', 'V', '1', '2')},
                   {17, 9, 24, BI_RGB},
                   {2, 2, 9, mmioFOURCC('Y', 'V', 'U', '9')}};
    for (const auto& entry : sources) {
        BITMAPINFOHEADER input =
            BitmapFormat(entry.width, entry.height, entry.bits, entry.compression);
        Bytes noise(DibStride(entry.width, entry.bits) * entry.height + 64);
        UINT seed = 7;
        for (BYTE& sample : noise) sample = (seed = seed * 1664525u + 1013904223u) >> 31 ? 255 : 0;

        COMPVARS vars = CodecCompVars(0, 10000);
        CHECK(vars.hic != nullptr);
        if (!vars.hic) continue;
        CHECK(ICSeqCompressFrameStart(&vars, reinterpret_cast<BITMAPINFO*>(&input)));
        for (int f = 0; f < 3; ++f) {
            BOOL key = FALSE;
            LONG size = 0;
            noise[f] ^= 0xFF;  // every frame another picture
            CHECK(ICSeqCompressFrame(&vars, 0, noise.data(), &key, &size) != nullptr);
            CHECK(size > 0);
        }
        ICSeqCompressFrameEnd(&vars);
        ICCompressorFree(&vars);

        HIC compressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
        BITMAPINFOHEADER compressed{};
        CHECK_EQ(ICCompressGetFormat(compressor, &input, &compressed), ICERR_OK);
        const DWORD capacity = ICCompressGetSize(compressor, &input, &compressed);
        CHECK_EQ(ICCompressBegin(compressor, &input, &compressed), ICERR_OK);
        Bytes output(capacity);
        DWORD ckid = 0, flags = 0;
        CHECK_EQ(ICCompress(compressor, ICCOMPRESS_KEYFRAME, &compressed, output.data(), &input,
                            noise.data(), &ckid, &flags, 0, 0, 10000, nullptr, nullptr),
                 ICERR_OK);
        CHECK(compressed.biSizeImage > 0 && compressed.biSizeImage <= capacity);
        ICCompressEnd(compressor);
        ICClose(compressor);
    }
}

}  // namespace

int main() {
    if (!RegisterCodec()) {
        std::printf("FAILED: could not register vidc.KMQX\n");
        return 1;
    }
    HIC compressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    HIC decompressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_DECOMPRESS);
    HIC query = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_QUERY);
    CHECK(compressor != nullptr);
    CHECK(decompressor != nullptr);
    CHECK(query != nullptr);
    if (!compressor || !decompressor || !query) return 1;

    CheckInfo(query);
    CheckInfoSizes(query);
    // Hosts ask with -1 whether the dialogs exist; nothing is shown.
    CHECK(ICQueryAbout(query));
    CHECK(ICQueryConfigure(compressor));
    CheckCompressionFormats(compressor);
    CheckCompressionFormats(query);
    CheckDecompressionFormats(decompressor);
    CheckStateAndQuality(compressor);
    CheckRoundTrip(compressor, decompressor);
    CheckLargestPicturesFitHostBuffers();

    CHECK_EQ(ICClose(compressor), ICERR_OK);
    CHECK_EQ(ICClose(decompressor), ICERR_OK);
    CHECK_EQ(ICClose(query), ICERR_OK);
    return Finish("vcm host");
}
