// Threads: any (pure functions).
// Geometry of one presentation: for every destination column and row, the two
// source samples it blends and the weight of the second, in fixed point.
// Computed once per geometry and reused while the geometry stays the same.
#pragma once

#include <cstdint>
#include <vector>

#include "plane_copy.h"

namespace softva {

constexpr int kWeightBits = 7;
constexpr int kWeightOne = 1 << kWeightBits;

struct AxisTap {
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t weight = 0;  // of `second`, 0..kWeightOne-1
};

// Bilinear taps for destination samples [dst_begin, dst_end) of a span of
// dst_len samples showing source samples [src_offset, src_offset+src_len).
// Sample centres line up: destination d sits at source position
// src_offset + (d + 0.5) * src_len / dst_len - 0.5, clamped to the span.
std::vector<AxisTap> luma_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end);

// The same for the half-resolution chroma of a 4:2:0 picture, whose samples
// sit midway between two luma samples.
std::vector<AxisTap> chroma_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end);

// The taps turned into the nearest sample each: a weight of one half or more
// takes the second sample, anything less the first.
void to_nearest(std::vector<AxisTap>& taps);

// Sixteen destination columns as byte shuffles of 16-byte source windows, for
// the AVX2 horizontal pass: weight pairs ready for multiply-add.
struct ColumnGroup {
    std::int32_t luma_base[2];    // window start per 8 columns
    std::int32_t chroma_base[4];  // window start (bytes of interleaved UV) per 4 columns
    alignas(32) std::uint8_t luma_shuffle[32];
    alignas(32) std::int8_t luma_weights[32];
    alignas(32) std::uint8_t chroma_shuffle[2][32];  // [U pairs of 4 columns, V pairs] per 128-bit lane
    alignas(32) std::int8_t chroma_weights[2][32];
};

// Area filter, for reductions of 2:1 or more: destination sample d averages
// every source sample its span covers, each weighted by the part of it that
// lies inside the span.  The weights of one sample sum to kAreaOne.
constexpr int kAreaBits = 8;
constexpr int kAreaOne = 1 << kAreaBits;

struct AreaTap {
    std::int32_t first = 0;       // first source sample covered
    std::int32_t count = 0;       // source samples covered
    std::int32_t weights_at = 0;  // index of the first one's weight in AreaAxis::weights
};

struct AreaAxis {
    std::vector<AreaTap> taps;
    std::vector<std::uint16_t> weights;
    // Every tap covers exactly `step` samples at equal weight, the next tap
    // starting where the last ended (an integral ratio); 0 otherwise.
    int step = 0;
};

// Area taps for destination samples [dst_begin, dst_end) of a span of
// dst_len samples showing source luma samples [src_offset, src_offset+src_len).
// The chroma version covers the same spans on the half-resolution chroma grid,
// chroma sample c standing for luma samples 2c and 2c+1.
AreaAxis luma_area_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end);
AreaAxis chroma_area_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end);

struct ScalePlan {
    Rect source;                        // luma rectangle of the surface shown
    int dst_width = 0, dst_height = 0;  // size it is scaled to
    Rect visible;                       // part of the dst_width x dst_height grid computed
    std::vector<AxisTap> luma_columns, chroma_columns, luma_rows, chroma_rows;
    int luma_column_base = 0, luma_column_count = 0;      // source columns read
    int chroma_column_base = 0, chroma_column_count = 0;  // source chroma columns read
    // Groups for the leading columns, or none when some group's taps do not fit
    // its windows (downscaling by more than two).
    std::vector<ColumnGroup> column_groups;
    // Reductions of 2:1 or more in both directions use the area filter instead
    // of the bilinear taps above (which are then left empty); all but exactly
    // 2:1, where the bilinear taps give the same 2 x 2 averages.
    bool area = false;
    AreaAxis luma_column_area, chroma_column_area, luma_row_area, chroma_row_area;
};

// Taps of luma_columns/chroma_columns are relative to the column bases.
ScalePlan make_scale_plan(Rect source, int dst_width, int dst_height, Rect visible);

bool same_geometry(const ScalePlan& plan, Rect source, int dst_width, int dst_height, Rect visible);

}  // namespace softva
