#pragma once
// Encoder and decoder doubles that record what the driver asks of them, and
// a factory that hands them out. The factory is a plain function table, so
// the fakes' bookkeeping is test-wide; FakeCodecs::Reset starts afresh.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "convert/frame_layout.h"
#include "driver/codec_factory.h"
#include "driver/driver_proc.h"
#include "driver/instance_lifecycle.h"
#include "tests/support/driver_messages.h"
#include "tests/support/host_formats.h"

namespace kmqx::testing {

class FakeEncoder final : public EncoderInterface {
  public:
    int32_t Init(int32_t width, int32_t height) override;
    int32_t Release() override;
    int32_t EncodeFrame(uint8_t* output, int32_t keyFrame) override;
    void SetPicture(const PlanarFrame& source) override;
    void SetInputY(uint8_t* plane) override { inputPlanes[0] = plane; }
    void SetInputCb(uint8_t* plane) override { inputPlanes[1] = plane; }
    void SetInputCr(uint8_t* plane) override { inputPlanes[2] = plane; }
    int32_t GetCompressedSize() override { return lastSize; }
    int32_t GetPictureBufferSize(int32_t, int32_t) override { return 0; }
    void Reserved9(int32_t) override {}
    void Reserved10(int32_t) override {}
    void SetGobHeaderInterval(int32_t) override {}
    void Reserved12(int32_t) override {}
    void Reserved13(int32_t) override {}
    void Reserved14(int32_t) override {}
    void SetQuantNormal(int32_t q) override { Log("QuantNormal", q); }
    void SetQuantKey(int32_t q) override { Log("QuantKey", q); }
    void SetCodecVersion(int32_t v) override { Log("CodecVersion", v); }
    void SetParamF(int32_t v) override { Log("F", v); }
    void SetParamE(int32_t v) override { Log("E", v); }
    void SetParamD(int32_t v) override { Log("D", v); }
    void SetParamC(int32_t v) override { Log("C", v); }
    void SetParamB(int32_t v) override { Log("B", v); }
    void SetParamA(int32_t v) override { Log("A", v); }
    void SetOutputCapacity(int32_t bytes) override { capacity = bytes; }
    int32_t LastPictureWasIntra() override { return lastIntra; }
    int32_t SetRateControl(int64_t bits, int32_t numerator, int32_t denominator) override {
        rateCalls.push_back({bits, numerator, denominator});
        return kEncodeOk;
    }
    void SetFrameSizeLimit(int32_t bytes) override { frameSizeLimit = bytes; }

    void Log(const char* name, int32_t value) { calls.push_back(name + std::to_string(value)); }

    int id = 0;
    std::vector<std::string> calls;
    int32_t width = 0, height = 0;
    int32_t capacity = 0;
    int32_t framesCoded = 0;
    int32_t lastSize = 0;
    int32_t lastIntra = 0;
    std::vector<uint8_t> lastPicture;  // Y, Cb, Cr of the last picture handed over
    uint8_t* inputPlanes[3] = {};      // Y, Cb, Cr the encoder reads in place (null: its own)
    int32_t framesReadInPlace = 0;
    std::vector<int32_t> keyFlags;  // keyFrame argument of every EncodeFrame
    struct RateCall {
        int64_t bits;
        int32_t numerator, denominator;
    };
    std::vector<RateCall> rateCalls;
    int32_t frameSizeLimit = 0;
    std::vector<int32_t> frameLimits;  // the limit in force at every EncodeFrame
};

class FakeDecoder final : public DecoderInterface {
  public:
    int32_t BeginDecompress() override;
    int32_t DecodeFrame(const uint8_t* data, int32_t size) override;
    int32_t EndDecompress() override;
    PlanarFrame GetPicture() override;
    int32_t Probe() override { return 0; }
    int32_t GetWidth() override { return width; }
    int32_t GetHeight() override { return height; }

    int id = 0;
    int32_t width = 176, height = 144;
    int32_t beginResult = kDecodeOk;
    int32_t decodeResult = kDecodeOk;
    int begins = 0, ends = 0, frames = 0;
    std::vector<uint8_t> planes;
};

struct FakeCodecs {
    static void Reset();
    static const CodecFactory& Factory();

    static std::vector<FakeEncoder*> encoders;  // live ones
    static std::vector<FakeDecoder*> decoders;  // live ones
    static std::vector<int> destroyedDecoders;  // ids, in order
    static int encodersCreated;
    static int encodersDestroyed;
    static bool failEncoderCreation;
    static bool failDecoderCreation;
    static int32_t encoderInitResult;
    static int32_t encodedFrameBytes;  // what each EncodeFrame writes
};

// Opening through DriverProc's path but with the fakes' factory.
DWORD_PTR OpenWithFakes(DWORD flags, ICOPEN* openRecord = nullptr);
using test::BitmapFormat;
using test::kKmqxFourCC;
using test::OpenBuiltIn;
using test::Ptr;
using test::Send;
// The biCompression of the uncompressed layout a bit count names most
// plainly: YVU9, YV12, YUYV, else BI_RGB.
DWORD PlainTag(WORD bitCount);
using test::HostFormat;
using test::HostSourceFormat;
using test::kHostSourceFormats;
using test::MaskedFormat;
BITMAPINFOHEADER CompressedFormat(int32_t width = 176, int32_t height = 144);
CodecSettings StateOf(DWORD_PTR id);

}  // namespace kmqx::testing
