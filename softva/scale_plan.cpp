// Threads: any (pure functions).
#include "scale_plan.h"

#include <algorithm>

namespace softva {
namespace {

constexpr std::int64_t kPositionOne = 1 << 16;

AxisTap tap_at(std::int64_t position, int lo, int hi) {
    position = std::clamp<std::int64_t>(position, lo * kPositionOne, hi * kPositionOne);
    AxisTap tap;
    tap.first = static_cast<std::int32_t>(position >> 16);
    // Round the 16-bit fraction to kWeightBits; a fraction that rounds up to one
    // whole sample moves to the next sample instead.
    std::int32_t weight =
        static_cast<std::int32_t>(((position & 0xffff) + (1 << (15 - kWeightBits))) >> (16 - kWeightBits));
    if (weight >= kWeightOne) {
        ++tap.first;
        weight = 0;
    }
    tap.second = std::min(tap.first + 1, hi);
    tap.weight = tap.second == tap.first ? 0 : weight;
    return tap;
}

// Luma position of destination sample d, 16.16 fixed point, before clamping.
std::int64_t luma_position(int src_offset, int src_len, int dst_len, int d) {
    return src_offset * kPositionOne + std::int64_t{2 * d + 1} * src_len * kPositionOne / (2 * std::int64_t{dst_len}) -
           kPositionOne / 2;
}

constexpr int kWindow = 16;

// One multiply-add pair: signed-byte weights summing to kWeightOne.  A zero
// weight would need 128 on the first sample, one past the signed-byte range,
// so that case takes the first sample twice at half weight each.
void set_pair(std::uint8_t* shuffle, std::int8_t* weights, int a, int b, std::int32_t weight) {
    if (weight == 0) {
        shuffle[0] = shuffle[1] = static_cast<std::uint8_t>(a);
        weights[0] = weights[1] = kWeightOne / 2;
        return;
    }
    shuffle[0] = static_cast<std::uint8_t>(a);
    shuffle[1] = static_cast<std::uint8_t>(b);
    weights[0] = static_cast<std::int8_t>(kWeightOne - weight);
    weights[1] = static_cast<std::int8_t>(weight);
}

// Fills group `g` from the rebased taps; false if a tap lies outside its window.
bool fill_group(ColumnGroup& group, const std::vector<AxisTap>& luma, const std::vector<AxisTap>& chroma, int g) {
    for (int half = 0; half < 2; ++half) {
        const int x = 16 * g + 8 * half;
        const int base = luma[x].first;
        group.luma_base[half] = base;
        for (int i = 0; i < 8; ++i) {
            const AxisTap& tap = luma[x + i];
            if (tap.first < base || tap.second - base >= kWindow) return false;
            set_pair(group.luma_shuffle + 16 * half + 2 * i, group.luma_weights + 16 * half + 2 * i, tap.first - base,
                     tap.second - base, tap.weight);
        }
    }
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int x = 16 * g + 4 * quarter;
        const int base = 2 * chroma[x].first;
        group.chroma_base[quarter] = base;
        std::uint8_t* shuffle = group.chroma_shuffle[quarter / 2] + 16 * (quarter % 2);
        std::int8_t* weights = group.chroma_weights[quarter / 2] + 16 * (quarter % 2);
        for (int i = 0; i < 4; ++i) {
            const AxisTap& tap = chroma[x + i];
            const int a = 2 * tap.first - base, b = 2 * tap.second - base;
            if (a < 0 || b + 1 >= kWindow) return false;
            set_pair(shuffle + 2 * i, weights + 2 * i, a, b, tap.weight);                  // U
            set_pair(shuffle + 8 + 2 * i, weights + 8 + 2 * i, a + 1, b + 1, tap.weight);  // V
        }
    }
    return true;
}

// Destination samples over the source span [a, b) (units of 1/unit sample),
// clamped to samples [lo, hi].  Weights: the cumulative coverage rounded, so
// they add up to exactly kAreaOne.
AreaAxis area_taps(std::int64_t first_start, std::int64_t length, std::int64_t unit, int lo, int hi, int dst_begin,
                   int dst_end) {
    AreaAxis axis;
    axis.taps.reserve(std::max(0, dst_end - dst_begin));
    for (int d = dst_begin; d < dst_end; ++d) {
        const std::int64_t a = std::clamp(first_start + d * length, lo * unit, (hi + 1) * unit);
        const std::int64_t b = std::max(a + 1, std::min(first_start + (d + 1) * length, (hi + 1) * unit));
        const std::int64_t span = b - a;
        AreaTap tap;
        tap.first = static_cast<std::int32_t>(std::min<std::int64_t>(a / unit, hi));
        const int last = static_cast<int>(std::min<std::int64_t>((b - 1) / unit, hi));
        tap.count = last - tap.first + 1;
        tap.weights_at = static_cast<std::int32_t>(axis.weights.size());
        std::int64_t covered = 0, given = 0;
        for (int sample = tap.first; sample <= last; ++sample) {
            covered += std::min(b, (sample + 1) * unit) - std::max(a, sample * unit);
            const std::int64_t total = (covered * kAreaOne * 2 + span) / (span * 2);
            axis.weights.push_back(static_cast<std::uint16_t>(total - given));
            given = total;
        }
        axis.taps.push_back(tap);
    }
    // An integral ratio whose spans tile the source from the first tap on.
    const int step = axis.taps.empty() ? 0 : axis.taps.front().count;
    bool uniform = step > 0 && (step & (step - 1)) == 0 && step <= kAreaOne;
    for (std::size_t i = 0; uniform && i < axis.taps.size(); ++i) {
        const AreaTap& tap = axis.taps[i];
        uniform = tap.count == step && tap.first == axis.taps.front().first + static_cast<int>(i) * step;
        for (int k = 0; uniform && k < step; ++k) uniform = axis.weights[tap.weights_at + k] == kAreaOne / step;
    }
    axis.step = uniform ? step : 0;
    return axis;
}

}  // namespace

void to_nearest(std::vector<AxisTap>& taps) {
    for (AxisTap& tap : taps) {
        if (tap.weight >= kWeightOne / 2) tap.first = tap.second;
        tap.second = tap.first;
        tap.weight = 0;
    }
}

AreaAxis luma_area_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end) {
    return area_taps(std::int64_t{src_offset} * dst_len, src_len, dst_len, src_offset, src_offset + src_len - 1,
                     dst_begin, dst_end);
}

AreaAxis chroma_area_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end) {
    // Half-resolution samples: the luma span in units of 1/(2 dst_len) chroma samples.
    return area_taps(std::int64_t{src_offset} * dst_len, src_len, 2 * std::int64_t{dst_len}, src_offset / 2,
                     (src_offset + src_len - 1) / 2, dst_begin, dst_end);
}

std::vector<AxisTap> luma_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end) {
    std::vector<AxisTap> taps;
    taps.reserve(std::max(0, dst_end - dst_begin));
    for (int d = dst_begin; d < dst_end; ++d)
        taps.push_back(tap_at(luma_position(src_offset, src_len, dst_len, d), src_offset, src_offset + src_len - 1));
    return taps;
}

std::vector<AxisTap> chroma_taps(int src_offset, int src_len, int dst_len, int dst_begin, int dst_end) {
    std::vector<AxisTap> taps;
    taps.reserve(std::max(0, dst_end - dst_begin));
    const int lo = src_offset / 2, hi = (src_offset + src_len - 1) / 2;
    for (int d = dst_begin; d < dst_end; ++d) {
        const std::int64_t luma = luma_position(src_offset, src_len, dst_len, d);
        taps.push_back(tap_at((luma + kPositionOne / 2) / 2 - kPositionOne / 2, lo, hi));
    }
    return taps;
}

ScalePlan make_scale_plan(Rect source, int dst_width, int dst_height, Rect visible) {
    ScalePlan plan;
    plan.source = source;
    plan.dst_width = dst_width;
    plan.dst_height = dst_height;
    plan.visible = visible;
    const int x_end = visible.x + visible.width, y_end = visible.y + visible.height;
    // At exactly 2:1 the bilinear taps fall midway between two samples, so they
    // already average every 2 x 2 block, and their kernels are faster.
    const bool exactly_half =
        source.width == 2 * dst_width && source.height == 2 * dst_height && source.x % 2 == 0 && source.y % 2 == 0;
    if (source.width >= 2 * dst_width && source.height >= 2 * dst_height && !exactly_half) {
        plan.area = true;
        plan.luma_column_area = luma_area_taps(source.x, source.width, dst_width, visible.x, x_end);
        plan.chroma_column_area = chroma_area_taps(source.x, source.width, dst_width, visible.x, x_end);
        plan.luma_row_area = luma_area_taps(source.y, source.height, dst_height, visible.y, y_end);
        plan.chroma_row_area = chroma_area_taps(source.y, source.height, dst_height, visible.y, y_end);
        // Columns relative to the first one read, as for the bilinear taps.
        const auto rebase = [](AreaAxis& axis, int& base, int& count) {
            if (axis.taps.empty()) return;
            base = axis.taps.front().first;
            const AreaTap& last = axis.taps.back();
            count = last.first + last.count - base;
            for (AreaTap& tap : axis.taps) tap.first -= base;
        };
        rebase(plan.luma_column_area, plan.luma_column_base, plan.luma_column_count);
        rebase(plan.chroma_column_area, plan.chroma_column_base, plan.chroma_column_count);
        return plan;
    }
    plan.luma_columns = luma_taps(source.x, source.width, dst_width, visible.x, x_end);
    plan.chroma_columns = chroma_taps(source.x, source.width, dst_width, visible.x, x_end);
    plan.luma_rows = luma_taps(source.y, source.height, dst_height, visible.y, y_end);
    plan.chroma_rows = chroma_taps(source.y, source.height, dst_height, visible.y, y_end);
    // Magnified, every source pixel is shown as it is, a block of its own
    // value, rather than blended with its neighbours.
    if (dst_width > source.width) {
        to_nearest(plan.luma_columns);
        to_nearest(plan.chroma_columns);
    }
    if (dst_height > source.height) {
        to_nearest(plan.luma_rows);
        to_nearest(plan.chroma_rows);
    }

    const auto rebase = [](std::vector<AxisTap>& taps, int& base, int& count) {
        if (taps.empty()) return;
        base = taps.front().first;
        int last = base;
        for (const AxisTap& tap : taps) {
            base = std::min(base, tap.first);
            last = std::max(last, tap.second);
        }
        count = last - base + 1;
        for (AxisTap& tap : taps) {
            tap.first -= base;
            tap.second -= base;
        }
    };
    rebase(plan.luma_columns, plan.luma_column_base, plan.luma_column_count);
    rebase(plan.chroma_columns, plan.chroma_column_base, plan.chroma_column_count);

    plan.column_groups.resize(visible.width / 16);
    for (int g = 0; g < static_cast<int>(plan.column_groups.size()); ++g)
        if (!fill_group(plan.column_groups[g], plan.luma_columns, plan.chroma_columns, g)) {
            plan.column_groups.clear();
            break;
        }
    return plan;
}

bool same_geometry(const ScalePlan& plan, Rect source, int dst_width, int dst_height, Rect visible) {
    const auto same = [](Rect a, Rect b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    return same(plan.source, source) && plan.dst_width == dst_width && plan.dst_height == dst_height &&
           same(plan.visible, visible);
}

}  // namespace softva
