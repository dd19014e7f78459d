#include "driver/codec_factory.h"

#include <new>

#include "decoder/decoder.h"
#include "encoder/encoder.h"

namespace kmqx {
namespace {

EncoderInterface* CreateBuiltInEncoder() {
    return new (std::nothrow) Encoder();
}
void DestroyBuiltInEncoder(EncoderInterface* encoder) {
    delete static_cast<Encoder*>(encoder);
}
DecoderInterface* CreateBuiltInDecoder() {
    return new (std::nothrow) Decoder();
}
void DestroyBuiltInDecoder(DecoderInterface* decoder) {
    delete static_cast<Decoder*>(decoder);
}

const CodecFactory kBuiltIn{CreateBuiltInEncoder, DestroyBuiltInEncoder, CreateBuiltInDecoder,
                            DestroyBuiltInDecoder};

}  // namespace

const CodecFactory& BuiltInCodecFactory() {
    return kBuiltIn;
}

}  // namespace kmqx
