// colour_pipeline.h - raw Bayer (or mono) frame to an 8-bit BGRx image:
// bilinear demosaic, white balance, colour matrix and contrast in one pass.
//
// Pure code with no tie to the simulated camera, so another camera library can
// reuse it.  A Pipeline is not internally locked: configure() and process()
// on one object must not run at the same time; const calls may run on many
// threads at once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "band_pool.h"
#include "camera_colour.h"
#include "colour_fixed_point.h"
#include "colour_float_rows.h"
#include "mosaic.h"

namespace colour {

using Matrix3 = std::array<std::array<double, 3>, 3>;  // rows: output R,G,B; columns: input R,G,B

struct Settings {
    std::array<double, 3> white_balance{1.0, 1.0, 1.0};  // gains for R, G, B
    Matrix3 matrix{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    uint32_t black = 0;   // raw level that maps to 0
    uint32_t top = 4095;  // raw level that maps to 255
    double gamma = 1.0;   // output = linear^(1/gamma); 1 (or <= 0) = linear
};

struct RawImage {
    const void* data;  // rows packed, width samples each
    uint32_t width, height;
    uint32_t bytes_per_sample;  // 1, or 2 (little-endian, up to 16 significant bits)
    Mosaic mosaic;
    // A camera's own colour for the same pixels, which the samples are then
    // the luma of: processed from it, with no demosaic.
    const uint8_t* camera_colour = nullptr;
    CameraColour camera_colour_layout = CameraColour::rgb8;

    std::optional<CameraColourImage> colour_image() const {
        if (!camera_colour) return std::nullopt;
        return CameraColourImage{camera_colour, width, height, camera_colour_layout};
    }
};

// A colour matrix for a typical sensor behind an IR-cut filter; each row sums
// to 1 so neutral greys stay neutral.
Matrix3 default_correction_matrix();

class Pipeline {
public:
    Pipeline() { configure(Settings{}); }
    void configure(const Settings& settings);
    const Settings& settings() const { return settings_; }

    // bgrx: width*height pixels, each B | G<<8 | R<<16 (bytes B, G, R, 0).
    // With bands, split into row bands over its threads: the same pixels,
    // bit for bit.
    void process(const RawImage& raw, uint32_t* bgrx, tolmirex::BandPool* bands = nullptr) const;

private:
    void process_rows(const RawImage& raw, uint32_t* bgrx, uint32_t first_row, uint32_t end_row) const;

    Settings settings_;
    // The settings folded for mosaic sites ordered (P, G, Q), where P is the
    // colour at the even/even site: integer classes for the SIMD kernels, and
    // float coefficients for settings too large for 16-bit lanes.
    struct Folded {
        detail::FixedSet fixed;
        detail::FloatCoefficients floating;
    } rggb_{}, bggr_{};
    CameraColourTables camera_colour_{};
    float mono_gain_ = 0, mono_offset_ = 0;
    bool has_gamma_ = false;
    std::array<uint8_t, 256> gamma_lut_{};
};

// Means of the four mosaic positions over a region of the image, in the order
// top-left, top-right, bottom-left, bottom-right of each 2x2 cell (positions
// counted from the image's origin); of a camera's own colour, R, G, G and B.  nullopt when the region is empty or
// outside the image.
// With bands, each band sums its rows and the sums are merged (exact: the
// sums are of integers).
std::optional<std::array<double, 4>> mosaic_means(const RawImage& raw, uint32_t x0, uint32_t y0, uint32_t cx,
                                                  uint32_t cy, tolmirex::BandPool* bands = nullptr);

}  // namespace colour
