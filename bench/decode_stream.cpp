// Decodes a 300-picture CIF H.263 stream and reports pictures per second.
// The stream comes from KMQX_BENCH_STREAM, or is made once with ffmpeg as
// decode_stream_cif.263 in the working directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/picture_split.h"

namespace {

constexpr int kPictures = 300;

std::string StreamPath() {
    const char* path = std::getenv("KMQX_BENCH_STREAM");
    return path ? path : "decode_stream_cif.263";
}

std::vector<uint8_t> LoadOrMakeStream() {
    const std::string path = StreamPath();
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
        const std::string command =
            "ffmpeg -y -v error -f lavfi -i testsrc2=size=352x288:rate=25 -frames:v " +
            std::to_string(kPictures) + " -c:v h263 -q:v 5 -f h263 " + path;
        if (std::system(command.c_str()) != 0) return {};
    }
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

void DecodeStream(benchmark::State& state) {
    static const std::vector<std::vector<uint8_t>> pictures =
        kmqx::SplitPictures(LoadOrMakeStream());
    if (pictures.empty()) {
        state.SkipWithError("no stream: set KMQX_BENCH_STREAM or install ffmpeg");
        return;
    }
    kmqx::Decoder decoder;
    int64_t decoded = 0;
    for (auto _ : state) {
        decoder.BeginDecompress();
        for (const auto& picture : pictures) {
            if (decoder.DecodeFrame(picture.data(), int32_t(picture.size())) != kmqx::kDecodeOk) {
                state.SkipWithError("picture not decoded");
                return;
            }
            benchmark::DoNotOptimize(decoder.GetPicture().y);
        }
        decoder.EndDecompress();
        decoded += int64_t(pictures.size());
    }
    state.SetItemsProcessed(decoded);
    state.counters["pictures_per_second"] =
        benchmark::Counter(double(decoded), benchmark::Counter::kIsRate);
    state.counters["pictures"] = double(pictures.size());
}
BENCHMARK(DecodeStream)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
