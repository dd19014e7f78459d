#include "encoder/macroblock_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/h263_tables.h"
#include "test_support.h"

namespace kmqx {
namespace {

// Collects what a writer call emits as a bit string.
class Bits {
  public:
    Bits() : buffer_(4096, 0) { writer_.Begin(buffer_.data(), int32_t(buffer_.size())); }
    BitWriter& writer() { return writer_; }
    std::string str() {
        const auto count = size_t(writer_.BitCount());
        BitWriter copy = writer_;
        copy.FinishPicture();
        return test::BitsOf(buffer_.data(), count);
    }

  private:
    std::vector<uint8_t> buffer_;
    BitWriter writer_;
};

std::string Event(int last, int run, int level) {
    Bits bits;
    WriteCoefficientEvent(bits.writer(), last, run, level);
    return bits.str();
}

TEST(CoefficientEvents, TableCodesCarryASignBit) {
    EXPECT_EQ(Event(0, 0, 1),
              "10"
              "0");
    EXPECT_EQ(Event(0, 0, -1),
              "10"
              "1");
    EXPECT_EQ(Event(1, 0, -1),
              "0111"
              "1");
    // The last entries of each table range have codes.
    EXPECT_EQ(Event(1, 40, 1),
              "000001011111"
              "0");
    EXPECT_EQ(Event(0, 0, 12),
              "00000100000"
              "0");
    EXPECT_EQ(Event(0, 26, 1),
              "000001010111"
              "0");
}

TEST(CoefficientEvents, UnlistedEventsUseTheTwentyTwoBitEscape) {
    EXPECT_EQ(Event(0, 1, 7),
              "0000011"
              "0"
              "000001"
              "00000111");
    EXPECT_EQ(Event(0, 1, -7),
              "0000011"
              "0"
              "000001"
              "11111001");
    EXPECT_EQ(Event(1, 41, 1),
              "0000011"
              "1"
              "101001"
              "00000001");
    EXPECT_EQ(Event(0, 0, 13),
              "0000011"
              "0"
              "000000"
              "00001101");
    EXPECT_EQ(Event(0, 0, -13),
              "0000011"
              "0"
              "000000"
              "11110011");
    EXPECT_EQ(Event(1, 63, 127),
              "0000011"
              "1"
              "111111"
              "01111111");
    EXPECT_EQ(Event(1, 63, -127),
              "0000011"
              "1"
              "111111"
              "10000001");
    EXPECT_EQ(Event(0, 27, 1).size(), 22u);  // beyond the LAST = 0 runs
    EXPECT_EQ(Event(0, 2, 5).size(), 22u);   // beyond the levels of run 2
}

TEST(Blocks, IntraDcAndRunLengthEvents) {
    int8_t levels[64] = {};
    levels[0] = static_cast<int8_t>(128);
    Bits dcOnly;
    WriteIntraBlock(dcOnly.writer(), levels, 0);
    EXPECT_EQ(dcOnly.str(), "11111111");  // 128 goes out as 255

    levels[0] = 100;
    levels[kZigzag[1]] = 1;   // run 0
    levels[kZigzag[4]] = -2;  // run 2
    levels[kZigzag[63]] = 1;  // run 58, last: escape
    Bits coded;
    WriteIntraBlock(coded.writer(), levels, 63);
    EXPECT_EQ(coded.str(), "01100100" + Event(0, 0, 1) + Event(0, 2, -2) + Event(1, 58, 1));
}

TEST(Blocks, InterBlockCodesIndexZeroAsAnEvent) {
    int8_t levels[64] = {};
    levels[0] = -1;
    Bits single;
    WriteInterBlock(single.writer(), levels, 0);
    EXPECT_EQ(single.str(),
              "0111"
              "1");

    levels[0] = 0;
    levels[kZigzag[3]] = 3;
    levels[kZigzag[5]] = -1;
    Bits two;
    WriteInterBlock(two.writer(), levels, 5);
    EXPECT_EQ(two.str(), Event(0, 3, 3) + Event(1, 1, -1));
}

TEST(Blocks, InterMacroblockWritesOnlyPatternBlocks) {
    MacroblockLevels blocks{};
    for (int b = 0; b < 6; ++b) blocks.levels[b][0] = int8_t(b + 1);
    Bits bits;
    WriteBlocks(bits.writer(), false, 16 | 1, blocks);  // Y1 and Cr
    EXPECT_EQ(bits.str(), Event(1, 0, 2) + Event(1, 0, 6));
}

TEST(MacroblockHeaders, IntraAndInterCbpy) {
    Bits intraI;
    WriteIntraMacroblockHeader(intraI.writer(), 0, 0x3C);  // all luma bits, no chroma
    EXPECT_EQ(intraI.str(),
              "1"
              "11");
    Bits intraP;
    WriteIntraMacroblockHeader(intraP.writer(), 1, 0x3C | 3);
    EXPECT_EQ(intraP.str(),
              "0"
              "0000011"
              "11");
    Bits inter;
    WriteInterMacroblockHeader(inter.writer(), 0x3C | 2);
    EXPECT_EQ(inter.str(),
              "0"
              "0010"
              "0011");  // CBPY looked up as 0000
    Bits interNone;
    WriteInterMacroblockHeader(interNone.writer(), 0);
    EXPECT_EQ(interNone.str(),
              "0"
              "1"
              "11");
    Bits skipped;
    WriteSkippedMacroblock(skipped.writer());
    EXPECT_EQ(skipped.str(), "1");
}

class MotionVectors : public ::testing::Test {
  protected:
    void SetUp() override { grid.Reset(4, 3); }
    void Set(int x, int y, int mvX, int mvY, int halfX = 0, int halfY = 0) {
        MacroblockInfo& m = grid.At(x, y);
        m.mvX = mvX;
        m.mvY = mvY;
        m.halfX = halfX;
        m.halfY = halfY;
    }
    MacroblockGrid grid;
};

TEST_F(MotionVectors, FirstMacroblockPredictsZero) {
    Set(0, 0, 3, -2);
    EXPECT_EQ(PredictMotionVector(grid, 0, 0, false).x, 0);
    EXPECT_EQ(PredictMotionVector(grid, 0, 0, false).y, 0);
    Bits bits;
    WriteMotionVector(bits.writer(), grid, 0, 0, false);
    EXPECT_EQ(bits.str(),
              "0000100"
              "0"
              "000011"
              "1");  // +6, -4 half pixels
}

TEST_F(MotionVectors, TopRowTakesTheLeftNeighbour) {
    Set(0, 0, 2, -1, 1, 0);
    const HalfPelVector p = PredictMotionVector(grid, 1, 0, false);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, -2);
}

TEST_F(MotionVectors, MedianOfLeftAboveAndAboveRight) {
    Set(0, 1, 1, 7);   // left
    Set(1, 0, 4, -3);  // above
    Set(2, 0, 2, 0);   // above right
    const HalfPelVector p = PredictMotionVector(grid, 1, 1, false);
    EXPECT_EQ(p.x, 4);
    EXPECT_EQ(p.y, 0);
    // Behind a GOB header only the left neighbour counts.
    const HalfPelVector g = PredictMotionVector(grid, 1, 1, true);
    EXPECT_EQ(g.x, 2);
    EXPECT_EQ(g.y, 14);
}

TEST_F(MotionVectors, RightEdgeCountsOutsideAsZero) {
    Set(2, 1, 3, 3);  // left of the last column
    Set(3, 0, 5, 5);  // above
    const HalfPelVector p = PredictMotionVector(grid, 3, 1, false);
    EXPECT_EQ(p.x, 6);  // median(6, 10, 0)
    EXPECT_EQ(p.y, 6);
}

TEST_F(MotionVectors, DifferenceWrapsIntoRange) {
    Set(0, 1, 15, 0, 1, 0);    // left: 31 half pixels
    Set(1, 1, -15, 0, -1, 0);  // -31
    Bits bits;
    WriteMotionVector(bits.writer(), grid, 1, 1, true);
    // -62 wraps to 2, y difference 0.
    EXPECT_EQ(bits.str(),
              "001"
              "0"
              "1");

    Set(0, 2, -16, 0);  // -32
    Set(1, 2, 0, 0);    // 32 wraps to -32: the code of magnitude 32, sign 1
    Bits wrapped;
    WriteMotionVector(wrapped.writer(), grid, 1, 2, true);
    EXPECT_EQ(wrapped.str(),
              "000000000010"
              "1"
              "1");
}

}  // namespace
}  // namespace kmqx
