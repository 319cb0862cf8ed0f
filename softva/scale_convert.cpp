// Threads: any (see scale_convert.h).
#include "scale_convert.h"

namespace softva {
namespace {

// Vertical pass: the source row pair blended for one destination row, or the
// source row itself when the weight is zero (no copy).
const std::uint8_t* blended_row(const std::uint8_t* plane, int pitch, const AxisTap& tap, int offset, int count,
                                std::vector<std::uint8_t>& scratch, const RowKernels& kernels) {
    const std::uint8_t* first = plane + static_cast<std::ptrdiff_t>(tap.first) * pitch + offset;
    if (tap.weight == 0) return first;
    const std::uint8_t* second = plane + static_cast<std::ptrdiff_t>(tap.second) * pitch + offset;
    kernels.blend_rows(first, second, tap.weight, scratch.data(), count);
    return scratch.data();
}

// Area filter, vertical pass: the weighted sum of the source rows the
// destination row covers, over the columns read.
void summed_rows(const std::uint8_t* plane, int pitch, const AreaAxis& rows, int row, int offset, int count,
                 std::uint16_t* sums, const RowKernels& kernels) {
    const AreaTap& tap = rows.taps[row];
    const auto at = [&](int k) { return plane + static_cast<std::ptrdiff_t>(tap.first + k) * pitch + offset; };
    for (int k = 0; k < tap.count; k += 2) {
        const bool pair = k + 1 < tap.count;
        kernels.area_rows(at(k), rows.weights[tap.weights_at + k], pair ? at(k + 1) : nullptr,
                          pair ? rows.weights[tap.weights_at + k + 1] : 0, k == 0, sums, count);
    }
}

}  // namespace

void scale_and_convert(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                       PixelOrder order, const RowKernels& kernels, ConvertScratch& scratch) {
    scale_and_convert_rows(plan, picture, out, out_pitch, order, kernels, scratch, 0, plan.visible.height);
}

long long conversion_work(const ScalePlan& plan) {
    const long long shown = static_cast<long long>(plan.visible.width) * plan.visible.height;
    if (!plan.area || plan.dst_width <= 0 || plan.dst_height <= 0) return 2 * shown;
    // The area filter reads every source sample the shown part covers.
    const double covered = double(plan.source.width) * plan.source.height / (double(plan.dst_width) * plan.dst_height);
    return shown + static_cast<long long>(shown * covered);
}

void scale_and_convert_in_bands(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                                PixelOrder order, const RowKernels& kernels, std::vector<ConvertScratch>& scratches,
                                tolmirex::BandPool& bands) {
    if (scratches.size() < bands.threads()) scratches.resize(bands.threads());
    bands.run(static_cast<std::uint32_t>(plan.visible.height), [&](std::uint32_t begin, std::uint32_t end,
                                                                   unsigned band) {
        scale_and_convert_rows(plan, picture, out, out_pitch, order, kernels, scratches[band], int(begin), int(end));
    });
}

void scale_and_convert_rows(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                            PixelOrder order, const RowKernels& kernels, ConvertScratch& scratch, int first_row,
                            int end_row) {
    const int width = plan.visible.width;
    const int luma_count = plan.luma_column_count;
    const int chroma_count = 2 * plan.chroma_column_count;
    if (plan.area) {
        scratch.luma_sums.resize(luma_count);
        scratch.chroma_sums.resize(chroma_count);
    } else {
        // Padding: the horizontal pass reads whole 16-byte windows.
        scratch.luma_row.resize(luma_count + 32);
        scratch.chroma_row.resize(chroma_count + 32);
    }
    scratch.c.resize(width);
    scratch.d.resize(width);
    scratch.e.resize(width);
    std::int16_t* c = scratch.c.data();
    std::int16_t* d = scratch.d.data();
    std::int16_t* e = scratch.e.data();

    for (int row = first_row; row < end_row; ++row) {
        if (plan.area) {
            summed_rows(picture.y, picture.y_pitch, plan.luma_row_area, row, plan.luma_column_base, luma_count,
                        scratch.luma_sums.data(), kernels);
            summed_rows(picture.uv, picture.uv_pitch, plan.chroma_row_area, row, 2 * plan.chroma_column_base,
                        chroma_count, scratch.chroma_sums.data(), kernels);
            kernels.area_horizontal(plan, scratch.luma_sums.data(), scratch.chroma_sums.data(), c, d, e);
        } else {
            const std::uint8_t* luma = blended_row(picture.y, picture.y_pitch, plan.luma_rows[row],
                                                   plan.luma_column_base, luma_count, scratch.luma_row, kernels);
            const std::uint8_t* chroma =
                blended_row(picture.uv, picture.uv_pitch, plan.chroma_rows[row], 2 * plan.chroma_column_base,
                            chroma_count, scratch.chroma_row, kernels);
            kernels.horizontal(plan, luma, chroma, c, d, e);
        }
        kernels.yuv_to_rgb(c, d, e, out + static_cast<std::ptrdiff_t>(row) * out_pitch, width, order);
    }
}

}  // namespace softva
