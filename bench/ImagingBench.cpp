// Imaging benchmarks: the JPEG decode, plain and fitted (upright and turned by its Exif
// orientation), and the whole preview preparation (load, fit, palette, dither) as the picture
// loader runs it, on the picture named by SAVERPAK_BENCH_JPEG.
//
//   SAVERPAK_BENCH_JPEG=big.jpg [SAVERPAK_BENCH_JPEG_TURNED=big6.jpg] imaging_bench
//   [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "imaging/Display.h"
#include "imaging/JpegFile.h"
#include "imaging/Preparation.h"

namespace {

const char* BenchJpeg() {
    const char* path = std::getenv("SAVERPAK_BENCH_JPEG");
    return path ? path : "big.jpg";
}

void LoadJpegBench(benchmark::State& state) {
    for (auto _ : state) {
        cBitmap bitmap;
        if (LoadJpeg(bitmap, BenchJpeg(), 0) != 0) {
            state.SkipWithError("cannot decode the benchmark picture");
            return;
        }
        benchmark::DoNotOptimize(bitmap.FPixels);
        bitmap.FreeBits();
    }
}
BENCHMARK(LoadJpegBench)->Name("LoadJpeg")->Unit(benchmark::kMillisecond)->UseRealTime();

// The decode the preview makes: straight to the fitted size. The picture is the one named by
// the environment variable given (SAVERPAK_BENCH_JPEG, or SAVERPAK_BENCH_JPEG_TURNED for the
// same picture with an Exif orientation that stands it on its side). Arguments: target width,
// target height.
void FittedBench(benchmark::State& state, const char* variable) {
    const char* path = std::getenv(variable);
    if (!path) path = BenchJpeg();
    for (auto _ : state) {
        cBitmap bitmap;
        if (LoadJpeg(bitmap, path, 0, std::int32_t(state.range(0)), std::int32_t(state.range(1))) !=
            0) {
            state.SkipWithError("cannot decode the benchmark picture");
            return;
        }
        benchmark::DoNotOptimize(bitmap.FPixels);
        bitmap.FreeBits();
    }
}
BENCHMARK_CAPTURE(FittedBench, upright, "SAVERPAK_BENCH_JPEG")
    ->Name("LoadJpegFitted/upright")
    ->Args({1920, 1080})
    ->Args({152, 112})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(FittedBench, turned, "SAVERPAK_BENCH_JPEG_TURNED")
    ->Name("LoadJpegFitted/turned")
    ->Args({1920, 1080})
    ->Args({152, 112})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: target width, target height, screen depth.
void PrepareBench(benchmark::State& state) {
    const DisplayInfo info = SimulatedDisplay(int(state.range(2)));
    SetDisplayOverride(&info);
    std::uint64_t peakBlocks = 0, pictureBlock = 0;
    {
        // The block a plain decode of the picture needs: the unit of the memory goal.
        cBitmap probe;
        if (LoadJpeg(probe, BenchJpeg(), 0) != 0) {
            state.SkipWithError("cannot decode the benchmark picture");
            return;
        }
        pictureBlock = std::uint64_t(probe.FStride) * probe.Height();
        probe.FreeBits();
    }
    for (auto _ : state) {
        ResetPeakPixelBlockBytes();
        ssPicture picture;
        picture.Load(BenchJpeg(), std::int32_t(state.range(0)), std::int32_t(state.range(1)));
        ssPicture* pictures[] = {&picture};
        PreparePictures(pictures, 1, std::int32_t(state.range(0)), std::int32_t(state.range(1)), 1);
        benchmark::DoNotOptimize(picture.FPixels);
        peakBlocks = PeakPixelBlockBytes();
    }
    SetDisplayOverride(nullptr);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_blocks_per_picture"] = double(peakBlocks) / double(pictureBlock);
    state.counters["max_rss_MiB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(PrepareBench)
    ->Name("Prepare")
    ->ArgsProduct({{1920}, {1080}, {8, 16, 24}})
    ->Args({152, 112, 8})
    ->Args({152, 112, 16})
    ->Args({152, 112, 24})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
