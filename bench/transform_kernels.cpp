// Scalar against SSE2 for each transform kernel, one 8x8 block per iteration.
#include "encoder/transform_kernels.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "common/inverse_dct.h"
#include "common/kernel_selection.h"

namespace kmqx {
namespace {

struct Inputs {
    alignas(16) int16_t samples[64];
    alignas(16) int16_t coefficients[64];
    alignas(16) int8_t levels[64];
    alignas(16) uint8_t prediction[64];
    Inputs() {
        std::mt19937 random(1);
        for (int i = 0; i < 64; ++i) {
            samples[i] = static_cast<int16_t>(static_cast<int>(random() % 511) - 255);
            coefficients[i] = static_cast<int16_t>(static_cast<int>(random() % 801) - 400);
            levels[i] = static_cast<int8_t>(i < 12 ? static_cast<int>(random() % 21) - 10 : 0);
            prediction[i] = static_cast<uint8_t>(random());
        }
    }
};

const Inputs& TestInputs() {
    static const Inputs inputs;
    return inputs;
}

// Argument 0 = scalar, 1 = SSE2.
ForwardTransformKernels ForwardFor(const benchmark::State& state) {
    return KernelsFor(state.range(0) != 0, ScalarForwardTransformKernels(),
                      UpgradeForwardTransformKernelsSse2);
}

ReconstructionKernels ReconstructionFor(const benchmark::State& state) {
    return KernelsFor(state.range(0) != 0, ScalarReconstructionKernels(),
                      UpgradeReconstructionKernelsSse2);
}

void BM_ForwardDct(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        std::memcpy(block, TestInputs().samples, sizeof(block));
        kernels.forwardDct(block);
        benchmark::DoNotOptimize(block);
    }
}

void BM_QuantizeIntra(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    const QuantizerParams quantizer = BuildQuantizerTables(8);
    alignas(16) int8_t levels[64];
    for (auto _ : state) {
        kernels.quantizeIntra(TestInputs().coefficients, quantizer, levels);
        benchmark::DoNotOptimize(levels);
    }
}

void BM_QuantizeInter(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    const QuantizerParams quantizer = BuildQuantizerTables(8);
    alignas(16) int8_t levels[64];
    for (auto _ : state) {
        kernels.quantizeInter(TestInputs().coefficients, quantizer, levels);
        benchmark::DoNotOptimize(levels);
    }
}

void BM_LastScanPosition(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    for (auto _ : state) benchmark::DoNotOptimize(kernels.lastScanPosition(TestInputs().levels));
}

void BM_Dequantize(benchmark::State& state) {
    const auto kernels = ReconstructionFor(state);
    const DequantParams dequant = BuildDequantParams(8);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        kernels.dequantize(TestInputs().levels, dequant, block);
        benchmark::DoNotOptimize(block);
    }
}

// The shared inverse DCT on a dense block, the scalar version's worst case.
void BM_InverseDct(benchmark::State& state) {
    const InverseDctKernels kernels =
        KernelsFor(state.range(0) != 0, ScalarInverseDctKernels(), UpgradeInverseDctKernelsSse2);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        std::memcpy(block, TestInputs().coefficients, sizeof(block));
        kernels.inverseDct(block);
        benchmark::DoNotOptimize(block);
    }
}

void BM_AddAndClip(benchmark::State& state) {
    const auto kernels = ReconstructionFor(state);
    uint8_t destination[8 * 32];
    for (auto _ : state) {
        kernels.addAndClip(TestInputs().samples, TestInputs().prediction, destination, 32);
        benchmark::DoNotOptimize(destination);
    }
}

// Argument 0 = scalar, 1 = SSE2.
BENCHMARK(BM_ForwardDct)->Arg(0)->Arg(1);
BENCHMARK(BM_QuantizeIntra)->Arg(0)->Arg(1);
BENCHMARK(BM_QuantizeInter)->Arg(0)->Arg(1);
BENCHMARK(BM_LastScanPosition)->Arg(0)->Arg(1);
BENCHMARK(BM_Dequantize)->Arg(0)->Arg(1);
BENCHMARK(BM_InverseDct)->Arg(0)->Arg(1);
BENCHMARK(BM_AddAndClip)->Arg(0)->Arg(1);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
