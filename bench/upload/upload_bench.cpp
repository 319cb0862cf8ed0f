// Speed of the frame-upload kernels against libyuv's nearest functions, in
// Mpixel/s, with the ratios printed after the Google Benchmark table.
// Single-threaded. Usage: upload_bench [Google Benchmark flags]
#include "yuv_convert.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

// 64-byte aligned like a mapped VA image, filled with noise.
Buffer random_buffer(size_t bytes) {
    Buffer buffer(static_cast<uint8_t*>(std::aligned_alloc(64, (bytes + 63) / 64 * 64)));
    std::mt19937 rng(42);
    for (size_t i = 0; i < bytes; ++i) buffer.get()[i] = static_cast<uint8_t>(rng());
    return buffer;
}

// One frame size with its sources and an NV12/YV12 destination (pitch = width).
struct Frame {
    Frame(int width, int height)
        : width(width),
          height(height),
          pixels(static_cast<size_t>(width) * height),
          mono8(random_buffer(pixels)),
          mono16(random_buffer(2 * pixels)),
          bgrx(random_buffer(4 * pixels)),
          luma(random_buffer(pixels)),
          chroma(random_buffer(pixels / 2)) {
        // 12-bit samples, as the camera delivers them.
        auto* samples = reinterpret_cast<uint16_t*>(mono16.get());
        for (size_t i = 0; i < pixels; ++i) samples[i] &= 0x0FFF;
    }
    const uint16_t* samples() const { return reinterpret_cast<const uint16_t*>(mono16.get()); }
    int width, height;
    size_t pixels;
    Buffer mono8, mono16, bgrx, luma, chroma;
};

using Kernel = std::function<void(Frame&)>;

const std::map<std::string, Kernel>& kernels() {
    static const std::map<std::string, Kernel> all = {
        {"mono8/ours",
         [](Frame& f) {
             copy_rows_8bit(f.mono8.get(), f.width, f.height, f.luma.get(), f.width);
             fill_neutral_chroma(f.chroma.get(), f.pixels / 2);
         }},
        {"mono8/libyuv",
         [](Frame& f) {
             libyuv::CopyPlane(f.mono8.get(), f.width, f.luma.get(), f.width, f.width, f.height);
             libyuv::SetPlane(f.chroma.get(), f.width, f.width, f.height / 2, 128);
         }},
        {"mono12/ours", [](Frame& f) { shift_rows_16bit(f.samples(), f.width, f.height, 12, f.luma.get(), f.width); }},
        {"mono12/ours_sse2",
         [](Frame& f) {
             shift_rows_16bit(f.samples(), f.width, f.height, 12, f.luma.get(), f.width, KernelIsa::sse2);
         }},
        {"mono12/libyuv",
         [](Frame& f) {
             libyuv::Convert16To8Plane(f.samples(), f.width, f.luma.get(), f.width, 16, f.width, f.height);
         }},
        {"luma_memcpy", [](Frame& f) { std::memcpy(f.luma.get(), f.mono8.get(), f.pixels); }},
        {"colour/ours_nv12",
         [](Frame& f) {
             bgrx_to_nv12(f.bgrx.get(), f.width, f.height, f.luma.get(), f.width, f.chroma.get(), f.width);
         }},
        {"colour/ours_nv12_sse2",
         [](Frame& f) {
             bgrx_to_nv12(f.bgrx.get(), f.width, f.height, f.luma.get(), f.width, f.chroma.get(), f.width,
                          KernelIsa::sse2);
         }},
        {"colour/ours_yv12",
         [](Frame& f) {
             uint8_t* v = f.chroma.get();
             bgrx_to_yv12(f.bgrx.get(), f.width, f.height, f.luma.get(), f.width, v, f.width / 2, v + f.pixels / 4,
                          f.width / 2);
         }},
        {"colour/libyuv_nv12",
         [](Frame& f) {
             libyuv::ARGBToNV12(f.bgrx.get(), 4 * f.width, f.luma.get(), f.width, f.chroma.get(), f.width, f.width,
                                f.height);
         }},
    };
    return all;
}

void run_kernel(benchmark::State& state, const Kernel& kernel, int width, int height) {
    Frame frame(width, height);
    for (auto _ : state) {
        kernel(frame);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.pixels));
}

// Console output as usual, and items_per_second kept per benchmark (the median
// when repetitions are asked for) for the ratio table.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = rate->second.value;
            else if (run.run_type == Run::RT_Iteration)
                singles_[name] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Mpixel/s, or 0 when the benchmark was filtered out.
    double mpixels(const std::string& name) const {
        if (auto it = medians_.find(name); it != medians_.end()) return it->second / 1e6;
        if (auto it = singles_.find(name); it != singles_.end()) return it->second / 1e6;
        return 0;
    }

private:
    std::map<std::string, double> medians_, singles_;
};

void print_ratio(const RateReporter& rates, const std::string& size, const char* ours, const char* theirs,
                 double target, const char* target_text) {
    const double a = rates.mpixels(ours + ("/" + size)), b = rates.mpixels(theirs + ("/" + size));
    if (a <= 0 || b <= 0) return;
    if (target <= 0)  // a forced fallback, shown for information
        std::printf("%-10s %-22s %8.0f  %-19s %8.0f  ratio %5.2f  (fallback, no target)\n", size.c_str(), ours, a,
                    theirs, b, a / b);
    else
        std::printf("%-10s %-22s %8.0f  %-19s %8.0f  ratio %5.2f  (target %s) %s\n", size.c_str(), ours, a, theirs, b,
                    a / b, target_text, a / b >= target ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    const std::pair<int, int> sizes[] = {{1280, 1024}, {1920, 1200}, {5472, 3648}};
    for (const auto& [name, kernel] : kernels())
        for (const auto& [width, height] : sizes)
            benchmark::RegisterBenchmark((name + "/" + std::to_string(width) + "x" + std::to_string(height)).c_str(),
                                         run_kernel, kernel, width, height)
                ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMpixel/s (kernels: %s)\n", kernel_isa_name(best_kernel_isa()));
    for (const auto& [width, height] : sizes) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        print_ratio(reporter, size, "mono8/ours", "mono8/libyuv", 1.0, ">= 1.0");
        print_ratio(reporter, size, "mono12/ours", "mono12/libyuv", 1.0, ">= 1.0");
        print_ratio(reporter, size, "mono12/ours_sse2", "mono12/libyuv", 0, "");
        // 16-bit path time <= 1.5 x memcpy time  <=>  rate ratio >= 1 / 1.5.
        print_ratio(reporter, size, "mono12/ours", "luma_memcpy", 1 / 1.5, ">= 0.67");
        print_ratio(reporter, size, "colour/ours_nv12", "colour/libyuv_nv12", 1.3, ">= 1.3");
        print_ratio(reporter, size, "colour/ours_nv12_sse2", "colour/libyuv_nv12", 0, "");
        print_ratio(reporter, size, "colour/ours_yv12", "colour/libyuv_nv12", 1.3, ">= 1.3");
    }
    benchmark::Shutdown();
    return 0;
}
