// Every vector kernel, at every level the processor has, against its scalar
// reference, on random and saturating inputs, with guard elements around the outputs and unaligned
// buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "common/inverse_dct.h"
#include "common/kernel_selection.h"
#include "encoder/transform_kernels.h"

namespace kmqx {
namespace {

constexpr int kGuard = 5;  // elements: also makes the blocks unaligned

template <typename T>
class Guarded {
  public:
    explicit Guarded(size_t size) : size_(size), storage_(size + 2 * kGuard, Sentinel()) {}
    T* data() { return storage_.data() + kGuard; }
    bool GuardsIntact() const {
        for (int i = 0; i < kGuard; ++i) {
            if (storage_[i] != Sentinel() || storage_[kGuard + size_ + i] != Sentinel())
                return false;
        }
        return true;
    }

  private:
    static T Sentinel() { return static_cast<T>(0x5A5A); }
    size_t size_;
    std::vector<T> storage_;
};

class SimdKernels : public ::testing::TestWithParam<SimdLevel> {
  protected:
    void SetUp() override {
        scalarForward_ = ScalarForwardTransformKernels();
        scalarReconstruction_ = ScalarReconstructionKernels();
        scalarIdct_ = ScalarInverseDctKernels();
        fastForward_ = KernelsFor(GetParam(), scalarForward_, UpgradeForwardTransformKernelsSse2,
                                  UpgradeForwardTransformKernelsAvx2);
        fastReconstruction_ =
            KernelsFor(GetParam(), scalarReconstruction_, UpgradeReconstructionKernelsSse2,
                       UpgradeReconstructionKernelsAvx2);
        fastIdct_ = KernelsFor(GetParam(), scalarIdct_, UpgradeInverseDctKernelsSse2,
                               UpgradeInverseDctKernelsAvx2);
    }

    // Random blocks of several kinds, then the saturating ones.
    std::vector<std::vector<int16_t>> Int16Blocks(int low, int high) {
        std::vector<std::vector<int16_t>> blocks;
        std::uniform_int_distribution<int> value(low, high);
        std::uniform_int_distribution<int> full(-32768, 32767);
        const int16_t extremes[] = {-32768, -32767, -256, -1, 0, 1, 255, 32766, 32767};
        std::uniform_int_distribution<int> pick(0, 8);
        for (int trial = 0; trial < 3000; ++trial) {
            std::vector<int16_t> block(64);
            for (auto& v : block) {
                switch (trial % 3) {
                    case 0:
                        v = static_cast<int16_t>(value(random_));
                        break;
                    case 1:
                        v = static_cast<int16_t>(full(random_));
                        break;
                    default:
                        v = extremes[pick(random_)];
                        break;
                }
            }
            blocks.push_back(block);
        }
        for (const int16_t e : extremes) blocks.emplace_back(64, e);
        std::vector<int16_t> alternating(64);
        for (int i = 0; i < 64; ++i) alternating[i] = (i + i / 8) % 2 ? 32767 : -32768;
        blocks.push_back(alternating);
        return blocks;
    }

    std::mt19937 random_{2024};
    ForwardTransformKernels scalarForward_, fastForward_;
    ReconstructionKernels scalarReconstruction_, fastReconstruction_;
    InverseDctKernels scalarIdct_, fastIdct_;
};

// Runs an in-place int16 kernel both ways and compares.
void CompareInPlace(void (*scalar)(int16_t*), void (*fast)(int16_t*),
                    const std::vector<int16_t>& input) {
    Guarded<int16_t> expected(64), actual(64);
    std::copy(input.begin(), input.end(), expected.data());
    std::copy(input.begin(), input.end(), actual.data());
    scalar(expected.data());
    fast(actual.data());
    ASSERT_TRUE(actual.GuardsIntact());
    for (int i = 0; i < 64; ++i) ASSERT_EQ(actual.data()[i], expected.data()[i]) << "index " << i;
}

TEST_P(SimdKernels, ForwardDct) {
    for (const auto& block : Int16Blocks(-255, 255)) {
        CompareInPlace(scalarForward_.forwardDct, fastForward_.forwardDct, block);
        if (HasFatalFailure()) return;
    }
}

// The fused inter and intra paths against the scalar ones, one and two
// blocks at a time, on random, extreme (the largest differences, alternating)
// and sparse (a few differing samples) blocks of pitch 11.
TEST_P(SimdKernels, BlocksFromSamples) {
    constexpr int kPitch = 11;
    std::uniform_int_distribution<int> byte(0, 255), position(0, 63), small(-3, 3);
    for (int trial = 0; trial < 600; ++trial) {
        std::vector<uint8_t> samples[4];
        for (int k = 0; k < 4; ++k) samples[k].resize(8 * kPitch + 1);
        for (int block = 0; block < 2; ++block) {
            std::vector<uint8_t>& current = samples[2 * block];
            std::vector<uint8_t>& prediction = samples[2 * block + 1];
            for (size_t i = 0; i < current.size(); ++i) {
                const bool odd = (i + i / kPitch) % 2 != 0;
                switch ((trial + block) % 4) {
                    case 0:
                        current[i] = static_cast<uint8_t>(byte(random_));
                        prediction[i] = static_cast<uint8_t>(byte(random_));
                        break;
                    case 1:
                        current[i] = odd ? 255 : 0;
                        prediction[i] = static_cast<uint8_t>(trial % 3 ? 255 - current[i] : 0);
                        break;
                    default:
                        current[i] = prediction[i] = static_cast<uint8_t>(byte(random_));
                        break;
                }
            }
            if ((trial + block) % 4 == 3) {
                for (int n = trial % 4; n > 0; --n) {
                    const int p = position(random_);
                    uint8_t& sample = current[(p / 8) * kPitch + p % 8 + (block == 0 ? 1 : 0)];
                    sample = static_cast<uint8_t>(std::clamp(sample + 40 * small(random_), 0, 255));
                }
            }
        }
        InterBlockSource sources[2] = {
            {samples[0].data() + 1, kPitch, samples[1].data(), kPitch},
            {samples[2].data(), kPitch, samples[3].data() + 1, kPitch},
        };
        // Every other trial, the same two blocks side by side in both
        // pictures, as luminance blocks lie.
        constexpr int kWidePitch = 19;
        std::vector<uint8_t> wide[2] = {std::vector<uint8_t>(8 * kWidePitch),
                                        std::vector<uint8_t>(8 * kWidePitch)};
        if (trial % 2 != 0) {
            for (int picture = 0; picture < 2; ++picture) {
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        const InterBlockSource& from = sources[x / 8];
                        const uint8_t* row = picture == 0
                                                 ? from.current + y * from.currentStride
                                                 : from.prediction + y * from.predictionStride;
                        wide[picture][y * kWidePitch + 1 + x] = row[x % 8];
                    }
                }
            }
            for (int k = 0; k < 2; ++k)
                sources[k] = {wide[0].data() + 1 + 8 * k, kWidePitch, wide[1].data() + 1 + 8 * k,
                              kWidePitch};
        }
        const int count = trial % 5 == 0 ? 1 : 2;
        const QuantizerParams quantizer = BuildQuantizerTables(1 + trial % 31);
        Guarded<int8_t> expected[2] = {Guarded<int8_t>(64), Guarded<int8_t>(64)};
        Guarded<int8_t> actual[2] = {Guarded<int8_t>(64), Guarded<int8_t>(64)};
        int8_t* const expectedLevels[2] = {expected[0].data(), expected[1].data()};
        int8_t* const actualLevels[2] = {actual[0].data(), actual[1].data()};
        int32_t expectedLast[2] = {-1, -1}, actualLast[2] = {-1, -1};
        const int32_t expectedCoded = scalarForward_.quantizeInterBlocks(
            sources, count, quantizer, expectedLevels, expectedLast);
        const int32_t actualCoded =
            fastForward_.quantizeInterBlocks(sources, count, quantizer, actualLevels, actualLast);
        ASSERT_EQ(actualCoded, expectedCoded) << "trial " << trial;
        auto compare = [&] {
            for (int k = 0; k < 2; ++k) {
                ASSERT_TRUE(actual[k].GuardsIntact());
                ASSERT_EQ(std::memcmp(actual[k].data(), expected[k].data(), 64), 0);
                ASSERT_EQ(actualLast[k], expectedLast[k]);
            }
        };
        ASSERT_NO_FATAL_FAILURE(compare()) << "inter, trial " << trial;
        // The current samples coded as intra blocks.
        const IntraBlockSource intra[2] = {{sources[0].current, kPitch},
                                           {sources[1].current, kPitch}};
        scalarForward_.quantizeIntraBlocks(intra, count, quantizer, expectedLevels, expectedLast);
        fastForward_.quantizeIntraBlocks(intra, count, quantizer, actualLevels, actualLast);
        ASSERT_NO_FATAL_FAILURE(compare()) << "intra, trial " << trial;
    }
}

// Random, extreme and sparse blocks (a few coefficients, as coded blocks
// mostly are, which the scalar version takes through its shortcuts).
TEST_P(SimdKernels, InverseDct) {
    std::vector<std::vector<int16_t>> blocks = Int16Blocks(-4095, 4095);
    std::uniform_int_distribution<int> position(0, 63), count(1, 4), value(-4095, 4095);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<int16_t> block(64);
        for (int n = count(random_); n > 0; --n) {
            // Low frequencies more often, where coded blocks have their levels.
            const int index = trial % 2 ? position(random_) : position(random_) % 3 * 8 + n % 3;
            block[index] = static_cast<int16_t>(trial % 5 ? value(random_) % 64 : value(random_));
        }
        blocks.push_back(block);
    }
    for (const auto& block : blocks) {
        CompareInPlace(scalarIdct_.inverseDct, fastIdct_.inverseDct, block);
        if (HasFatalFailure()) return;
    }
}

TEST_P(SimdKernels, Quantizers) {
    const auto blocks = Int16Blocks(-2000, 2000);
    for (int qp = 1; qp <= 31; ++qp) {
        const QuantizerParams quantizer = BuildQuantizerTables(qp);
        for (size_t b = 0; b < blocks.size(); b += 7) {
            for (bool inter : {false, true}) {
                auto scalar = inter ? scalarForward_.quantizeInter : scalarForward_.quantizeIntra;
                auto fast = inter ? fastForward_.quantizeInter : fastForward_.quantizeIntra;
                Guarded<int8_t> expected(64), actual(64);
                scalar(blocks[b].data(), quantizer, expected.data());
                fast(blocks[b].data(), quantizer, actual.data());
                ASSERT_TRUE(actual.GuardsIntact());
                ASSERT_EQ(std::memcmp(actual.data(), expected.data(), 64), 0)
                    << "qp " << qp << (inter ? " inter" : " intra") << " block " << b;
            }
        }
    }
}

TEST_P(SimdKernels, LastScanPositionAndScanOrder) {
    std::uniform_int_distribution<int> position(0, 63), count(0, 6), level(-128, 127);
    auto compare = [&](const int8_t levels[64]) {
        ASSERT_EQ(fastForward_.lastScanPosition(levels), scalarForward_.lastScanPosition(levels));
        Guarded<int8_t> expected(64), actual(64);
        const uint64_t expectedMask = scalarForward_.scanOrderLevels(levels, expected.data());
        ASSERT_EQ(fastForward_.scanOrderLevels(levels, actual.data()), expectedMask);
        ASSERT_TRUE(actual.GuardsIntact());
        ASSERT_EQ(std::memcmp(actual.data(), expected.data(), 64), 0);
    };
    for (int trial = 0; trial < 5000; ++trial) {
        int8_t levels[64] = {};
        if (trial % 5 == 0) {  // dense
            for (auto& v : levels) v = static_cast<int8_t>(level(random_));
        } else {
            for (int n = count(random_); n > 0; --n)
                levels[position(random_)] = static_cast<int8_t>(level(random_));
        }
        compare(levels);
    }
    int8_t all[64];
    std::memset(all, -128, sizeof(all));
    compare(all);
    EXPECT_EQ(fastForward_.lastScanPosition(all), 63);
    int8_t scan[64];
    EXPECT_EQ(fastForward_.scanOrderLevels(all, scan), ~uint64_t{0});
}

TEST_P(SimdKernels, Dequantize) {
    std::uniform_int_distribution<int> level(-128, 127), small(-3, 3);
    for (int quant = 1; quant <= 31; ++quant) {
        const DequantParams dequant = BuildDequantParams(quant);
        for (int trial = 0; trial < 200; ++trial) {
            Guarded<int8_t> levels(64);
            for (int i = 0; i < 64; ++i) {
                levels.data()[i] = static_cast<int8_t>(trial % 2 ? level(random_) : small(random_));
            }
            Guarded<int16_t> expected(64), actual(64);
            scalarReconstruction_.dequantize(levels.data(), dequant, expected.data());
            fastReconstruction_.dequantize(levels.data(), dequant, actual.data());
            ASSERT_TRUE(actual.GuardsIntact());
            for (int i = 0; i < 64; ++i) ASSERT_EQ(actual.data()[i], expected.data()[i]) << quant;
        }
    }
}

// Samples of pitch 11 (unaligned rows); extremes make the largest differences.
TEST_P(SimdKernels, TransformInputLoads) {
    constexpr int kPitch = 11;
    std::uniform_int_distribution<int> byte(0, 255);
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<uint8_t> current(8 * kPitch), prediction(8 * kPitch);
        for (size_t i = 0; i < current.size(); ++i) {
            current[i] = static_cast<uint8_t>(trial % 3 == 0 ? 255 : byte(random_));
            prediction[i] = static_cast<uint8_t>(trial % 3 == 1 ? 255 : byte(random_));
        }
        Guarded<int16_t> expected(64), actual(64);
        scalarForward_.loadDifference(current.data(), kPitch, prediction.data() + 2, kPitch,
                                      expected.data());
        fastForward_.loadDifference(current.data(), kPitch, prediction.data() + 2, kPitch,
                                    actual.data());
        ASSERT_TRUE(actual.GuardsIntact());
        ASSERT_EQ(std::memcmp(actual.data(), expected.data(), 128), 0);
        scalarForward_.loadTransposed(current.data() + 1, kPitch, expected.data());
        fastForward_.loadTransposed(current.data() + 1, kPitch, actual.data());
        ASSERT_TRUE(actual.GuardsIntact());
        ASSERT_EQ(std::memcmp(actual.data(), expected.data(), 128), 0);
    }
}

// The destination is an 8x8 area with pitch 13 inside a larger guarded
// buffer: bytes between the rows must stay untouched too.
TEST_P(SimdKernels, AddAndClipAndStoreClipped) {
    constexpr int kPitch = 13;
    std::uniform_int_distribution<int> byte(0, 255);
    for (const auto& residual : Int16Blocks(-300, 300)) {
        uint8_t prediction[8 * 9];  // rows 9 apart
        for (auto& p : prediction) p = static_cast<uint8_t>(byte(random_));
        for (bool add : {true, false}) {
            Guarded<uint8_t> expected(8 * kPitch), actual(8 * kPitch);
            if (add) {
                scalarReconstruction_.addAndClip(residual.data(), prediction, 9, expected.data(),
                                                 kPitch);
                fastReconstruction_.addAndClip(residual.data(), prediction, 9, actual.data(),
                                               kPitch);
            } else {
                scalarReconstruction_.storeClipped(residual.data(), expected.data(), kPitch);
                fastReconstruction_.storeClipped(residual.data(), actual.data(), kPitch);
            }
            ASSERT_TRUE(actual.GuardsIntact());
            ASSERT_EQ(std::memcmp(actual.data(), expected.data(), 8 * kPitch), 0);
            for (int y = 0; y < 8; ++y) {
                for (int x = 8; x < kPitch; ++x) ASSERT_EQ(actual.data()[y * kPitch + x], 0x5A);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, SimdKernels, ::testing::ValuesIn(SimdLevelsAboveScalar()),
                         [](const auto& info) { return SimdLevelName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SimdKernels);

}  // namespace
}  // namespace kmqx
