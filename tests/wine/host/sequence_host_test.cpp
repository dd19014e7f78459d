// Whole sequences through the Video Compression Manager and AVIFile, as a
// Windows application runs them: 60-frame QCIF and CIF sequences compressed
// with ICCompress (key frames on request) and with ICSeqCompressFrame, every
// frame decompressed with ICDecompress into 24-bit RGB, and an AVI file
// written through AVIMakeCompressedStream and read back with
// AVIStreamGetFrame. The program writes its source frames, pictures and
// decoded frames into the folder given as its argument; the test script
// compares them with the native build's output for the same input and
// settings, and has ffmpeg decode the AVI file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host_support.h"
#include "test_pictures.h"

using namespace host;

namespace {

constexpr int kFrames = 60;
constexpr int kKeyInterval = 20;

struct Sequence {
    const char* name;
    int width, height;
    DWORD quality;
};

Bytes SourceFrame(const Sequence& sequence, int frame) {
    return MovingPicture(sequence.width, sequence.height, frame);
}

void Append(Bytes& to, const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    to.insert(to.end(), bytes, bytes + size);
}

bool ExpectKey(int frame) {
    return frame % kKeyInterval == 0;
}

// Whether a picture is INTRA: the picture coding type bit of its PTYPE,
// 39th bit of the picture (after the 22-bit start code, the 8-bit temporal
// reference and eight PTYPE bits).
bool IsIntraPicture(const BYTE* picture, size_t size) {
    return size > 4 && (picture[4] & 0x02) == 0;
}

// ICCompress with a key frame asked for every kKeyInterval frames; each
// picture is decompressed with ICDecompress at once.
void CompressAndDecompress(const Sequence& sequence, const std::vector<Bytes>& source,
                           Bytes& pictures, Bytes& decoded) {
    HIC compressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    HIC decompressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_DECOMPRESS);
    CHECK(compressor && decompressor);
    if (!compressor || !decompressor) return;
    BITMAPINFOHEADER input = BitmapFormat(sequence.width, sequence.height, 24, BI_RGB);
    BITMAPINFOHEADER compressed{};
    CHECK_EQ(ICCompressGetFormat(compressor, &input, &compressed), ICERR_OK);
    const DWORD capacity = ICCompressGetSize(compressor, &input, &compressed);
    CHECK(capacity > 0);
    CHECK_EQ(ICCompressBegin(compressor, &input, &compressed), ICERR_OK);
    BITMAPINFOHEADER output = BitmapFormat(sequence.width, sequence.height, 24, BI_RGB);
    CHECK_EQ(ICDecompressBegin(decompressor, &compressed, &output), ICERR_OK);
    Bytes picture(capacity), rgb(DibStride(sequence.width) * sequence.height);
    for (int f = 0; f < kFrames; ++f) {
        DWORD ckid = 0, flags = 0;
        const LRESULT result =
            ICCompress(compressor, ExpectKey(f) ? ICCOMPRESS_KEYFRAME : 0, &compressed,
                       picture.data(), &input, const_cast<BYTE*>(source[f].data()), &ckid, &flags,
                       f, 0, sequence.quality, nullptr, nullptr);
        CHECK_EQ(result, ICERR_OK);
        CHECK_EQ((flags & AVIIF_KEYFRAME) != 0, ExpectKey(f));
        CHECK(compressed.biSizeImage > 0 && compressed.biSizeImage <= capacity);
        if (result != ICERR_OK || compressed.biSizeImage > capacity) break;
        CHECK_EQ(IsIntraPicture(picture.data(), compressed.biSizeImage), ExpectKey(f));
        Append(pictures, picture.data(), compressed.biSizeImage);
        CHECK_EQ(ICDecompress(decompressor, 0, &compressed, picture.data(), &output, rgb.data()),
                 ICERR_OK);
        Append(decoded, rgb.data(), rgb.size());
    }
    CHECK_EQ(ICCompressEnd(compressor), ICERR_OK);
    CHECK_EQ(ICDecompressEnd(decompressor), ICERR_OK);
    ICClose(compressor);
    ICClose(decompressor);
}

// The same sequence through ICSeqCompressFrame with a key frame rate. The
// VCM decides which frames it asks as key frames (every lKey frames on
// Windows; Wine counts lKey - 1); the interval it used is returned so that
// the native build can be asked for the same.
Bytes SequenceCompress(const Sequence& sequence, const std::vector<Bytes>& source,
                       int& keyInterval) {
    Bytes pictures;
    keyInterval = 0;
    COMPVARS vars = CodecCompVars(kKeyInterval, LONG(sequence.quality));
    CHECK(vars.hic != nullptr);
    if (!vars.hic) return pictures;
    BITMAPINFOHEADER input = BitmapFormat(sequence.width, sequence.height, 24, BI_RGB);
    CHECK(ICSeqCompressFrameStart(&vars, reinterpret_cast<BITMAPINFO*>(&input)));
    std::vector<int> intraFrames;
    bool anyKeyReported = false;
    std::vector<bool> reported;
    for (int f = 0; f < kFrames; ++f) {
        BOOL key = FALSE;
        LONG size = LONG(source[f].size());
        auto* picture = static_cast<const BYTE*>(
            ICSeqCompressFrame(&vars, 0, const_cast<BYTE*>(source[f].data()), &key, &size));
        CHECK(picture != nullptr && size > 0);
        if (!picture || size <= 0) break;
        if (IsIntraPicture(picture, size_t(size))) intraFrames.push_back(f);
        reported.push_back(key != FALSE);
        anyKeyReported = anyKeyReported || key;
        Append(pictures, picture, size_t(size));
    }
    ICSeqCompressFrameEnd(&vars);
    ICCompressorFree(&vars);

    // Key frames exactly where asked: the first frame, then a fixed interval.
    CHECK(intraFrames.size() >= 2 && intraFrames[0] == 0);
    if (intraFrames.size() >= 2) keyInterval = intraFrames[1];
    CHECK(keyInterval == kKeyInterval || keyInterval == kKeyInterval - 1);
    for (size_t i = 0; i < intraFrames.size(); ++i) CHECK_EQ(intraFrames[i], int(i) * keyInterval);
    CHECK_EQ(intraFrames.size(), size_t((kFrames - 1) / (keyInterval ? keyInterval : 1) + 1));
    // Wine's ICSeqCompressFrame never reports a key frame; a VCM that does
    // must report exactly the INTRA pictures.
    if (anyKeyReported)
        for (int f = 0; f < int(reported.size()); ++f) CHECK_EQ(reported[f], f % keyInterval == 0);
    return pictures;
}

// Writes the sequence into an AVI file through a compressed stream with
// handler KMQX, then reads every frame back as 24-bit RGB.
void WriteAndReadAvi(const Sequence& sequence, const std::vector<Bytes>& source,
                     const std::string& path, const Bytes& expectedDecoded) {
    DeleteFileA(path.c_str());
    PAVIFILE file = nullptr;
    CHECK_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
    if (!file) return;
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 25;
    info.dwSuggestedBufferSize = DWORD(source[0].size());
    SetRect(&info.rcFrame, 0, 0, sequence.width, sequence.height);
    PAVISTREAM raw = nullptr, compressed = nullptr;
    CHECK_EQ(AVIFileCreateStreamA(file, &raw, &info), AVIERR_OK);
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = kKmqxFourCC;
    options.dwKeyFrameEvery = kKeyInterval;
    options.dwQuality = sequence.quality;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    if (raw) CHECK_EQ(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), AVIERR_OK);
    if (compressed) {
        BITMAPINFOHEADER format = BitmapFormat(sequence.width, sequence.height, 24, BI_RGB);
        format.biSizeImage = DWORD(source[0].size());
        CHECK_EQ(AVIStreamSetFormat(compressed, 0, &format, sizeof format), AVIERR_OK);
        for (int f = 0; f < kFrames; ++f)
            CHECK_EQ(AVIStreamWrite(compressed, f, 1, const_cast<BYTE*>(source[f].data()),
                                    LONG(source[f].size()), 0, nullptr, nullptr),
                     AVIERR_OK);
        AVIStreamRelease(compressed);
    }
    if (raw) AVIStreamRelease(raw);
    AVIFileRelease(file);

    file = nullptr;
    CHECK_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr), AVIERR_OK);
    if (!file) return;
    PAVISTREAM stream = nullptr;
    CHECK_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    if (stream) {
        AVISTREAMINFOA read{};
        AVIStreamInfoA(stream, &read, sizeof read);
        BITMAPINFOHEADER stored{};
        LONG storedSize = sizeof stored;
        CHECK_EQ(AVIStreamReadFormat(stream, 0, &stored, &storedSize), AVIERR_OK);
        CHECK_EQ(stored.biCompression, kKmqxFourCC);
        CHECK_EQ(AVIStreamLength(stream), kFrames);
        for (int f = 0; f < kFrames; ++f) CHECK_EQ(AVIStreamIsKeyFrame(stream, f), ExpectKey(f));
        BITMAPINFOHEADER wanted = BitmapFormat(sequence.width, sequence.height, 24, BI_RGB);
        PGETFRAME frames = AVIStreamGetFrameOpen(stream, &wanted);
        CHECK(frames != nullptr);
        const size_t frameSize = DibStride(sequence.width) * sequence.height;
        for (int f = 0; frames && f < kFrames; ++f) {
            auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(frames, f));
            CHECK(dib != nullptr);
            if (!dib) break;
            CHECK_EQ(dib->biBitCount, 24);
            CHECK_EQ(dib->biWidth, sequence.width);
            CHECK_EQ(dib->biHeight, sequence.height);
            const BYTE* bits = reinterpret_cast<const BYTE*>(dib) + dib->biSize;
            // The AVI's pictures are the ICCompress ones, so their frames
            // decode to the same pixels.
            if (expectedDecoded.size() == frameSize * kFrames &&
                std::memcmp(bits, expectedDecoded.data() + frameSize * f, frameSize) != 0) {
                std::printf("FAILED %s frame %d read back from the AVI file differs\n",
                            sequence.name, f);
                ++Failures();
            }
        }
        if (frames) AVIStreamGetFrameClose(frames);
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
}

void RunSequence(const Sequence& sequence, const std::string& folder) {
    std::vector<Bytes> source;
    Bytes all;
    for (int f = 0; f < kFrames; ++f) {
        source.push_back(SourceFrame(sequence, f));
        Append(all, source.back().data(), source.back().size());
    }
    const std::string base = folder + "\\" + sequence.name;
    CHECK(WriteWholeFile(base + ".rgb", all));

    Bytes pictures, decoded;
    CompressAndDecompress(sequence, source, pictures, decoded);
    CHECK(WriteWholeFile(base + "-icc.263", pictures));
    CHECK(WriteWholeFile(base + "-icc-decoded.rgb", decoded));

    int keyInterval = 0;
    const Bytes sequenced = SequenceCompress(sequence, source, keyInterval);
    CHECK(WriteWholeFile(base + "-seq.263", sequenced));
    const std::string interval = std::to_string(keyInterval);
    CHECK(WriteWholeFile(base + "-seq.keyint", Bytes(interval.begin(), interval.end())));
    if (keyInterval == kKeyInterval && sequenced != pictures) {
        std::printf("FAILED %s: ICSeqCompressFrame pictures differ from ICCompress ones\n",
                    sequence.name);
        ++Failures();
    }
    WriteAndReadAvi(sequence, source, base + ".avi", decoded);
    std::printf("%s: %zu bytes in %d pictures\n", sequence.name, pictures.size(), kFrames);
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    if (!StartHostProgram(argc, argv, "sequence_host_test FOLDER", folder)) return 2;
    AVIFileInit();
    const Sequence sequences[] = {{"qcif", 176, 144, 8000}, {"cif", 352, 288, 6000}};
    for (const Sequence& sequence : sequences) RunSequence(sequence, folder);
    AVIFileExit();
    return Finish("sequence");
}
