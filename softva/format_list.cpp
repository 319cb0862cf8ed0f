// Threads: any (pure functions).
#include "format_list.h"

#include <va/va.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "text_list.h"

namespace softva {
namespace {

std::uint32_t fourcc_named(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name == "nv12") return VA_FOURCC_NV12;
    if (name == "yv12") return VA_FOURCC_YV12;
    if (name == "i420") return VA_FOURCC_I420;
    return 0;
}

}  // namespace

std::vector<std::uint32_t> parse_format_list(std::string_view setting) {
    std::vector<std::uint32_t> formats;
    tolmirex::for_each_list_entry(setting, [&](std::string_view item) {
        const std::uint32_t fourcc = fourcc_named(std::string(item));
        if (fourcc != 0 && std::find(formats.begin(), formats.end(), fourcc) == formats.end())
            formats.push_back(fourcc);
    });
    if (formats.empty()) formats = {VA_FOURCC_NV12, VA_FOURCC_YV12};
    return formats;
}

}  // namespace softva
