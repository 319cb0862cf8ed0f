// Threads: any (pure functions).
#include "format_list.h"

#include <va/va.h>

#include <algorithm>
#include <cctype>
#include <string>

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
  while (!setting.empty()) {
    const std::size_t comma = setting.find(',');
    std::string_view item = setting.substr(0, comma);
    setting = comma == std::string_view::npos ? std::string_view{} : setting.substr(comma + 1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.remove_suffix(1);
    const std::uint32_t fourcc = fourcc_named(std::string(item));
    if (fourcc != 0 && std::find(formats.begin(), formats.end(), fourcc) == formats.end()) formats.push_back(fourcc);
  }
  if (formats.empty()) formats = {VA_FOURCC_NV12, VA_FOURCC_YV12};
  return formats;
}

}  // namespace softva
