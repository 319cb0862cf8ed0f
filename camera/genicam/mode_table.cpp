// mode_table.cpp - see mode_table.h.  Pure: any thread.
#include "mode_table.h"

#include <cstdio>
#include <optional>

namespace genicam {
namespace {

uint32_t round_down(uint32_t value, uint32_t increment) { return increment > 1 ? value - value % increment : value; }

}  // namespace

std::vector<uint32_t> binning_factors(uint32_t max_binning) {
    std::vector<uint32_t> factors;
    for (uint32_t factor : {1u, 2u, 4u})
        if (factor == 1 || factor <= max_binning) factors.push_back(factor);
    return factors;
}

std::vector<Mode> build_modes(const std::vector<OfferedFormat>& formats, const CameraGeometry& geometry) {
    std::vector<Mode> modes;
    for (const OfferedFormat& format : formats) {
        auto layout = pixel_layout(format.value);
        if (!layout) continue;
        for (uint32_t bin : binning_factors(geometry.max_binning)) {
            const uint32_t width = round_down(geometry.sensor_width / bin, geometry.width_increment);
            const uint32_t height = round_down(geometry.sensor_height / bin, geometry.height_increment);
            if (width == 0 || height == 0) continue;
            modes.push_back({format.value, format.name, *layout, bin, width, height});
        }
    }
    return modes;
}

std::string describe_mode(const Mode& mode) {
    char text[160];
    if (mode.binning > 1)
        std::snprintf(text, sizeof text, "%s, %u x %u, %ux%u binning", mode.format_name.c_str(), mode.width,
                      mode.height, mode.binning, mode.binning);
    else
        std::snprintf(text, sizeof text, "%s, %u x %u", mode.format_name.c_str(), mode.width, mode.height);
    return text;
}

ModeMatch nearest_mode(const std::vector<Mode>& modes, const Mode& wanted) {
    const auto colour = [](const Mode& m) { return m.layout.mosaic != Mosaic::mono; };
    const auto first = [&](auto&& fits) -> std::optional<uint32_t> {
        for (uint32_t i = 0; i < modes.size(); ++i)
            if (fits(modes[i])) return i;
        return std::nullopt;
    };
    if (auto i =
            first([&](const Mode& m) { return m.pixel_format == wanted.pixel_format && m.binning == wanted.binning; }))
        return {*i, true};
    if (auto i = first([&](const Mode& m) { return colour(m) == colour(wanted) && m.binning == wanted.binning; }))
        return {*i, false};
    if (auto i = first([&](const Mode& m) { return m.binning == wanted.binning; })) return {*i, false};
    return {0, false};
}

}  // namespace genicam
