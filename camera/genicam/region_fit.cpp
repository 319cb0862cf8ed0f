// region_fit.cpp - see region_fit.h.  Pure: any thread.
#include "region_fit.h"

#include <algorithm>

namespace genicam {
namespace {

uint32_t round_down(uint32_t value, uint32_t increment) { return increment > 1 ? value - value % increment : value; }
uint32_t round_up(uint32_t value, uint32_t increment) {
    return increment > 1 && value % increment ? value + increment - value % increment : value;
}

// Offset and size on one axis; nullopt when no legal pair fits.
std::optional<std::pair<uint32_t, uint32_t>> fit_axis(uint32_t offset, uint32_t size, const AxisRule& rule) {
    if (size == 0 || uint64_t{offset} + size > rule.full) return std::nullopt;
    const uint32_t minimum = round_up(std::max(rule.size_minimum, 1u), rule.size_increment);
    uint32_t fitted_offset = round_down(offset, rule.offset_increment);
    uint32_t fitted_size = std::max(round_down(size, rule.size_increment), minimum);
    // Growing a tiny size to the minimum may reach past the edge: move left.
    while (uint64_t{fitted_offset} + fitted_size > rule.full && fitted_offset > 0)
        fitted_offset =
            fitted_offset >= rule.offset_increment ? fitted_offset - std::max(rule.offset_increment, 1u) : 0;
    if (uint64_t{fitted_offset} + fitted_size > rule.full) return std::nullopt;
    return std::pair{fitted_offset, fitted_size};
}

}  // namespace

std::optional<Region> fit_region(Region requested, const AxisRule& x, const AxisRule& y) {
    if (requested == Region{}) requested = {0, 0, x.full, y.full};
    auto fx = fit_axis(requested.x0, requested.cx, x);
    auto fy = fit_axis(requested.y0, requested.cy, y);
    if (!fx || !fy) return std::nullopt;
    return Region{fx->first, fy->first, fx->second, fy->second};
}

}  // namespace genicam
