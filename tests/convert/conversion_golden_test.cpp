// Hashes of the conversions' output for fixed random inputs, taken from the
// conversions as the codec's streams were first made: a change of any
// output byte of the 24-bit, YUYV, YV12 or YVU9 sources or of the 24-bit
// destination shows here.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/output_conversion.h"
#include "convert/source_conversion.h"
#include "tests/support/picture_metrics.h"

namespace kmqx {
namespace {

using test::Fnv1a;

constexpr int32_t kSizes[4][2] = {{176, 144}, {50, 30}, {17, 9}, {3, 3}};

TEST(ConversionGolden, SourceConversionsAreUnchanged) {
    const struct {
        uint32_t tag;
        int32_t bits;
        uint64_t hashes[4];
    } formats[] = {
        {kTagRgb,
         24,
         {0x4ccbdc0692b655b2, 0xad73717462f71c00, 0xeb69881a6232d778, 0xac2907688052c1aa}},
        {kTagYuyv,
         16,
         {0x3ed0394adeba55ec, 0x4c135d795536d9cc, 0x17310a77dd12bb60, 0x1ee2ee841d05a2ff}},
        {kTagYv12,
         12,
         {0x539db9e51f172f3f, 0xdb5bdd18ebf642dc, 0x097651181b6ac02b, 0x5c695ddc31ce1fe2}},
        {kTagYvu9,
         9,
         {0xe72d85430aebe86c, 0x13cec42fb746bd14, 0x7cb89d47d06fc87d, 0x2214db7d9d5868e1}},
    };
    for (const auto& f : formats)
        for (int s = 0; s < 4; ++s) {
            const int32_t width = kSizes[s][0], height = kSizes[s][1];
            std::mt19937 random(uint32_t(width * 7 + height + f.bits));
            std::vector<uint8_t> source(SourceFrameSize(f.tag, f.bits, width, height));
            for (auto& b : source) b = uint8_t(random());
            std::vector<uint8_t> y(size_t(width) * height), cb(size_t(width / 2) * (height / 2)),
                cr(cb.size());
            ConvertToPlanar(source.data(), {y.data(), cb.data(), cr.data()}, f.tag, f.bits, width,
                            height);
            EXPECT_EQ(Fnv1a(cr, Fnv1a(cb, Fnv1a(y))), f.hashes[s])
                << f.bits << " " << width << "x" << height;
        }
}

TEST(ConversionGolden, Rgb24OutputIsUnchanged) {
    const uint64_t hashes[4] = {0xedfbbaf132463d0d, 0x0bd88962d7158594, 0xea99df8777999cd4,
                                0x64f5700067fdf93e};
    for (int s = 0; s < 4; ++s) {
        const int32_t width = kSizes[s][0], height = kSizes[s][1];
        std::mt19937 random(uint32_t(width * 5 + height));
        std::vector<uint8_t> y(size_t(width) * height), cb(size_t(width / 2) * (height / 2)),
            cr(cb.size());
        for (auto* plane : {&y, &cb, &cr})
            for (auto& b : *plane) b = uint8_t(random());
        std::vector<uint8_t> out(Rgb24Stride(width) * height);
        ConvertPlanarToRgb24({y.data(), cb.data(), cr.data()}, out.data(), width, height);
        EXPECT_EQ(Fnv1a(out), hashes[s]) << width << "x" << height;
    }
}

}  // namespace
}  // namespace kmqx
