#include "decoder/bit_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kmqx {
namespace {

// The bit at `position` of the data followed by the 00 00 FC padding.
int ExpectedBit(const std::vector<uint8_t>& data, size_t position) {
    const size_t byte = position / 8;
    uint8_t value;
    if (byte < data.size()) {
        value = data[byte];
    } else {
        // The padding restarts in each staging chunk after the data ends.
        const size_t chunk = BitReader::kStagingSize;
        const size_t padStart =
            byte / chunk == data.size() / chunk ? data.size() : byte / chunk * chunk;
        const size_t k = (byte - padStart) % 3;
        value = k == 2 ? 0xFC : 0x00;
    }
    return (value >> (7 - position % 8)) & 1;
}

TEST(BitReader, PeekAtStartOfPicture) {
    const uint8_t frame[] = {0x00, 0x00, 0x80, 0x02, 0x55};
    BitReader reader;
    reader.Init(frame, sizeof(frame));
    EXPECT_EQ(reader.Peek(24), 0x000080u);
    EXPECT_EQ(reader.Peek(22), 32u);  // a picture start code
    EXPECT_EQ(reader.Read(17), 1u);
    EXPECT_EQ(reader.Read(5), 0u);
    EXPECT_EQ(reader.Read(8), 0x00u);  // TR
    EXPECT_EQ(reader.Read(2), 2u);     // marker bit, H.261 distinction bit
    EXPECT_EQ(reader.BitPosition(), 32);
}

// Reads of every width at every bit offset, across staging chunks and past
// the end of the data into the padding, give the bits of the stream.
TEST(BitReader, MixedReadsMatchTheStreamAcrossChunksAndEnd) {
    std::mt19937 random(7);
    for (size_t size :
         {size_t(0), size_t(1), size_t(5), size_t(2048), size_t(2051), size_t(4100)}) {
        std::vector<uint8_t> data(size);
        for (auto& b : data) b = uint8_t(random());
        BitReader reader;
        reader.Init(data.data(), int32_t(data.size()));
        size_t position = 0;
        while (position < data.size() * 8 + 3000) {
            const int n = 1 + int(random() % BitReader::kMaxBits);
            uint32_t expected = 0;
            for (int i = 0; i < n; ++i)
                expected = (expected << 1) | ExpectedBit(data, position + i);
            ASSERT_EQ(reader.Peek(n), expected) << "size " << size << " bit " << position;
            if (random() % 2) {
                reader.Skip(n);
            } else {
                ASSERT_EQ(reader.Read(n), expected);
            }
            position += size_t(n);
            ASSERT_EQ(reader.BitPosition(), int64_t(position));
        }
    }
}

TEST(BitReader, PastTheEndReadsEndOfSequenceCodes) {
    // A frame that stops in the middle of a macroblock: 17 bits across the
    // end continue into 00 00 FC.
    const uint8_t frame[] = {0xA5, 0xF0};
    BitReader reader;
    reader.Init(frame, sizeof(frame));
    reader.Skip(16);
    EXPECT_EQ(reader.Peek(22), 63u);  // sixteen zeros, a one, group number 31
    reader.Skip(5);
    reader.SyncToStartCode();
    EXPECT_EQ(reader.Peek(22), 63u);
}

TEST(BitReader, EmptyAndNullFramesReadOnlyPadding) {
    BitReader reader;
    reader.Init(nullptr, 100);  // a null pointer is never read
    EXPECT_EQ(reader.Peek(24), 0x0000FCu);
    reader.Init(nullptr, 0);
    reader.SyncToStartCode();
    EXPECT_EQ(reader.BitPosition(), 0);
    const uint8_t one = 0xFF;
    reader.Init(&one, -5);  // negative sizes count as empty
    EXPECT_EQ(reader.Peek(24), 0x0000FCu);
}

TEST(BitReader, SyncFindsUnalignedStartCode) {
    // 3 one bits, 19 zero bits, a one: the start code begins after 6 bits.
    const uint8_t frame[] = {0xE0, 0x00, 0x02, 0x00};
    BitReader reader;
    reader.Init(frame, sizeof(frame));
    reader.SyncToStartCode();
    EXPECT_EQ(reader.BitPosition(), 6);
    EXPECT_EQ(reader.Peek(17), 1u);
}

}  // namespace
}  // namespace kmqx
