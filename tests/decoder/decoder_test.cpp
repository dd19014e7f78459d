// The decoder object: lifecycle, header rules, and the macroblock layer on
// hand-made streams.
#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "stream_builder.h"
#include "test_support.h"

namespace kmqx::test {
namespace {

constexpr int kQcifCols = 11;
constexpr int kQcifRows = 9;

// An intra macroblock whose six blocks carry only the DC value `dc` (1..254,
// or 255 for 128).
void IntraDcMacroblock(StreamBuilder& s, int dc, bool interPicture) {
    if (interPicture) {
        s.Put(1, 0);  // COD
        s.McbpcInter(3, 0);
    } else {
        s.McbpcIntra(3, 0);
    }
    s.Cbpy(0, true);
    for (int block = 0; block < 6; ++block) s.Put(8, uint32_t(dc));
}

std::vector<uint8_t> IntraPicture(int sourceFormat, int macroblocks, int dc, int width = 0,
                                  int height = 0) {
    StreamBuilder s;
    s.PictureHeader(sourceFormat, 0, 8, width, height);
    for (int i = 0; i < macroblocks; ++i) IntraDcMacroblock(s, dc, false);
    return s.Finish();
}

// An INTER picture header, then nothing: the caller adds macroblocks.
StreamBuilder InterPicture(int quant = 8) {
    StreamBuilder s;
    s.PictureHeader(2, 1, quant);
    return s;
}

struct Session {
    Decoder decoder;
    Session() { EXPECT_EQ(decoder.BeginDecompress(), kDecodeOk); }
    ~Session() { decoder.EndDecompress(); }
    int32_t Decode(const std::vector<uint8_t>& frame) {
        return decoder.DecodeFrame(frame.data(), int32_t(frame.size()));
    }
    // The size a new sequence would take from frame, as "width x height", or
    // "none"; read by a decoder of its own.
    static std::string SequenceSize(const std::vector<uint8_t>& frame) {
        Decoder reader;
        int32_t width = 0, height = 0;
        if (!reader.ReadSequenceSize(frame.data(), int32_t(frame.size()), &width, &height))
            return "none";
        return std::to_string(width) + " x " + std::to_string(height);
    }
    uint8_t Luma(int x, int y) { return decoder.GetPicture().y[y * decoder.GetWidth() + x]; }
    uint8_t Cb(int x, int y) { return decoder.GetPicture().cb[y * (decoder.GetWidth() / 2) + x]; }
};

TEST(DecoderLifecycle, ResultsOutsideAndInsideASequence) {
    Decoder decoder;
    const auto picture = IntraPicture(2, kQcifCols * kQcifRows, 100);
    EXPECT_EQ(decoder.DecodeFrame(picture.data(), int32_t(picture.size())), kDecodeNoSequence);
    EXPECT_EQ(decoder.EndDecompress(), kDecodeNoSequence);
    EXPECT_EQ(decoder.Probe(), 1);
    EXPECT_EQ(decoder.BeginDecompress(), kDecodeOk);
    EXPECT_EQ(decoder.BeginDecompress(), kDecodeSequenceRunning);
    EXPECT_EQ(decoder.DecodeFrame(picture.data(), int32_t(picture.size())), kDecodeOk);
    EXPECT_EQ(decoder.GetWidth(), 176);
    EXPECT_EQ(decoder.EndDecompress(), kDecodeOk);
    EXPECT_EQ(decoder.GetWidth(), 0);
    EXPECT_EQ(decoder.GetPicture().y, nullptr);
    EXPECT_EQ(decoder.EndDecompress(), kDecodeNoSequence);

    // A new sequence takes its size from its own first picture.
    EXPECT_EQ(decoder.BeginDecompress(), kDecodeOk);
    const auto small = IntraPicture(1, 8 * 6, 50);
    EXPECT_EQ(decoder.DecodeFrame(small.data(), int32_t(small.size())), kDecodeOk);
    EXPECT_EQ(decoder.GetWidth(), 128);
    EXPECT_EQ(decoder.GetHeight(), 96);
    EXPECT_EQ(decoder.EndDecompress(), kDecodeOk);
}

TEST(DecoderLifecycle, FramesWithNothingToDecode) {
    Session session;
    const std::vector<uint8_t> empty;
    const std::vector<uint8_t> zeros(40, 0);
    StreamBuilder gobFirst;
    gobFirst.GobHeader(3, 8);
    const auto gobFrame = gobFirst.Finish();
    // Leading zeros stand for a black picture even where a picture follows.
    std::vector<uint8_t> zerosThenPicture(3, 0);
    const auto picture = IntraPicture(2, kQcifCols * kQcifRows, 100);
    zerosThenPicture.insert(zerosThenPicture.end(), picture.begin(), picture.end());

    // Before the first picture: no size, no picture, result 0.
    const std::vector<uint8_t>* nothingYet[] = {&empty, &zeros, &gobFrame, &zerosThenPicture};
    for (const auto* frame : nothingYet) {
        EXPECT_EQ(Session::SequenceSize(*frame), "none");
        EXPECT_EQ(session.Decode(*frame), kDecodeOk);
        EXPECT_EQ(session.decoder.GetWidth(), 0);
        EXPECT_EQ(session.decoder.GetHeight(), 0);
        EXPECT_EQ(session.decoder.GetPicture().y, nullptr);
    }

    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    // An empty frame or a GOB without its picture keeps the last picture.
    EXPECT_EQ(session.Decode(empty), kDecodeOk);
    EXPECT_EQ(session.Luma(5, 5), 100);
    EXPECT_EQ(session.Decode(gobFrame), kDecodeOk);
    EXPECT_EQ(session.Luma(5, 5), 100);

    // Leading zeros: a black picture, which the next INTER picture predicts
    // from like any other picture.
    EXPECT_EQ(session.Decode(zeros), kDecodeOk);
    EXPECT_EQ(session.Luma(5, 5), 16);
    EXPECT_EQ(session.Cb(5, 5), 128);
    StreamBuilder skipped = InterPicture();
    for (int i = 0; i < kQcifCols * kQcifRows; ++i) skipped.Put(1, 1);
    EXPECT_EQ(session.Decode(skipped.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(5, 5), 16);
    EXPECT_EQ(session.Cb(5, 5), 128);
}

TEST(DecoderHeaders, AcceptedSizes) {
    {
        Session session;
        ASSERT_EQ(session.Decode(IntraPicture(7, 20 * 15, 60, 320, 240)), kDecodeOk);
        EXPECT_EQ(session.decoder.GetWidth(), 320);
        EXPECT_EQ(session.decoder.MacroblockCols(), 20);
        EXPECT_EQ(session.decoder.MacroblockRows(), 15);
        EXPECT_EQ(session.Luma(319, 239), 60);
    }
    {
        // Coded over 112 x 112, handed out at 100 x 100 and 50 x 50.
        Session session;
        ASSERT_EQ(session.Decode(IntraPicture(7, 7 * 7, 70, 100, 100)), kDecodeOk);
        EXPECT_EQ(session.decoder.GetWidth(), 100);
        EXPECT_EQ(session.decoder.GetHeight(), 100);
        EXPECT_EQ(session.decoder.MacroblockCols(), 7);
        EXPECT_EQ(session.Luma(99, 99), 70);
        EXPECT_EQ(session.Cb(49, 49), 70);
    }
    {
        // Sizes beyond the standard's 88 x 72 macroblocks: 16CIF and large
        // custom sizes.
        Session session;
        ASSERT_EQ(session.Decode(IntraPicture(5, 88 * 72, 90)), kDecodeOk);
        EXPECT_EQ(session.Luma(1407, 1151), 90);
        Session large;
        ASSERT_EQ(large.Decode(IntraPicture(7, 120 * 2, 91, 1920, 20)), kDecodeOk);
        EXPECT_EQ(large.Luma(1919, 19), 91);
    }
}

TEST(DecoderHeaders, RejectedPictures) {
    // The four option bits, split screen and CPM are each refused.
    auto header = [](int splitScreen, int optionBit, int cpm) {
        StreamBuilder s;
        s.Put(17, 1);
        s.Put(5, 0);
        s.Put(8, 0);
        s.Put(2, 2);
        s.Put(1, uint32_t(splitScreen));
        s.Put(2, 0);
        s.Put(3, 2);
        s.Put(1, 0);
        s.Put(4, optionBit >= 0 ? 8u >> optionBit : 0u);
        s.Put(5, 8);
        s.Put(1, uint32_t(cpm));
        s.Put(1, 0);
        for (int i = 0; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(s, 100, false);
        return s.Finish();
    };
    Session session;
    // What the headers alone tell of a sequence's size agrees throughout.
    for (int option = 0; option < 4; ++option) {
        EXPECT_EQ(Session::SequenceSize(header(0, option, 0)), "none") << option;
        EXPECT_EQ(session.Decode(header(0, option, 0)), kDecodeHeaderRejected) << option;
    }
    for (const auto& rejected : {header(1, -1, 0), header(0, -1, 1), IntraPicture(0, 0, 100),
                                 IntraPicture(6, 0, 100), IntraPicture(7, 0, 100, 0, 16)})
        EXPECT_EQ(Session::SequenceSize(rejected), "none");
    EXPECT_EQ(Session::SequenceSize(header(0, -1, 0)), "176 x 144");
    EXPECT_EQ(Session::SequenceSize(IntraPicture(7, 1, 100, 100, 60)), "100 x 60");
    EXPECT_EQ(session.Decode(header(1, -1, 0)), kDecodeHeaderRejected);
    EXPECT_EQ(session.Decode(header(0, -1, 1)), kDecodeHeaderRejected);
    EXPECT_EQ(session.decoder.GetWidth(), 0);
    // Source formats without a size cannot start a sequence.
    EXPECT_EQ(session.Decode(IntraPicture(0, 0, 100)), kDecodeHeaderRejected);
    EXPECT_EQ(session.Decode(IntraPicture(6, 0, 100)), kDecodeHeaderRejected);
    EXPECT_EQ(session.Decode(IntraPicture(7, 0, 100, 0, 16)), kDecodeHeaderRejected);
    EXPECT_EQ(session.Decode(header(0, -1, 0)), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 100);

    // A rejected picture later in the sequence leaves the last one showing.
    EXPECT_EQ(session.Decode(header(0, 2, 0)), kDecodeHeaderRejected);
    EXPECT_EQ(session.Luma(0, 0), 100);
}

TEST(DecoderHeaders, SpareInformationIsSkipped) {
    StreamBuilder s;
    s.Put(17, 1);
    s.Put(5, 0);
    s.Put(8, 0);
    s.Put(5, 0x10);
    s.Put(3, 2);
    s.Put(1, 0);
    s.Put(4, 0);
    s.Put(5, 8);
    s.Put(1, 0);
    s.Put(1, 1);     // PEI
    s.Put(8, 0xFF);  // PSPARE
    s.Put(1, 0);     // PEI
    for (int i = 0; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(s, 255, false);
    Session session;
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(175, 143), 128);  // INTRADC 255 stands for 128
}

TEST(DecoderMacroblocks, GobHeaderResumesAtItsRowWithItsQuantiser) {
    Session session;
    StreamBuilder s;
    s.PictureHeader(2, 0, 8);
    for (int i = 0; i < kQcifCols; ++i) IntraDcMacroblock(s, 200, false);
    s.GobHeader(5, 12);
    for (int i = 5 * kQcifCols; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(s, 40, false);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.CurrentQuant(), 12);
    EXPECT_EQ(session.Luma(100, 10), 200);
    EXPECT_EQ(session.Luma(100, 40), 16);  // rows 1..4 passed over: black from allocation
    EXPECT_EQ(session.Luma(0, 80), 40);
    EXPECT_EQ(session.Luma(175, 143), 40);
}

TEST(DecoderMacroblocks, ResynchronisesAtTheNextGobHeader) {
    Session session;
    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    StreamBuilder s;
    s.PictureHeader(2, 0, 8);
    IntraDcMacroblock(s, 200, false);
    IntraDcMacroblock(s, 200, false);
    s.Put(9, 0);  // no MCBPC begins with nine zeros: an error
    s.Put(30, 0x2AAAAAAA);
    s.GobHeader(2, 8);
    for (int i = 2 * kQcifCols; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(s, 60, false);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 200);
    EXPECT_EQ(session.Luma(31, 15), 200);
    // From the error to the GOB header nothing is written: those areas keep
    // the picture before the reference (the black of allocation here).
    EXPECT_EQ(session.Luma(32, 0), 16);
    EXPECT_EQ(session.Luma(100, 20), 16);
    EXPECT_EQ(session.Luma(0, 32), 60);
}

TEST(DecoderMacroblocks, StartCodesEndThePicture) {
    Session session;
    StreamBuilder s;
    s.PictureHeader(2, 0, 8);
    for (int i = 0; i < 3; ++i) IntraDcMacroblock(s, 200, false);
    s.PictureHeader(2, 0, 8);  // the next picture: decoded by the next call only
    for (int i = 0; i < 3; ++i) IntraDcMacroblock(s, 30, false);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(40, 8), 200);
    EXPECT_EQ(session.Luma(60, 8), 16);

    // A GOB number beyond the last row ends the picture as well.
    StreamBuilder t;
    t.PictureHeader(2, 0, 8);
    IntraDcMacroblock(t, 50, false);
    t.GobHeader(kQcifRows, 8);
    IntraDcMacroblock(t, 60, false);
    ASSERT_EQ(session.Decode(t.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 50);
    EXPECT_EQ(session.Luma(20, 0), 16);
}

TEST(DecoderMacroblocks, StuffingIsPassedOver) {
    Session session;
    StreamBuilder s;
    s.PictureHeader(2, 0, 8);
    for (int i = 0; i < kQcifCols * kQcifRows; ++i) {
        s.PutCode(kMcbpcIntra[kMcbpcIntraStuffing]);
        IntraDcMacroblock(s, 77, false);
    }
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(175, 143), 77);

    // In an INTER picture stuffing is followed by a new COD bit.
    StreamBuilder t = InterPicture();
    for (int i = 0; i < kQcifCols * kQcifRows; ++i) {
        t.Put(1, 0);
        t.PutCode(kMcbpcInter[kMcbpcInterStuffing]);
        if (i == 0) {
            IntraDcMacroblock(t, 99, true);
        } else {
            t.Put(1, 1);
        }
    }
    ASSERT_EQ(session.Decode(t.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 99);
    EXPECT_EQ(session.Luma(16, 0), 77);
}

// An INTER macroblock with its MVD pair and no coefficients.
void InterMacroblock(StreamBuilder& s, int mvdX, int mvdY) {
    s.Put(1, 0);
    s.McbpcInter(0, 0);
    s.Cbpy(0, false);
    s.Mvd(mvdX);
    s.Mvd(mvdY);
}

TEST(DecoderMotionVectors, MedianPredictionAndWrap) {
    Session session;
    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    StreamBuilder s = InterPicture();
    // Row 0 predicts from the left alone; the first macroblock from (0, 0).
    InterMacroblock(s, 31, 4);   // (31, 4)
    InterMacroblock(s, 1, 0);    // 31 + 1 wraps to -32
    InterMacroblock(s, -1, -4);  // -32 - 1 wraps to 31; vertical 4 - 4 = 0
    for (int c = 3; c < kQcifCols; ++c) s.Put(1, 1);
    // Row 1: median of left, above and above right.
    InterMacroblock(
        s, 2, 6);  // left 0 (border), above (31, 4), above right (-32, 0): median (0, 4) + (2, 6)
    s.Put(1, 1);   // skipped: (0, 0)
    for (int c = 2; c < kQcifCols - 1; ++c) s.Put(1, 1);
    // At the right end the above-right candidate is 0: median(0, 0, 0) + 3.
    InterMacroblock(s, 3, 3);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 0), 31);
    EXPECT_EQ(session.decoder.StoredVectorY(0, 0), 4);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 1), -32);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 2), 31);
    EXPECT_EQ(session.decoder.StoredVectorY(0, 2), 0);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 0), 2);
    EXPECT_EQ(session.decoder.StoredVectorY(1, 0), 10);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 1), 0);
    EXPECT_EQ(session.decoder.StoredVectorX(1, kQcifCols - 1), 3);
}

TEST(DecoderMotionVectors, RowAfterGobHeaderPredictsFromTheLeftOnly) {
    Session session;
    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    StreamBuilder s = InterPicture();
    for (int c = 0; c < kQcifCols; ++c) InterMacroblock(s, c == 0 ? 8 : 0, 0);  // row 0: all (8, 0)
    s.GobHeader(1, 8);
    InterMacroblock(s, 2, 0);  // left border 0: (2, 0), not median(0, 8, 8) + 2
    InterMacroblock(s, 0, 0);  // left (2, 0)
    for (int c = 2; c < kQcifCols; ++c) s.Put(1, 1);
    InterMacroblock(s, 0, 0);  // row 2 without header: median(0, 2, 2) = 2
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 10), 8);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 0), 2);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 1), 2);
    EXPECT_EQ(session.decoder.StoredVectorX(2, 0), 2);

    // Also when the row begins with a skipped macroblock.
    StreamBuilder t = InterPicture();
    for (int c = 0; c < kQcifCols; ++c) InterMacroblock(t, c == 0 ? 8 : 0, 0);
    t.GobHeader(1, 8);
    t.Put(1, 1);
    InterMacroblock(t, 0, 0);  // left (0, 0), not median(0, 8, 8)
    ASSERT_EQ(session.Decode(t.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 1), 0);
}

TEST(DecoderMotionVectors, RangeCheckAndEdgeInterpolation) {
    Session session;
    // Reference: left half of each macroblock row 40, right 200 in column 0,
    // i.e. macroblock 0 is 40 and the others 200.
    StreamBuilder ref;
    ref.PictureHeader(2, 0, 8);
    for (int i = 0; i < kQcifCols * kQcifRows; ++i)
        IntraDcMacroblock(ref, i % kQcifCols ? 200 : 40, false);
    ASSERT_EQ(session.Decode(ref.Finish()), kDecodeOk);

    // (-1, 0) in column 0 passes (-1 / 2 is 0) and repeats the edge sample;
    // (1, 0) in column 0 averages 40 and 200 at the macroblock's right edge.
    StreamBuilder s = InterPicture();
    InterMacroblock(s, -1, 0);
    for (int c = 1; c < kQcifCols; ++c) s.Put(1, 1);
    InterMacroblock(s, 1,
                    0);  // row 1, column 0: predictor 0 (left border), above -1: median(0, -1, 0)
    for (int i = kQcifCols + 1; i < kQcifCols * kQcifRows; ++i) s.Put(1, 1);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 0), -1);
    EXPECT_EQ(session.Luma(0, 0), 40);
    EXPECT_EQ(session.Luma(14, 0), 40);
    EXPECT_EQ(session.decoder.StoredVectorX(1, 0), 1);
    EXPECT_EQ(session.Luma(14, 16), 40);
    EXPECT_EQ(session.Luma(15, 16), 120);  // (40 + 200 + 1) >> 1

    // -2 in column 0 points outside: the macroblock is abandoned and the rest
    // of the picture up to the next start code is passed over.
    StreamBuilder bad = InterPicture();
    InterMacroblock(bad, -2, 0);
    for (int i = 1; i < kQcifCols * kQcifRows; ++i) bad.Put(1, 1);
    ASSERT_EQ(session.Decode(bad.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 0), -2);
    // Nothing was written: the picture before the reference (the intra one).
    EXPECT_EQ(session.Luma(0, 0), 40);
    EXPECT_EQ(session.Luma(20, 0), 200);
}

TEST(DecoderMotionVectors, HalfPelAveragesAndChromaVector) {
    Session session;
    // A reference with a gradient across one macroblock boundary: column 0
    // is 10, column 1 is 90.
    StreamBuilder ref;
    ref.PictureHeader(2, 0, 8);
    for (int i = 0; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(ref, i % 2 ? 90 : 10, false);
    ASSERT_EQ(session.Decode(ref.Finish()), kDecodeOk);
    StreamBuilder s = InterPicture();
    s.Put(1, 1);
    InterMacroblock(s, -1, 1);  // column 1 predicts from (-1, +1) half-pels
    for (int i = 2; i < kQcifCols * kQcifRows; ++i) s.Put(1, 1);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    // x = 16 - 1 half: the first sample averages 10, 90, 10, 90 (rows equal).
    EXPECT_EQ(session.Luma(16, 0), (10 + 90 + 10 + 90 + 2) >> 2);
    EXPECT_EQ(session.Luma(17, 0), 90);
    // Chroma vector (-1, 1): the same half position in the chroma plane.
    EXPECT_EQ(session.Cb(8, 0), 50);
    EXPECT_EQ(session.Cb(9, 0), 90);
    EXPECT_EQ(session.Luma(0, 0), 10);  // skipped macroblocks copy the reference
}

// An INTER macroblock with one coded luma block holding a single coefficient
// event at position 0, predicted from a flat reference of 100.
int InterDcResult(int quant, int level, int dquantCode = -1, int32_t* quantAfter = nullptr,
                  bool escaped = false) {
    Session session;
    std::vector<uint8_t> flat = IntraPicture(2, kQcifCols * kQcifRows, 100);
    EXPECT_EQ(session.Decode(flat), kDecodeOk);
    StreamBuilder s = InterPicture(quant);
    s.Put(1, 0);
    s.McbpcInter(dquantCode >= 0 ? 1 : 0, 0);
    s.Cbpy(8, false);  // Y0 coded
    if (dquantCode >= 0) s.Put(2, uint32_t(dquantCode));
    s.Mvd(0);
    s.Mvd(0);
    if (escaped) {
        s.EscapedTcoef(1, 0, level);
    } else {
        s.Tcoef(1, 0, level);
    }
    for (int i = 1; i < kQcifCols * kQcifRows; ++i) s.Put(1, 1);
    EXPECT_EQ(session.Decode(s.Finish()), kDecodeOk);
    if (quantAfter) *quantAfter = session.decoder.CurrentQuant();
    EXPECT_EQ(session.Luma(8, 0), 100);  // Y1 not coded
    return session.Luma(0, 0) - 100;
}

TEST(DecoderBlocks, Dequantisation) {
    // Every sample gets (REC + 4) >> 3.
    EXPECT_EQ(InterDcResult(2, -3), (-13 + 4) >> 3);     // QUANT 2, LEVEL -3: REC -13
    EXPECT_EQ(InterDcResult(3, 3), (21 + 4) >> 3);       // QUANT 3, LEVEL 3: REC 21
    EXPECT_EQ(InterDcResult(1, -128), (-257 + 4) >> 3);  // escape LEVEL 128 is -128
    EXPECT_EQ(InterDcResult(5, -1, -1, nullptr, true), (-15 + 4) >> 3);  // escape LEVEL 255 is -1
    EXPECT_EQ(InterDcResult(5, 1, -1, nullptr, true), (15 + 4) >> 3);
    // Saturated at 4095: 31 * 255 would otherwise reach 7905.
    EXPECT_EQ(InterDcResult(31, 127), 155);  // 100 + 511 clips at 255
    EXPECT_EQ(InterDcResult(31, -127), -100);
    // A quantiser of 0 (not allowed, but a header can carry it) gives 0
    // rather than a magnitude of -1.
    EXPECT_EQ(InterDcResult(0, 5), 0);
}

TEST(DecoderBlocks, Dquant) {
    int32_t quant = 0;
    InterDcResult(2, 1, 1, &quant);  // -2 at 2 clips to 1
    EXPECT_EQ(quant, 1);
    InterDcResult(30, 1, 3, &quant);  // +2 at 30 clips to 31
    EXPECT_EQ(quant, 31);
    // The new quantiser applies to the blocks of the same macroblock.
    EXPECT_EQ(InterDcResult(4, 3, 2), (5 * 7 + 4) >> 3);  // +1: 5 * 7
}

TEST(DecoderBlocks, RunPastTheBlockEndAbandonsTheMacroblock) {
    Session session;
    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    StreamBuilder s;
    s.PictureHeader(2, 0, 8);
    IntraDcMacroblock(s, 50, false);
    s.McbpcIntra(3, 0);
    s.Cbpy(8, true);
    s.Put(8, 60);
    s.Tcoef(0, 40, 1);
    s.Tcoef(1, 30, 1);  // position 1 + 40 + 1 + 30 > 63
    for (int i = 0; i < 5; ++i) s.Put(8, 60);
    for (int i = 2; i < kQcifCols * kQcifRows; ++i) IntraDcMacroblock(s, 70, false);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 50);
    EXPECT_EQ(session.Luma(16, 0), 16);  // abandoned: never written
    EXPECT_EQ(session.Luma(40, 40), 16);
}

TEST(DecoderMacroblocks, InterPictureFirstPredictsFromBlack) {
    Session session;
    StreamBuilder s = InterPicture();
    s.Put(1, 1);
    IntraDcMacroblock(s, 80, true);
    for (int i = 2; i < kQcifCols * kQcifRows; ++i) s.Put(1, 1);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.Luma(0, 0), 16);
    EXPECT_EQ(session.Cb(0, 0), 128);
    EXPECT_EQ(session.Luma(16, 0), 80);
}

TEST(DecoderMacroblocks, Inter4vIsPredictedWithZeroAndOffersZero) {
    Session session;
    ASSERT_EQ(session.Decode(IntraPicture(2, kQcifCols * kQcifRows, 100)), kDecodeOk);
    // A picture that leaves the vector (4, 4) in the grid entry of column 1.
    StreamBuilder before = InterPicture(4);
    before.Put(1, 1);
    InterMacroblock(before, 4, 4);
    for (int i = 2; i < kQcifCols * kQcifRows; ++i) before.Put(1, 1);
    ASSERT_EQ(session.Decode(before.Finish()), kDecodeOk);
    ASSERT_EQ(session.decoder.StoredVectorX(0, 1), 4);

    StreamBuilder s = InterPicture(4);
    InterMacroblock(s, 6, 6);  // (6, 6)
    // INTER4V: CBPY as sent, no DQUANT, no MVD; its Y0 adds 4 * 7 - 1.
    s.Put(1, 0);
    s.McbpcInter(2, 0);
    s.Cbpy(8, false);
    s.Tcoef(1, 0, 3);
    InterMacroblock(s, 0, 0);  // predictor: left is INTER4V, which offers 0
    for (int i = 3; i < kQcifCols * kQcifRows; ++i) s.Put(1, 1);
    ASSERT_EQ(session.Decode(s.Finish()), kDecodeOk);
    EXPECT_EQ(session.decoder.StoredType(0, 1), kMacroblockInter4V);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 1), 0);
    EXPECT_EQ(session.decoder.StoredVectorX(0, 2), 0);
    EXPECT_EQ(session.Luma(16, 0), 100 + ((27 + 4) >> 3));
    EXPECT_EQ(session.Luma(24, 0), 100);
}

// A skipped macroblock is copied only where the two pictures may differ: a
// coded macroblock, a damaged picture or a black frame written into either
// picture makes the skips after it copy again.
TEST(DecoderMacroblocks, SkipsFollowEveryWriteOfEitherPicture) {
    constexpr int kAll = kQcifCols * kQcifRows;
    const auto skipped = [] {
        StreamBuilder s = InterPicture();
        for (int i = 0; i < kAll; ++i) s.Put(1, 1);
        return s.Finish();
    };
    // The first macroblock coded flat at `dc`, the rest skipped, or cut
    // short by an error after the first.
    const auto firstCoded = [](int dc, bool damaged) {
        StreamBuilder s = InterPicture();
        IntraDcMacroblock(s, dc, true);
        if (damaged) s.Put(12, 0);
        for (int i = 1; i < kAll && !damaged; ++i) s.Put(1, 1);
        return s.Finish();
    };
    StreamBuilder refused;
    refused.Put(17, 1);
    refused.Put(15, 0);
    refused.Put(1, 1);  // split screen
    const struct {
        std::vector<uint8_t> frame;
        int32_t result;
        int first;  // the first macroblock's samples, then all others'
        int others;
    } steps[] = {
        {IntraPicture(2, kAll, 100), kDecodeOk, 100, 100},
        {firstCoded(200, false), kDecodeOk, 200, 100},
        {skipped(), kDecodeOk, 200, 100},
        {skipped(), kDecodeOk, 200, 100},
        {skipped(), kDecodeOk, 200, 100},
        {firstCoded(50, false), kDecodeOk, 50, 100},
        {skipped(), kDecodeOk, 50, 100},
        {skipped(), kDecodeOk, 50, 100},
        {firstCoded(70, true), kDecodeOk, 70, 100},
        {skipped(), kDecodeOk, 70, 100},
        {refused.Finish(), kDecodeHeaderRejected, 70, 100},
        {skipped(), kDecodeOk, 70, 100},
        {std::vector<uint8_t>(40, 0), kDecodeOk, 16, 16},
        {skipped(), kDecodeOk, 16, 16},
        {skipped(), kDecodeOk, 16, 16},
    };
    Session session;
    int step = 0;
    for (const auto& s : steps) {
        EXPECT_EQ(session.Decode(s.frame), s.result) << step;
        EXPECT_EQ(session.Luma(15, 15), s.first) << step;
        EXPECT_EQ(session.Luma(16, 0), s.others) << step;
        EXPECT_EQ(session.Luma(175, 143), s.others) << step;
        ++step;
    }
}

// Decoders keep all their state in the object: two fed alternately give
// what each gives alone.
TEST(DecoderLifecycle, DecodersSideBySideAreIndependent) {
    const std::string dir = std::string(KMQX_SOURCE_DIR) + "/fuzz/streams/";
    const auto first = SplitPictures(ReadBytes(dir + "qcif_gob.263"));
    const auto second = SplitPictures(ReadBytes(dir + "sqcif_q20.263"));
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    const auto aloneFirst = DecodeAll(first);
    const auto aloneSecond = DecodeAll(second);
    Decoder a;
    Decoder b;
    a.BeginDecompress();
    b.BeginDecompress();
    for (size_t k = 0; k < std::max(first.size(), second.size()); ++k) {
        if (k < first.size()) {
            ASSERT_EQ(a.DecodeFrame(first[k].data(), int32_t(first[k].size())), kDecodeOk);
            EXPECT_EQ(Snapshot(a), aloneFirst[k]) << k;
        }
        if (k < second.size()) {
            ASSERT_EQ(b.DecodeFrame(second[k].data(), int32_t(second[k].size())), kDecodeOk);
            EXPECT_EQ(Snapshot(b), aloneSecond[k]) << k;
        }
    }
    a.EndDecompress();
    b.EndDecompress();
}

}  // namespace
}  // namespace kmqx::test
