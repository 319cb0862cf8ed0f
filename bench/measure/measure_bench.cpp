// Cost of the picture tools on the largest frame the viewer meets, 5472 x
// 3648 mono 12-bit: the display thread's measurement (histogram, clip
// shares, focus figure) per computation and as a share of one core at five
// a second, and the frame conversion with clipped pixels painted against the
// plain one. Prints the median of several runs. Single-threaded.
// Usage: measure_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "clip_marking.h"
#include "picture_measure.h"
#include "yuv_convert.h"

namespace {

constexpr int W = 5472, H = 3648, BITS = 12;

// A lit scene: a gradient with noise, and a bright patch at full scale
// covering about 1 % of the frame.
std::vector<uint16_t> scene() {
    std::vector<uint16_t> f(size_t(W) * H);
    std::mt19937 rng(7);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int level = 300 + 3000 * x / W + int(rng() % 64);
            const bool patch = x > W / 2 && x < W / 2 + W / 10 && y > H / 3 && y < H / 3 + H / 10;
            f[size_t(y) * W + x] = uint16_t(patch ? 4095 : level);
        }
    return f;
}

double median_ms(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(ms.begin(), ms.begin() + runs / 2, ms.end());
    return ms[runs / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const std::vector<uint16_t> frame = scene();
    std::vector<uint8_t> luma(size_t(W) * H), uv(size_t(W) * H / 2);
    const FrameView view{FrameView::Kind::mono16, frame.data(), W, H, BITS};

    PictureFigures figures;
    double focus = 0;
    const double histogram_ms = median_ms(runs, [&] {
        measure_histogram(view, sample_step(W, H, kMaxSamples), &figures);
    });
    const double focus_ms = median_ms(runs, [&] { focus = focus_figure(view, sample_step(W / 2, H / 2, kMaxSamples)); });
    const double measure_ms = histogram_ms + focus_ms;
    printf("%d x %d mono %d-bit, %s kernels, median of %d runs\n", W, H, BITS, kernel_isa_name(best_kernel_isa()),
           runs);
    printf("histogram + clip shares: %7.2f ms (step %d; %.2f %% at full scale)\n", histogram_ms,
           sample_step(W, H, kMaxSamples), 100 * figures.full_share);
    printf("focus figure:            %7.2f ms (step %d; focus %.1f)\n", focus_ms,
           sample_step(W / 2, H / 2, kMaxSamples), focus);
    printf("measurement:             %7.2f ms, %.2f %% of one core at 5 a second\n", measure_ms,
           measure_ms * 5 / 1000 * 100);

    const ChromaPlanes chroma{uv.data(), uv.data() + 1, W, W, 2};
    auto plain = [&] {
        shift_rows_16bit(frame.data(), W, H, BITS, luma.data(), W);
        fill_neutral_chroma(uv.data(), uv.size());
    };
    const double plain_ms = median_ms(runs, plain);
    const double marked_ms = median_ms(runs, [&] {
        plain();
        mark_clipped_mono16(frame.data(), W, H, BITS, luma.data(), W, chroma);
    });
    printf("conversion, plain:       %7.2f ms\n", plain_ms);
    printf("conversion, clipped shown: %5.2f ms (+%.2f ms, x%.2f)\n", marked_ms, marked_ms - plain_ms,
           marked_ms / plain_ms);
    return 0;
}
