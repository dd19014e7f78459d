#pragma once
#include "decoder/decoder_interface.h"
#include "encoder/encoder_interface.h"

namespace kmqx {

// How an instance creates and destroys its codec objects. The interfaces
// have no virtual destructor, so whoever creates an object also knows how
// to destroy it. A create function returns null when memory runs out.
struct CodecFactory {
    EncoderInterface* (*createEncoder)();
    void (*destroyEncoder)(EncoderInterface* encoder);
    DecoderInterface* (*createDecoder)();
    void (*destroyDecoder)(DecoderInterface* decoder);
};

// The product's own encoder and decoder.
const CodecFactory& BuiltInCodecFactory();

}  // namespace kmqx
