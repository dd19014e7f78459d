#include "fake_codecs.h"

#include <algorithm>

#include "convert/source_conversion.h"

namespace kmqx::testing {

std::vector<FakeEncoder*> FakeCodecs::encoders;
std::vector<FakeDecoder*> FakeCodecs::decoders;
std::vector<int> FakeCodecs::destroyedDecoders;
int FakeCodecs::encodersCreated = 0;
int FakeCodecs::encodersDestroyed = 0;
bool FakeCodecs::failEncoderCreation = false;
bool FakeCodecs::failDecoderCreation = false;
int32_t FakeCodecs::encoderInitResult = kEncodeOk;
int32_t FakeCodecs::encodedFrameBytes = 100;

int32_t FakeEncoder::Init(int32_t w, int32_t h) {
    Log("Init", w);
    width = w;
    height = h;
    return FakeCodecs::encoderInitResult;
}

int32_t FakeEncoder::Release() {
    Log("Release", 0);
    return kEncodeOk;
}

int32_t FakeEncoder::EncodeFrame(uint8_t* output, int32_t keyFrame) {
    keyFlags.push_back(keyFrame);
    if (inputPlanes[0]) {
        SetPicture({inputPlanes[0], inputPlanes[1], inputPlanes[2]});
        ++framesReadInPlace;
    }
    frameLimits.push_back(frameSizeLimit);
    int32_t bytes = FakeCodecs::encodedFrameBytes;
    if (bytes > capacity) return kEncodeOutputTooSmall;
    std::memset(output, 0xA5, static_cast<size_t>(bytes));
    lastIntra = (framesCoded == 0 || keyFrame) ? 1 : 0;
    ++framesCoded;
    lastSize = bytes;
    return kEncodeOk;
}

void FakeEncoder::SetPicture(const PlanarFrame& source) {
    // Copying the chroma planes too shows a wrong layout under ASan.
    const size_t area = static_cast<size_t>(width) * height;
    const size_t chroma = static_cast<size_t>(width / 2) * (height / 2);
    lastPicture.assign(source.y, source.y + area);
    lastPicture.insert(lastPicture.end(), source.cb, source.cb + chroma);
    lastPicture.insert(lastPicture.end(), source.cr, source.cr + chroma);
}

int32_t FakeDecoder::BeginDecompress() {
    ++begins;
    return beginResult;
}

int32_t FakeDecoder::DecodeFrame(const uint8_t*, int32_t) {
    ++frames;
    if (decodeResult != kDecodeOk) return decodeResult;
    size_t area = static_cast<size_t>(width) * height;
    planes.assign(area + 2 * (area / 4), 128);
    for (size_t i = 0; i < area; ++i) planes[i] = static_cast<uint8_t>(i);
    return kDecodeOk;
}

int32_t FakeDecoder::EndDecompress() {
    ++ends;
    return kDecodeOk;
}

PlanarFrame FakeDecoder::GetPicture() {
    size_t area = static_cast<size_t>(width) * height;
    uint8_t* base = planes.data();
    return PlanarFrame{base, base + area, base + area + area / 4};
}

namespace {

int nextId = 1;

EncoderInterface* CreateFakeEncoder() {
    if (FakeCodecs::failEncoderCreation) return nullptr;
    auto* encoder = new FakeEncoder();
    encoder->id = nextId++;
    FakeCodecs::encoders.push_back(encoder);
    ++FakeCodecs::encodersCreated;
    return encoder;
}

void DestroyFakeEncoder(EncoderInterface* encoder) {
    auto* fake = static_cast<FakeEncoder*>(encoder);
    auto& live = FakeCodecs::encoders;
    live.erase(std::remove(live.begin(), live.end(), fake), live.end());
    ++FakeCodecs::encodersDestroyed;
    delete fake;
}

DecoderInterface* CreateFakeDecoder() {
    if (FakeCodecs::failDecoderCreation) return nullptr;
    auto* decoder = new FakeDecoder();
    decoder->id = nextId++;
    FakeCodecs::decoders.push_back(decoder);
    return decoder;
}

void DestroyFakeDecoder(DecoderInterface* decoder) {
    auto* fake = static_cast<FakeDecoder*>(decoder);
    auto& live = FakeCodecs::decoders;
    live.erase(std::remove(live.begin(), live.end(), fake), live.end());
    FakeCodecs::destroyedDecoders.push_back(fake->id);
    delete fake;
}

const CodecFactory kFakeFactory{CreateFakeEncoder, DestroyFakeEncoder, CreateFakeDecoder,
                                DestroyFakeDecoder};

}  // namespace

void FakeCodecs::Reset() {
    encoders.clear();
    decoders.clear();
    destroyedDecoders.clear();
    encodersCreated = 0;
    encodersDestroyed = 0;
    failEncoderCreation = false;
    failDecoderCreation = false;
    encoderInitResult = kEncodeOk;
    encodedFrameBytes = 100;
}

const CodecFactory& FakeCodecs::Factory() {
    return kFakeFactory;
}

DWORD_PTR OpenWithFakes(DWORD flags, ICOPEN* openRecord) {
    ICOPEN local = test::OpenRecord(flags);
    ICOPEN* open = openRecord ? openRecord : &local;
    open->dwFlags = flags;
    return reinterpret_cast<DWORD_PTR>(OpenInstance(open, FakeCodecs::Factory()));
}

DWORD PlainTag(WORD bitCount) {
    switch (bitCount) {
        case 9:
            return mmioFOURCC('Y', 'V', 'U', '9');
        case 12:
            return mmioFOURCC('Y', 'V', '1', '2');
        case 16:
            return mmioFOURCC('Y', 'U', 'Y', 'V');
        default:
            return BI_RGB;
    }
}

BITMAPINFOHEADER CompressedFormat(int32_t width, int32_t height) {
    BITMAPINFOHEADER format = test::BitmapFormat(width, height, 24, test::kKmqxFourCC);
    return format;
}

CodecSettings StateOf(DWORD_PTR id) {
    CodecSettings settings{};
    Send(id, ICM_GETSTATE, Ptr(&settings), sizeof(settings));
    return settings;
}

}  // namespace kmqx::testing
