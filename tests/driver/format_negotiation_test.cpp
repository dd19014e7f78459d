// Format queries, the formats the driver proposes, frame sizes and ICINFO.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

const DWORD kYv12 = mmioFOURCC('Y', 'V', '1', '2');
const DWORD kI420 = mmioFOURCC('I', '4', '2', '0');
const DWORD kYuy2 = mmioFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kBitfields = 3;

class FormatTest : public ::testing::Test {
  protected:
    void SetUp() override { id = OpenWithFakes(ICMODE_QUERY); }
    void TearDown() override { Send(id, DRV_CLOSE); }
    DWORD_PTR id = 0;
};

MaskedFormat Masked(int32_t width, int32_t height, WORD bits, DWORD compression, DWORD red = 0,
                    DWORD green = 0, DWORD blue = 0) {
    return MaskedFormat{BitmapFormat(width, height, bits, compression), {red, green, blue}};
}

TEST_F(FormatTest, SourcesAreToldApartByBitCountAndCompressionTogether) {
    const struct {
        MaskedFormat format;
        LRESULT size;  // bytes of the uncompressed frame; 0: refused
    } cases[] = {
        {Masked(176, 144, 24, BI_RGB), 76032},
        {Masked(176, -144, 24, BI_RGB), 76032},  // top-down
        {Masked(176, 144, 32, BI_RGB), 101376},
        {Masked(176, -144, 32, BI_RGB), 101376},
        {Masked(176, 144, 16, BI_RGB), 50688},  // RGB555
        {Masked(176, 144, 16, kBitfields, 0xF800, 0x07E0, 0x001F), 50688},
        {Masked(176, 144, 16, kBitfields, 0x7C00, 0x03E0, 0x001F), 50688},
        {Masked(176, 144, 16, kYuy2), 50688},
        {Masked(176, 144, 16, mmioFOURCC('Y', 'U', 'Y', 'V')), 50688},
        {Masked(176, 144, 12, kYv12), 38016},
        {Masked(176, 144, 12, kI420), 38016},
        {Masked(176, 144, 12, mmioFOURCC('I', 'Y', 'U', 'V')), 38016},
        {Masked(176, -144, 12, kI420), 38016},
        {Masked(176, 144, 9, mmioFOURCC('Y', 'V', 'U', '9')), 28512},
        {Masked(3, 3, 9, mmioFOURCC('Y', 'V', 'U', '9')), 10},  // truncated
        {Masked(176, 144, 16, kBitfields, 0x0F00, 0x00F0, 0x000F), 0},
        {Masked(176, 144, 32, kBitfields, 0xFF0000, 0xFF00, 0xFF), 0},
        {Masked(176, 144, 16, mmioFOURCC('j', 'u', 'n', 'k')), 0},
        {Masked(176, 144, 12, BI_RGB), 0},
        {Masked(176, 144, 9, BI_RGB), 0},
        {Masked(176, 144, 24, kYv12), 0},
        {Masked(176, 144, 8, BI_RGB), 0},
        {Masked(0, 144, 24, BI_RGB), 0},
        {Masked(4096, 16, 12, kYv12), 0},
        {Masked(16, -4096, 24, BI_RGB), 0},
    };
    for (const auto& c : cases) {
        const BITMAPINFOHEADER& source = c.format.header;
        SCOPED_TRACE(std::to_string(source.biBitCount) + " " + std::to_string(source.biWidth) +
                     "x" + std::to_string(source.biHeight));
        const LRESULT expected = c.size ? ICERR_OK : ICERR_BADFORMAT;
        EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source)), expected);
        // GET_SIZE: room for the largest picture of the size, whatever the
        // layout and orientation of the source; never below the frame.
        const LRESULT getSize = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source));
        const BITMAPINFOHEADER rgb = BitmapFormat(source.biWidth, std::abs(source.biHeight), 24);
        EXPECT_EQ(getSize, c.size ? Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&rgb)) : 0);
        EXPECT_GE(getSize, c.size);
        BITMAPINFOHEADER out;
        std::memset(&out, 0xEE, sizeof(out));
        EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&source), Ptr(&out)), expected);
        if (c.size == 0) {
            EXPECT_EQ(out.biSize, 0xEEEEEEEEu) << "a rejected format is not written";
            continue;
        }
        EXPECT_EQ(out.biSize, 40u);
        EXPECT_EQ(out.biWidth, source.biWidth);
        EXPECT_EQ(out.biHeight, std::abs(source.biHeight)) << "a picture has no orientation";
        EXPECT_EQ(out.biPlanes, 1);
        EXPECT_EQ(out.biBitCount, 24);
        EXPECT_EQ(out.biCompression, kKmqxFourCC);
        EXPECT_EQ(out.biSizeImage, DWORD(getSize)) << "hosts allocate from either";
        EXPECT_EQ(out.biXPelsPerMeter | out.biYPelsPerMeter, 0);
        EXPECT_EQ(out.biClrUsed | out.biClrImportant, 0u);
    }
    BITMAPINFOHEADER source = BitmapFormat(176, 144, 24);
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&source)), 40);
    BITMAPINFOHEADER compressed = CompressedFormat();
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(&compressed)), ICERR_OK);
    compressed.biCompression = kYv12;
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(&compressed)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, 0, 0), ICERR_BADFORMAT);
    EXPECT_EQ(Send(0, ICM_COMPRESS_QUERY, Ptr(&source)), ICERR_BADFORMAT);
}

// A record shorter than a BITMAPINFOHEADER is refused before its later
// fields are read: here they would describe an accepted format, and the
// 12-byte one holds nothing after biSize's record (ASan sees any read).
TEST_F(FormatTest, RecordsShorterThanAFormatHeaderAreRefusedUnread) {
    BITMAPINFOHEADER shortSource = BitmapFormat(176, 144, 24);
    BITMAPINFOHEADER shortCompressed = CompressedFormat();
    shortSource.biSize = shortCompressed.biSize = 12;
    std::unique_ptr<uint8_t[]> core(new uint8_t[12]());
    const DWORD coreSize = 12;
    std::memcpy(core.get(), &coreSize, sizeof(coreSize));
    const BITMAPINFOHEADER source = BitmapFormat(176, 144, 24);
    const BITMAPINFOHEADER compressed = CompressedFormat();
    BITMAPINFOHEADER out{};
    for (const void* bad :
         {static_cast<const void*>(&shortSource), static_cast<const void*>(core.get())}) {
        EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(bad)), ICERR_BADFORMAT);
        EXPECT_EQ(Send(id, ICM_COMPRESS_GET_SIZE, Ptr(bad)), 0);
        EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(bad), Ptr(&out)), ICERR_BADFORMAT);
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(bad)), ICERR_BADFORMAT);
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(bad), Ptr(&out)), ICERR_BADFORMAT);
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(bad)), ICERR_BADFORMAT);
    }
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(&shortCompressed)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_COMPRESS_QUERY, Ptr(&source), Ptr(core.get())), ICERR_BADFORMAT);
    EXPECT_EQ(out.biSize, 0u) << "nothing written";
}

TEST_F(FormatTest, DecompressQueryAcceptsWhatDecompressWrites) {
    const BITMAPINFOHEADER compressed = CompressedFormat(352, 288);
    const struct {
        BITMAPINFOHEADER destination;
        LRESULT expected;
    } cases[] = {
        {BitmapFormat(352, 288, 24), ICERR_OK},
        {BitmapFormat(352, -288, 24), ICERR_OK},
        {BitmapFormat(352, 288, 32), ICERR_OK},
        {BitmapFormat(352, -288, 32), ICERR_OK},
        {BitmapFormat(352, 288, 12, kYv12), ICERR_OK},
        {BitmapFormat(352, 288, 12, kI420), ICERR_OK},
        {BitmapFormat(352, 288, 12, mmioFOURCC('I', 'Y', 'U', 'V')), ICERR_OK},
        {BitmapFormat(352, -288, 16, kYuy2), ICERR_OK},  // YUV is top-down either way
        {BitmapFormat(352, 288, 16, mmioFOURCC('Y', 'U', 'Y', 'V')), ICERR_OK},
        {BitmapFormat(176, 144, 24), ICERR_BADFORMAT},  // no stretching
        {BitmapFormat(352, 287, 24), ICERR_BADFORMAT},
        {BitmapFormat(352, 288, 16), ICERR_BADFORMAT},
        {BitmapFormat(352, 288, 16, kYv12), ICERR_BADFORMAT},
        {BitmapFormat(352, 288, 9, mmioFOURCC('Y', 'V', 'U', '9')), ICERR_BADFORMAT},
        {BitmapFormat(352, 288, 24, kKmqxFourCC), ICERR_BADFORMAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.destination.biBitCount) + " " +
                     std::to_string(c.destination.biWidth) + "x" +
                     std::to_string(c.destination.biHeight));
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&c.destination)),
                  c.expected);
    }
    // Odd sides: RGB only; YUY2 needs an even width, YV12 and I420 even sides.
    const BITMAPINFOHEADER odd = CompressedFormat(18, 9);
    BITMAPINFOHEADER rgb = BitmapFormat(18, 9, 24), yuy2 = BitmapFormat(18, 9, 16, kYuy2),
                     yv12 = BitmapFormat(18, 9, 12, kYv12);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&odd), Ptr(&rgb)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&odd), Ptr(&yuy2)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&odd), Ptr(&yv12)), ICERR_BADFORMAT);
    // A stated buffer size below the frame's is refused; 0 or more is fine.
    BITMAPINFOHEADER rgb24 = BitmapFormat(352, 288, 24);
    for (DWORD stated : {1u, 304127u, 0u, 304128u, 400000u}) {
        rgb24.biSizeImage = stated;
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&rgb24)),
                  stated == 0 || stated >= 304128 ? ICERR_OK : ICERR_BADFORMAT)
            << stated;
    }
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&rgb24), Ptr(&rgb24)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, 0, Ptr(&rgb24)), ICERR_BADFORMAT);
    for (int32_t width : {0, 4096}) {
        const BITMAPINFOHEADER unreadable = CompressedFormat(width, 288);
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&unreadable)), ICERR_BADFORMAT);
    }
}

TEST_F(FormatTest, DecompressGetFormatStatesTheFrameSize) {
    const BITMAPINFOHEADER compressed = CompressedFormat(352, 288);
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
    EXPECT_EQ(out.biSizeImage, 304128u) << "hosts allocate their output from it";
    EXPECT_EQ(out.biClrUsed | out.biClrImportant, 0u);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&out)), ICERR_OK);
    const BITMAPINFOHEADER narrow = CompressedFormat(50, 30);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(&narrow), Ptr(&out)), ICERR_OK);
    EXPECT_EQ(out.biSizeImage, 152u * 30u) << "rows padded to 4 bytes";
    std::memset(&out, 0xEE, sizeof(out));
    BITMAPINFOHEADER rgb24 = BitmapFormat(352, 288, 24);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_FORMAT, Ptr(&rgb24), Ptr(&out)), ICERR_BADFORMAT);
    EXPECT_EQ(out.biSize, 0xEEEEEEEEu);
}

TEST_F(FormatTest, GetInfoFillsAtMostTheGivenSize) {
    EXPECT_EQ(Send(id, ICM_GETINFO, 0, sizeof(ICINFO)), 0);
    ICINFO info;
    std::memset(&info, 0xEE, sizeof(info));
    // Everything before szDriver is needed: 312 bytes.
    EXPECT_EQ(Send(id, ICM_GETINFO, Ptr(&info), 311), 0);
    EXPECT_EQ(info.dwSize, 0xEEEEEEEEu) << "nothing written";
    EXPECT_EQ(Send(id, ICM_GETINFO, Ptr(&info), 312), 312);
    EXPECT_EQ(Send(id, ICM_GETINFO, Ptr(&info), 1000), 568);
    EXPECT_EQ(Send(id, ICM_GETINFO, Ptr(&info), sizeof(ICINFO)), 568);
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_EQ(info.fccType, mmioFOURCC('v', 'i', 'd', 'c'));
    EXPECT_EQ(info.fccHandler, kKmqxFourCC);
    EXPECT_EQ(info.dwFlags, 191u);
    EXPECT_EQ(info.dwVersion, 2u);
    EXPECT_EQ(info.dwVersionICM, 260u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szName)), u"KMQX");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szDescription)),
              u"Corvel Video Codec 1999");
    EXPECT_EQ(static_cast<uint16_t>(info.szDriver[0]), 0xEEEEu) << "szDriver is the manager's";
}

}  // namespace
}  // namespace kmqx::testing
