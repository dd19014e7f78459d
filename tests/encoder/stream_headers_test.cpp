#include "encoder/stream_headers.h"

#include <gtest/gtest.h>

#include <vector>

#include "encoder/picture_size_bound.h"
#include "test_support.h"

namespace kmqx {
namespace {

std::vector<uint8_t> Written(const PictureHeader& header, int* bits) {
    std::vector<uint8_t> buffer(32, 0);
    BitWriter writer;
    writer.Begin(buffer.data(), 32);
    WritePictureHeader(writer, header);
    *bits = static_cast<int>(writer.BitCount());
    writer.FinishPicture();
    return buffer;
}

TEST(StreamHeaders, SourceFormatFromExactSize) {
    EXPECT_EQ(SourceFormatCode(128, 96), 1);
    EXPECT_EQ(SourceFormatCode(176, 144), 2);
    EXPECT_EQ(SourceFormatCode(352, 288), 3);
    EXPECT_EQ(SourceFormatCode(704, 576), 4);
    EXPECT_EQ(SourceFormatCode(1408, 1152), 5);
    EXPECT_EQ(SourceFormatCode(144, 176), 7);  // transposed QCIF is custom
    EXPECT_EQ(SourceFormatCode(320, 240), 7);
    EXPECT_EQ(SourceFormatCode(176, 145), 7);
}

TEST(StreamHeaders, QcifIntraHeader) {
    int bits = 0;
    const std::vector<uint8_t> bytes = Written({0, kSourceFormatQcif, 176, 144, 0, 6}, &bits);
    EXPECT_EQ(bits, 22 + 8 + 13 + 5 + 2);  // PSC, TR, PTYPE, PQUANT, CPM + PEI
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x80);
    EXPECT_EQ(bytes[3], 0x02);
    // TR 0 | 10000 010 | I | 0000 | 00110 | CPM 0 | PEI 0
    EXPECT_EQ(test::BitsOf(bytes.data(), bits).substr(22),
              "00000000"
              "10000"
              "010"
              "0"
              "0000"
              "00110"
              "0"
              "0");
}

TEST(StreamHeaders, CustomSizeCarriesTwelveBitWidthAndHeight) {
    int bits = 0;
    const std::vector<uint8_t> bytes = Written({300, kSourceFormatCustom, 320, 240, 1, 31}, &bits);
    EXPECT_EQ(bits, 22 + 8 + 13 + 24 + 5 + 2);
    EXPECT_EQ(bits, kMaxPictureHeaderBits) << "the size bound counts the longest header";
    // TR 300 mod 256 = 44.
    EXPECT_EQ(test::BitsOf(bytes.data(), bits).substr(22),
              "00101100"
              "10000"
              "111"
              "000101000000"
              "000011110000"
              "1"
              "0000"
              "11111"
              "00");
}

TEST(StreamHeaders, GobHeaderOfRowFive) {
    std::vector<uint8_t> buffer(8, 0);
    BitWriter writer;
    writer.Begin(buffer.data(), 8);
    writer.PutBits(3, 0b111);  // unaligned on purpose
    WriteGobHeader(writer, 5, 6);
    EXPECT_EQ(writer.BitCount(), 3 + 29);
    EXPECT_EQ(writer.BitCount(), 3 + kGobHeaderBits);
    EXPECT_EQ(test::BitsOf(buffer.data(), 32),
              "111"
              "00000000000000001"
              "00101"
              "00"
              "00110");
}

TEST(StreamHeaders, GobHeadersOnlyWhereGnCanNumberThem) {
    EXPECT_FALSE(RowCanCarryGobHeader(0));
    EXPECT_TRUE(RowCanCarryGobHeader(1));
    EXPECT_TRUE(RowCanCarryGobHeader(30));
    EXPECT_FALSE(RowCanCarryGobHeader(31));  // 31 is the end-of-sequence number
}

}  // namespace
}  // namespace kmqx
