// mode_table.h - the camera's modes as the program lists them: every pixel
// format the viewer can show times every binning factor the camera offers,
// each with the full frame under that binning.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel_layout.h"

namespace genicam {

struct OfferedFormat {
    uint32_t value;    // PFNC value
    std::string name;  // the camera's name for it, e.g. "BayerRG12"
};

struct CameraGeometry {
    uint32_t sensor_width = 0, sensor_height = 0;  // unbinned
    uint32_t width_increment = 1, height_increment = 1;
    uint32_t max_binning = 1;  // 1 when the camera cannot bin
};

struct Mode {
    uint32_t pixel_format;
    std::string format_name;
    PixelLayout layout;
    uint32_t binning;
    uint32_t width, height;  // full frame under this binning, camera pixels
};

// The binning factors listed: 1, 2 and 4 where the camera allows them.
std::vector<uint32_t> binning_factors(uint32_t max_binning);

// Modes in the order of the formats given (showable ones only), each format
// with its binning factors from 1 up.
std::vector<Mode> build_modes(const std::vector<OfferedFormat>& formats, const CameraGeometry& geometry);

// "BayerRG12, 1024 x 768, 2x2 binning".
std::string describe_mode(const Mode& mode);

// The mode of modes closest to wanted, for a camera that came back with
// other modes: the same format and binning, else the same kind of picture
// (mono or colour) and binning, else the same binning, else the first.
// Exact says whether it is the same format and binning.  modes not empty.
struct ModeMatch {
    uint32_t index;
    bool exact;
};
ModeMatch nearest_mode(const std::vector<Mode>& modes, const Mode& wanted);

}  // namespace genicam
