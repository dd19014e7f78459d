#include "driver/codec_factory.h"

#include <new>

#include "encoder/encoder.h"

namespace kmqx {
namespace {

// Stands in for the decoder until it is part of the build: sequences begin
// and end, but every picture is refused, so hosts see a clean failure.
class UnavailableDecoder final : public DecoderInterface {
  public:
    int32_t BeginDecompress() override { return kDecodeOk; }
    int32_t DecodeFrame(const uint8_t*, int32_t) override { return kDecodeHeaderRejected; }
    int32_t EndDecompress() override { return kDecodeOk; }
    PlanarFrame GetPicture() override { return PlanarFrame{nullptr, nullptr, nullptr}; }
    int32_t Probe() override { return 0; }
    int32_t GetWidth() override { return 0; }
    int32_t GetHeight() override { return 0; }
};

EncoderInterface* CreateBuiltInEncoder() {
    return new (std::nothrow) Encoder();
}
void DestroyBuiltInEncoder(EncoderInterface* encoder) {
    delete static_cast<Encoder*>(encoder);
}
DecoderInterface* CreateBuiltInDecoder() {
    return new (std::nothrow) UnavailableDecoder();
}
void DestroyBuiltInDecoder(DecoderInterface* decoder) {
    delete static_cast<UnavailableDecoder*>(decoder);
}

const CodecFactory kBuiltIn{CreateBuiltInEncoder, DestroyBuiltInEncoder, CreateBuiltInDecoder,
                            DestroyBuiltInDecoder};

}  // namespace

const CodecFactory& BuiltInCodecFactory() {
    return kBuiltIn;
}

}  // namespace kmqx
