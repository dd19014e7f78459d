#include "encoder/bit_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace kmqx {
namespace {

constexpr uint8_t kGuard = 0xA5;

TEST(BitWriter, PacksBitsMostSignificantFirstAcrossWords) {
    std::vector<uint8_t> buffer(16, kGuard);
    BitWriter writer;
    writer.Begin(buffer.data(), 16);
    writer.PutBits(3, 0b101);
    writer.PutBits(32, 0xDEADBEEF);  // straddles the first word
    writer.PutBits(0, 0xFFFF);       // writes nothing
    writer.PutBits(5, 0xFFFFFFE3);   // only the low five bits count: 00011
    writer.FinishPicture();
    // 101 + DEADBEEF + 00011 = 40 bits exactly: no padding.
    EXPECT_EQ(writer.ByteCount(), 5);
    EXPECT_EQ(test::BitsOf(buffer.data(), 40),
              "101"
              "11011110101011011011111011101111"
              "00011");
}

TEST(BitWriter, ExactFillStoresTheWordAtOnce) {
    std::vector<uint8_t> buffer(8, kGuard);
    BitWriter writer;
    writer.Begin(buffer.data(), 8);
    writer.PutBits(20, 0xABCDE);
    EXPECT_EQ(writer.ByteCount(), 0);
    writer.PutBits(12, 0x123);
    EXPECT_EQ(writer.ByteCount(), 4);
    EXPECT_EQ(writer.BitCount(), 32);
    writer.FinishPicture();  // nothing pending: no extra bytes
    EXPECT_EQ(writer.ByteCount(), 4);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[3], 0x23);
    EXPECT_EQ(buffer[4], kGuard);
}

TEST(BitWriter, FinishPadsWithZerosToTheNextByte) {
    std::vector<uint8_t> buffer(8, kGuard);
    BitWriter writer;
    writer.Begin(buffer.data(), 8);
    writer.PutBits(32, 0xFFFFFFFF);
    writer.PutBits(3, 0b111);  // 3 bits into a new byte
    writer.FinishPicture();
    EXPECT_EQ(writer.ByteCount(), 5);
    EXPECT_EQ(buffer[4], 0xE0);  // 111 and five zero bits
    // With room for it the whole final word is stored, as before.
    EXPECT_EQ(buffer[5], 0x00);
    EXPECT_EQ(buffer[7], 0x00);
}

// The writer must never touch the byte at the capacity, whatever the pattern
// of writes; a write that does not fit is reported, not stored.
TEST(BitWriter, NeverWritesBeyondCapacity) {
    for (int capacity = 1; capacity <= 9; ++capacity) {
        for (int bits = 1; bits <= 80; ++bits) {
            std::vector<uint8_t> buffer(capacity + 8, kGuard);
            BitWriter writer;
            writer.Begin(buffer.data(), capacity);
            for (int i = 0; i < bits; ++i) writer.PutBits(1, 1);
            writer.FinishPicture();
            const int needed = (bits + 7) / 8;
            EXPECT_EQ(writer.ByteCount(), needed);
            EXPECT_EQ(writer.Overflowed(), needed > capacity) << capacity << " " << bits;
            for (size_t i = capacity; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], kGuard) << "capacity " << capacity << " bits " << bits;
            }
            if (needed <= capacity) {
                for (int i = 0; i < bits / 8; ++i) ASSERT_EQ(buffer[i], 0xFF);
            }
        }
    }
}

TEST(BitWriter, NoBufferMeansOverflowWithoutWriting) {
    BitWriter writer;
    writer.Begin(nullptr, 100);
    writer.PutBits(32, 1);
    writer.FinishPicture();
    EXPECT_TRUE(writer.Overflowed());
}

TEST(BitWriter, BeginStartsAFreshPicture) {
    std::vector<uint8_t> buffer(8, kGuard);
    BitWriter writer;
    writer.Begin(buffer.data(), 1);
    writer.PutBits(32, 0);
    EXPECT_TRUE(writer.Overflowed());
    writer.Begin(buffer.data(), 8);
    writer.PutBits(4, 0xF);
    writer.FinishPicture();
    EXPECT_FALSE(writer.Overflowed());
    EXPECT_EQ(writer.ByteCount(), 1);
    EXPECT_EQ(buffer[0], 0xF0);
}

}  // namespace
}  // namespace kmqx
