#include "common/cpu_features.h"

#include <gtest/gtest.h>

namespace kmqx {
namespace {

CpuFeatures Full() {
    CpuFeatures features;
    features.sse2 = true;
    features.avx2 = true;
    return features;
}

TEST(CpuFeatures, EnvironmentOnlyLowersTheLevel) {
    EXPECT_EQ(CapFeatures(Full(), nullptr, nullptr).Level(), SimdLevel::kAvx2);
    EXPECT_EQ(CapFeatures(Full(), "1", nullptr).Level(), SimdLevel::kScalar);
    EXPECT_EQ(CapFeatures(Full(), "0", "sse2").Level(), SimdLevel::kSse2);
    EXPECT_EQ(CapFeatures(Full(), nullptr, "scalar").Level(), SimdLevel::kScalar);
    EXPECT_EQ(CapFeatures(Full(), nullptr, "avx2").Level(), SimdLevel::kAvx2);
    // Asking for more than the processor has gives what it has.
    CpuFeatures sse2Only;
    sse2Only.sse2 = true;
    EXPECT_EQ(CapFeatures(sse2Only, nullptr, "avx2").Level(), SimdLevel::kSse2);
    EXPECT_EQ(CapFeatures(CpuFeatures{}, nullptr, "sse2").Level(), SimdLevel::kScalar);
}

TEST(CpuFeatures, LevelsAboveScalarAreThoseInUse) {
    const auto levels = SimdLevelsAboveScalar();
    const SimdLevel used = GetCpuFeatures().Level();
    if (used == SimdLevel::kScalar) {
        EXPECT_TRUE(levels.empty());
    } else {
        ASSERT_FALSE(levels.empty());
        EXPECT_EQ(levels.front(), SimdLevel::kSse2);
        EXPECT_EQ(levels.back(), used);
    }
}

}  // namespace
}  // namespace kmqx
