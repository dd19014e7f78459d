// Scalar against SSE2 and AVX2 for each transform kernel, one 8x8 block per iteration.
#include "encoder/transform_kernels.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "bench/kernel_level.h"
#include "common/inverse_dct.h"
#include "common/kernel_selection.h"

namespace kmqx {
namespace {

struct Inputs {
    alignas(16) int16_t samples[64];
    alignas(16) int16_t coefficients[64];
    alignas(16) int8_t levels[64];
    alignas(16) uint8_t prediction[64];
    alignas(16) uint8_t current[64];
    Inputs() {
        std::mt19937 random(1);
        for (int i = 0; i < 64; ++i) {
            samples[i] = static_cast<int16_t>(static_cast<int>(random() % 511) - 255);
            coefficients[i] = static_cast<int16_t>(static_cast<int>(random() % 801) - 400);
            levels[i] = static_cast<int8_t>(i < 12 ? static_cast<int>(random() % 21) - 10 : 0);
            prediction[i] = static_cast<uint8_t>(random());
            current[i] = static_cast<uint8_t>(prediction[i] + random() % 41 - 20);
        }
    }
};

const Inputs& TestInputs() {
    static const Inputs inputs;
    return inputs;
}

ForwardTransformKernels ForwardFor(benchmark::State& state) {
    return KernelsFor(bench::BenchmarkLevel(state), ScalarForwardTransformKernels(),
                      UpgradeForwardTransformKernelsSse2, UpgradeForwardTransformKernelsAvx2);
}

ReconstructionKernels ReconstructionFor(benchmark::State& state) {
    return KernelsFor(bench::BenchmarkLevel(state), ScalarReconstructionKernels(),
                      UpgradeReconstructionKernelsSse2, UpgradeReconstructionKernelsAvx2);
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

void BM_ScanOrderLevels(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    alignas(16) int8_t scan[64];
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernels.scanOrderLevels(TestInputs().levels, scan));
        benchmark::DoNotOptimize(scan);
    }
}

void BM_LoadDifference(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        kernels.loadDifference(TestInputs().prediction, 8, TestInputs().prediction, 8, block);
        benchmark::DoNotOptimize(block);
    }
}

// Two inter blocks from their samples to their levels, the encoder's inter
// path. Second argument 1: the current samples equal the prediction, so that
// every level is zero, as for most transformed inter blocks.
void BM_QuantizeInterBlocks(benchmark::State& state) {
    const auto kernels = ForwardFor(state);
    const QuantizerParams quantizer = BuildQuantizerTables(8);
    const uint8_t* current = TestInputs().prediction;
    const uint8_t* prediction = state.range(1) != 0 ? current : TestInputs().current;
    const InterBlockSource sources[2] = {{current, 8, prediction, 8}, {prediction, 8, current, 8}};
    alignas(16) int8_t levels[2][64];
    int8_t* const destinations[2] = {levels[0], levels[1]};
    int32_t last[2];
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            kernels.quantizeInterBlocks(sources, 2, quantizer, destinations, last));
        benchmark::DoNotOptimize(levels);
    }
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
        KernelsFor(bench::BenchmarkLevel(state), ScalarInverseDctKernels(),
                   UpgradeInverseDctKernelsSse2, UpgradeInverseDctKernelsAvx2);
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
        kernels.addAndClip(TestInputs().samples, TestInputs().prediction, 8, destination, 32);
        benchmark::DoNotOptimize(destination);
    }
}

// Argument: the SimdLevel.
BENCHMARK(BM_ForwardDct)->DenseRange(0, 2);
BENCHMARK(BM_QuantizeIntra)->DenseRange(0, 2);
BENCHMARK(BM_QuantizeInter)->DenseRange(0, 2);
BENCHMARK(BM_LastScanPosition)->DenseRange(0, 2);
BENCHMARK(BM_ScanOrderLevels)->DenseRange(0, 2);
BENCHMARK(BM_LoadDifference)->DenseRange(0, 2);
BENCHMARK(BM_QuantizeInterBlocks)->ArgsProduct({{0, 1, 2}, {0, 1}});
BENCHMARK(BM_Dequantize)->DenseRange(0, 2);
BENCHMARK(BM_InverseDct)->DenseRange(0, 2);
BENCHMARK(BM_AddAndClip)->DenseRange(0, 2);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
