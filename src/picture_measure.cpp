// See picture_measure.h. Pure functions, any thread.
#include "picture_measure.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

int mono16_bits(const FrameView& f) { return std::clamp(f.bits, 8, 16); }

template <typename Sample>
const Sample* row_of(const FrameView& f, long y, int samples_per_pixel = 1) {
    return static_cast<const Sample*>(f.pixels) + static_cast<size_t>(y) * f.width * samples_per_pixel;
}

// Mono rows: folded bins, and the counts at full scale and at zero.
template <typename Sample>
void mono_histogram(const FrameView& f, int step, int full, int shift, PictureFigures* out, long* at_full,
                    long* at_zero) {
    auto& bins = out->bins[0];
    long high = 0, low = 0;
    for (long y = 0; y < f.height; y += step) {
        const Sample* row = row_of<Sample>(f, y);
        for (long x = 0; x < f.width; x += step) {
            const int v = std::min<int>(row[x], full);
            ++bins[v >> shift];
            high += v == full;
            low += v == 0;
        }
    }
    *at_full = high;
    *at_zero = low;
}

void colour_histogram(const FrameView& f, int step, PictureFigures* out, long* at_full, long* at_zero) {
    long high = 0, low = 0;
    for (long y = 0; y < f.height; y += step) {
        const uint8_t* row = row_of<uint8_t>(f, y, 4);
        for (long x = 0; x < f.width; x += step) {
            const uint8_t b = row[4 * x], g = row[4 * x + 1], r = row[4 * x + 2];
            ++out->bins[0][r];
            ++out->bins[1][g];
            ++out->bins[2][b];
            high += std::max({r, g, b}) == 255;
            low += std::min({r, g, b}) == 0;
        }
    }
    *at_full = high;
    *at_zero = low;
}

// The level the focus figure reads at (x, y).
int level_at(const FrameView& f, long x, long y) {
    switch (f.kind) {
        case FrameView::Kind::mono8: return row_of<uint8_t>(f, y)[x];
        case FrameView::Kind::mono16: return row_of<uint16_t>(f, y)[x];
        case FrameView::Kind::bgrx: {
            const uint8_t* p = row_of<uint8_t>(f, y, 4) + 4 * x;
            return p[2] + 2 * p[1] + p[0];
        }
    }
    return 0;
}

}  // namespace

int sample_step(long width, long height, long max_samples) {
    if (width <= 0 || height <= 0 || max_samples <= 0) return 1;
    auto samples = [&](long n) { return ((width + n - 1) / n) * ((height + n - 1) / n); };
    long n = std::max(1L, static_cast<long>(std::sqrt(double(width) * double(height) / double(max_samples))));
    while (samples(n) > max_samples) ++n;
    return static_cast<int>(n);
}

void measure_histogram(const FrameView& frame, int step, PictureFigures* out) {
    out->bins = {};
    out->channels = 0;
    out->full_share = out->zero_share = 0;
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 || step <= 0) return;
    long at_full = 0, at_zero = 0;
    switch (frame.kind) {
        case FrameView::Kind::mono8:
            mono_histogram<uint8_t>(frame, step, 255, 0, out, &at_full, &at_zero);
            out->channels = 1;
            out->bits = 8;
            break;
        case FrameView::Kind::mono16: {
            const int bits = mono16_bits(frame);
            mono_histogram<uint16_t>(frame, step, (1 << bits) - 1, bits - 8, out, &at_full, &at_zero);
            out->channels = 1;
            out->bits = bits;
            break;
        }
        case FrameView::Kind::bgrx:
            colour_histogram(frame, step, out, &at_full, &at_zero);
            out->channels = 3;
            out->bits = 8;
            break;
    }
    const double pixels = double((frame.width + step - 1) / step) * double((frame.height + step - 1) / step);
    out->full_share = at_full / pixels;
    out->zero_share = at_zero / pixels;
}

double focus_figure(const FrameView& frame, int step) {
    if (!frame.pixels || step <= 0) return 0;
    // The middle half of each axis; the last row and column read one beyond,
    // which stays inside the frame.
    const long x0 = frame.width / 4, x1 = x0 + frame.width / 2;
    const long y0 = frame.height / 4, y1 = y0 + frame.height / 2;
    if (x0 < 1 || y0 < 1) return 0;
    double gradient = 0, energy = 0;
    for (long y = y0; y < y1; y += step) {
        int64_t row_gradient = 0, row_energy = 0;  // whole rows in integers: exact and fast
        for (long x = x0; x < x1; x += step) {
            const int64_t v = level_at(frame, x, y);
            const int64_t dx = level_at(frame, x + 1, y) - v, dy = level_at(frame, x, y + 1) - v;
            row_gradient += dx * dx + dy * dy;
            row_energy += v * v;
        }
        gradient += double(row_gradient);
        energy += double(row_energy);
    }
    return energy > 0 ? 1000.0 * gradient / energy : 0;
}

double best_focus_after(double previous_best, const FocusKey& previous, const FocusKey& now, double focus) {
    return previous == now ? std::max(previous_best, focus) : focus;
}
