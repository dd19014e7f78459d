#pragma once
// The SIMD level a kernel benchmark runs at, from its first argument.
#include <benchmark/benchmark.h>

#include "common/cpu_features.h"

namespace kmqx::bench {

// Argument 0 is the SimdLevel (0 scalar, 1 SSE2, 2 AVX2); levels the
// processor lacks run as the highest it has, and the label says which ran.
inline SimdLevel BenchmarkLevel(benchmark::State& state) {
    const SimdLevel level = UsableLevel(static_cast<SimdLevel>(state.range(0)));
    state.SetLabel(SimdLevelName(level));
    return level;
}

}  // namespace kmqx::bench
