// Format queries, the formats the driver proposes, frame sizes and ICINFO.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

const DWORD kKmqx = mmioFOURCC('K', 'M', 'Q', 'X');
const DWORD kYv12 = mmioFOURCC('Y', 'V', '1', '2');

class FormatTest : public ::testing::Test {
  protected:
    void SetUp() override { id = OpenWithFakes(ICMODE_QUERY); }
    void TearDown() override { Send(id, DRV_CLOSE); }
    DWORD_PTR id = 0;
};

TEST_F(FormatTest, CompressQueryTakesSourcesByBitCountAlone) {
    for (WORD bits : {9, 12, 16, 24}) {
        BITMAPINFOHEADER source = SourceFormat(176, 144, bits, mmioFOURCC('j', 'u', 'n', 'k'));
        EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source)), ICERR_OK) << bits;
    }
    for (WORD bits : {0, 1, 8, 15, 32, 65535}) {
        BITMAPINFOHEADER source = SourceFormat(176, 144, bits);
        EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source)), ICERR_BADFORMAT) << bits;
    }
    BITMAPINFOHEADER source = SourceFormat(176, 144, 24);
    BITMAPINFOHEADER compressed = CompressedFormat();
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(&compressed)), ICERR_OK);
    compressed.biCompression = kYv12;
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(&compressed)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, 0, 0), ICERR_BADFORMAT);
    EXPECT_EQ(Send(0, ICM_COMPRESS_QUERY, Ptr(&source)), ICERR_BADFORMAT);
}

TEST_F(FormatTest, CompressGetSizeIsTheUncompressedFrameSize) {
    const std::pair<WORD, LRESULT> expected[] = {
        {24, 76032}, {16, 50688}, {12, 38016}, {9, 28512}, {32, 0}};
    for (auto [bits, size] : expected) {
        BITMAPINFOHEADER source = SourceFormat(176, 144, bits);
        EXPECT_EQ(Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source)), size) << bits;
    }
    // Odd products truncate; huge ones wrap to 32 bits rather than overflow.
    BITMAPINFOHEADER odd = SourceFormat(3, 3, 9);
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&odd)), 10);
    BITMAPINFOHEADER topDown = SourceFormat(176, -144, 24);
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&topDown)), -76032);
    BITMAPINFOHEADER huge = SourceFormat(0x7FFFFFFF, 0x7FFFFFFF, 24);
    Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&huge));  // must not trap under UBSan
}

TEST_F(FormatTest, CompressGetFormatFillsTheCompressedFormat) {
    BITMAPINFOHEADER source = SourceFormat(176, 144, 24);
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&source)), 40);
    BITMAPINFOHEADER out;
    std::memset(&out, 0xEE, sizeof(out));
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&source), Ptr(&out)), ICERR_OK);
    EXPECT_EQ(out.biSize, 40u);
    EXPECT_EQ(out.biWidth, 176);
    EXPECT_EQ(out.biHeight, 144);
    EXPECT_EQ(out.biPlanes, 1);
    EXPECT_EQ(out.biBitCount, 24);
    EXPECT_EQ(std::memcmp(&out.biCompression, "KMQX", 4), 0);
    EXPECT_EQ(out.biSizeImage, 76032u);
    EXPECT_EQ(out.biXPelsPerMeter | out.biYPelsPerMeter, 0);
    EXPECT_EQ(out.biClrUsed | out.biClrImportant, 0u);

    BITMAPINFOHEADER rejected = SourceFormat(176, 144, 32);
    std::memset(&out, 0xEE, sizeof(out));
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&rejected), Ptr(&out)), ICERR_BADFORMAT);
    EXPECT_EQ(out.biSize, 0xEEEEEEEEu) << "a rejected format is not written";
}

TEST_F(FormatTest, DecompressQueryAndGetFormat) {
    BITMAPINFOHEADER compressed = CompressedFormat(352, 288);
    BITMAPINFOHEADER rgb24 = SourceFormat(352, 288, 24);
    BITMAPINFOHEADER rgb32 = SourceFormat(352, 288, 32);
    BITMAPINFOHEADER yv12 = SourceFormat(352, 288, 12, kYv12);
    BITMAPINFOHEADER yv12Wrong = SourceFormat(352, 288, 16, kYv12);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&rgb24)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&yv12)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&rgb32)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&yv12Wrong)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&rgb24), Ptr(&rgb24)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, 0, Ptr(&rgb24)), ICERR_BADFORMAT);

    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(&compressed)), 40);
    BITMAPINFOHEADER out;
    std::memset(&out, 0xEE, sizeof(out));
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(&compressed), Ptr(&out)), ICERR_OK);
    EXPECT_EQ(out.biSize, 40u);
    EXPECT_EQ(out.biWidth, 352);
    EXPECT_EQ(out.biHeight, 288);
    EXPECT_EQ(out.biPlanes, 1);
    EXPECT_EQ(out.biBitCount, 24);
    EXPECT_EQ(out.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(out.biSizeImage, 0u);
    EXPECT_EQ(out.biClrUsed | out.biClrImportant, 0u);
    std::memset(&out, 0xEE, sizeof(out));
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(&rgb24), Ptr(&out)), ICERR_BADFORMAT);
    EXPECT_EQ(out.biSize, 0xEEEEEEEEu);
}

TEST_F(FormatTest, GetInfoDescribesTheDriver) {
    EXPECT_EQ(Send(id, ICM_GETINFO, 0, sizeof(ICINFO)), 0);
    ICINFO info;
    std::memset(&info, 0xEE, sizeof(info));
    EXPECT_EQ(Send(id, ICM_GETINFO, Ptr(&info), 0), 4);
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_EQ(info.fccType, mmioFOURCC('v', 'i', 'd', 'c'));
    EXPECT_EQ(info.fccHandler, kKmqx);
    EXPECT_EQ(info.dwFlags, 191u);
    EXPECT_EQ(info.dwVersion, 2u);
    EXPECT_EQ(info.dwVersionICM, 260u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szName)), u"KMQX");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szDescription)),
              u"Corvel Video Codec 1999");
    EXPECT_EQ(static_cast<uint16_t>(info.szDriver[0]), 0xEEEEu) << "szDriver is not written";
}

}  // namespace
}  // namespace kmqx::testing
