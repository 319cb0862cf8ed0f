// region_fit.h - a requested region fitted to the camera's rules: inside the
// mode's full frame, offsets and sizes rounded down to the camera's
// increments, sizes at least the camera's minimum.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace genicam {

struct Region {
    uint32_t x0 = 0, y0 = 0, cx = 0, cy = 0;
    bool operator==(const Region&) const = default;
};

struct AxisRule {
    uint32_t full = 0;  // the mode's full size on this axis
    uint32_t offset_increment = 1;
    uint32_t size_increment = 1;
    uint32_t size_minimum = 1;
};

// All zero asks for the full frame.  nullopt when the request does not fit
// the frame (empty, or reaching past its edge).
std::optional<Region> fit_region(Region requested, const AxisRule& x, const AxisRule& y);

}  // namespace genicam
