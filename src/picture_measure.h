// Figures of one frame for the person tuning the camera: the histogram at
// the camera's bit depth folded to a few bins, the shares of pixels at full
// scale and at zero, and a focus figure. Pure functions over a subsample of
// the frame: they read only the pixels given and may run on any thread.
#pragma once

#include <array>
#include <cstdint>

// Bins of the histogram as published; the drawing spreads them over its width.
constexpr int kHistogramBins = 256;
// At most this many pixels are read for the histogram and for the focus
// figure each: the shares then come out within about 0.1 % of the whole frame's.
constexpr long kMaxSamples = 1000000;

// One frame's pixels as the measurements read them. Rows are packed.
struct FrameView {
    enum class Kind { mono8, mono16, bgrx } kind = Kind::mono8;
    const void* pixels = nullptr;
    int width = 0, height = 0;
    int bits = 8;  // bit depth of a mono16 sample (9..16); 8 for mono8 and bgrx
};

struct PictureFigures {
    int channels = 0;  // 0: nothing measured; 1 mono; 3 colour (R, G, B)
    int bits = 8;
    std::array<std::array<uint32_t, kHistogramBins>, 3> bins{};
    double full_share = 0;  // share (0..1) of pixels with a sample at full scale
    double zero_share = 0;  // ... with a sample at zero
    double focus = 0;
    double best_focus = 0;  // the highest focus since the size or mode last changed
};

// The step n so that every n-th row and every n-th column of a width x height
// area gives at most `max_samples` pixels.
int sample_step(long width, long height, long max_samples);

// Histogram and clip shares over every step-th row and column. For colour a
// pixel counts as at full scale (or at zero) when any of its channels is;
// mono16 samples above full scale count as full scale.
void measure_histogram(const FrameView& frame, int step, PictureFigures* out);

// Sharpness of the central quarter (the middle half of each axis): the mean
// over every step-th pixel of the squared differences to the right and the
// lower neighbour, divided by the mean squared level there, times 1000.
// Scaling the exposure leaves it unchanged; blurring lowers it. Colour frames
// use R + 2G + B. 0 for a black or too small area.
double focus_figure(const FrameView& frame, int step);

// What keeps the best focus: it restarts when any part of this changes.
struct FocusKey {
    int width = 0, height = 0, kind = -1, bits = 0;
    unsigned mode = 0;
    bool operator==(const FocusKey& o) const {
        return width == o.width && height == o.height && kind == o.kind && bits == o.bits && mode == o.mode;
    }
};

// The best focus after a new figure: the figure alone when the key changed.
double best_focus_after(double previous_best, const FocusKey& previous, const FocusKey& now, double focus);
