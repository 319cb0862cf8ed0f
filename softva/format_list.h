// Threads: any (pure functions).
// The image formats the driver offers, in order.  SOFTVA_FORMATS ("yv12,nv12",
// "i420", ...) reorders or restricts the default list NV12, YV12.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace softva {

// Fourccs named in `setting` (case-insensitive, comma separated, duplicates and
// unknown names dropped).  An empty or wholly unknown setting gives NV12, YV12.
std::vector<std::uint32_t> parse_format_list(std::string_view setting);

}  // namespace softva
