// Drives the driver's compression sequence with hostile formats, settings and
// frames, as a host could: source format (bit count, size, top-down), an
// optional settings blob, then frames with key-frame requests, quality changes
// and frames whose size differs from the begin's. Source and output buffers
// have exactly the sizes a host would give, so AddressSanitizer sees any
// access beyond them; a coded picture must fit the reported size.
//
// Input: [format byte][width 16 bits][height 16 bits][has-state byte]
//        [40-byte settings blob, if has-state is odd] then frames, each
//        [control byte][quality 16 bits] and sample bytes taken from the rest
//        of the input (repeated as needed).
//
// Most inputs are small pictures (sides up to 40), so that the fuzzer runs at
// hundreds of inputs a second; one in sixteen format bytes asks for a large
// one (sides up to 4200, beyond what the header can carry, up to 256
// macroblocks: 4095 x 16, 16 x 4095, QCIF and the like) with two frames.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/frame_layout.h"
#include "driver/driver_proc.h"
#include "driver_messages.h"

namespace {

using namespace kmqx::fuzz;

// The source formats a host can hand over, picked by the format byte's low
// three bits; BI_BITFIELDS carries its masks after the header, as in a
// BITMAPINFO.
struct SourceKind {
    WORD bitCount;
    DWORD compression;
};
constexpr SourceKind kSources[8] = {
    {24, kmqx::kCompressionRgb},       {16, kmqx::kFourCcYuy2},
    {12, kmqx::kFourCcYv12},           {9, kmqx::kFourCcYvu9},
    {32, kmqx::kCompressionRgb},       {16, kmqx::kCompressionRgb},
    {16, kmqx::kCompressionBitfields}, {12, kmqx::kFourCcI420},
};
constexpr DWORD kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr int32_t kMaxSmallSide = 40;
constexpr int kSmallFrames = 12;
constexpr int32_t kMaxLargeSide = 4200;
constexpr int32_t kMaxLargeArea = 4096 * 16;  // 256 macroblocks
constexpr int kLargeFrames = 2;

struct SourceRecord {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(size_t n) const { return position_ + n <= size_; }
    uint8_t Byte() { return Has(1) ? data_[position_++] : 0; }
    uint16_t Word() { return uint16_t(Byte() << 8 | Byte()); }
    const uint8_t* Take(size_t n) {
        const uint8_t* at = data_ + position_;
        position_ += n;
        return at;
    }
    // Fills a buffer from what is left, repeating it; zeros if nothing is left.
    void Fill(std::vector<uint8_t>& buffer) const {
        const size_t left = size_ - position_;
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = left ? data_[position_ + (i * 7919) % left] : 0;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    if (!in.Has(6)) return 0;
    const uint8_t formatByte = in.Byte();
    const SourceKind kind = kSources[formatByte & 7];
    const bool large = (formatByte & 0x78) == 0x78;
    const int32_t width = 1 + in.Word() % (large ? kMaxLargeSide : kMaxSmallSide);
    int32_t height = 1 + in.Word() % (large ? kMaxLargeSide : kMaxSmallSide);
    if (large && width * height > kMaxLargeArea) height = std::max(1, kMaxLargeArea / width);
    if (formatByte & 0x80) height = -height;  // top-down

    const DWORD_PTR id = OpenInstance(ICMODE_COMPRESS);

    if (in.Byte() & 1 && in.Has(40)) {
        uint8_t blob[40];
        std::memcpy(blob, in.Take(40), sizeof(blob));
        Send(id, ICM_SETSTATE, Ptr(blob), sizeof(blob));
    }

    SourceRecord record{BitmapFormat(width, height, kind.bitCount, kind.compression), {}};
    std::memcpy(record.masks, kMasks565, sizeof(record.masks));
    const BITMAPINFOHEADER& source = record.header;
    BITMAPINFOHEADER compressed{};
    Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&source), Ptr(&compressed));
    const LRESULT capacity = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source), 0);
    const LRESULT begun = Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed));
    if (begun == ICERR_OK && capacity <= 0)
        std::abort();  // a running sequence needs an output size

    const int32_t absHeight = height < 0 ? -height : height;
    const int frames = large ? kLargeFrames : kSmallFrames;
    for (int frame = 0; frame < frames && in.Has(3); ++frame) {
        const uint8_t control = in.Byte();
        const uint16_t quality = in.Word();
        SourceRecord frameRecord = record;
        BITMAPINFOHEADER& frameFormat = frameRecord.header;
        if (control & 0x40)
            frameFormat.biWidth = width + 1 + (control & 7);  // not the begin's size
        const size_t sourceBytes =
            kmqx::FrameBytes(kmqx::SourceLayout(kind.compression, kind.bitCount, kMasks565),
                             frameFormat.biWidth, absHeight);
        std::vector<uint8_t> samples(sourceBytes ? sourceBytes : 1);
        in.Fill(samples);
        // A host sizes the output for the frame it sends.
        const LRESULT frameCapacity = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&frameFormat), 0);
        std::vector<uint8_t> output(frameCapacity > 0 ? size_t(frameCapacity) : 1);
        BITMAPINFOHEADER outputFormat = compressed;
        DWORD ckid = 0, flags = 0;
        ICCOMPRESS request{};
        request.dwFlags = (control & 1) ? ICCOMPRESS_KEYFRAME : 0;
        request.lpbiOutput = &outputFormat;
        request.lpOutput = output.data();
        request.lpbiInput = &frameFormat;
        request.lpInput = samples.data();
        request.lpckid = &ckid;
        request.lpdwFlags = &flags;
        request.lFrameNum = frame;
        request.dwQuality = (control & 2) ? quality : 8000;
        const LRESULT result = Send(id, ICM_COMPRESS, Ptr(&request), sizeof(request));
        if (result == ICERR_OK && outputFormat.biSizeImage > output.size()) std::abort();
        if (control & 0x20) Send(id, ICM_COMPRESS_END);  // the next frame begins again
    }
    Send(id, ICM_COMPRESS_END);
    Send(id, DRV_CLOSE);
    return 0;
}
