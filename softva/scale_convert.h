// Threads: any; each caller passes its own scratch rows.
// The presentation hot path: scaling of an NV12 picture (bilinear, or the area
// filter for reductions of 2:1 or more) and BT.601 conversion to 32-bit RGB in
// one pass over the destination rows.
#pragma once

#include <cstdint>
#include <vector>

#include "band_pool.h"
#include "row_kernels.h"
#include "scale_plan.h"

namespace softva {

struct Nv12Picture {
    const std::uint8_t* y = nullptr;
    int y_pitch = 0;
    const std::uint8_t* uv = nullptr;
    int uv_pitch = 0;
};

// Rows reused from call to call so the hot path does not allocate.
struct ConvertScratch {
    std::vector<std::uint8_t> luma_row, chroma_row;
    std::vector<std::int16_t> c, d, e;
    std::vector<std::uint16_t> luma_sums, chroma_sums;  // area filter: vertical sums
};

// Writes plan.visible (width x height pixels, 4 bytes each) to `out`, row
// pitch `out_pitch` bytes.
void scale_and_convert(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                       PixelOrder order, const RowKernels& kernels, ConvertScratch& scratch);

// The same, rows [first_row, end_row) of plan.visible only.
void scale_and_convert_rows(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                            PixelOrder order, const RowKernels& kernels, ConvertScratch& scratch, int first_row,
                            int end_row);

// Roughly what converting the picture costs, in source and destination
// samples touched: worth splitting over threads above kBandedWork (about a
// millisecond on one core).
long long conversion_work(const ScalePlan& plan);
inline constexpr long long kBandedWork = 1'500'000;

// The same as scale_and_convert, in row bands over the pool's threads, one
// scratch each: the same pixels, bit for bit.
void scale_and_convert_in_bands(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                                PixelOrder order, const RowKernels& kernels, std::vector<ConvertScratch>& scratches,
                                tolmirex::BandPool& bands);

}  // namespace softva
