// camera_choice.cpp - see camera_choice.h.  Pure.
#include "camera_choice.h"

namespace genicam {

std::vector<size_t> cameras_named(const std::string& name, const std::vector<FoundCamera>& found) {
    using Field = bool (*)(const FoundCamera&, const std::string&);
    const Field tiers[] = {
        // Aravis also opens a camera by "vendor-serial".
        [](const FoundCamera& c, const std::string& n) {
            return n == c.id || n == c.physical_id || n == c.address || n == c.vendor + "-" + c.serial;
        },
        [](const FoundCamera& c, const std::string& n) { return n == c.serial; },
        [](const FoundCamera& c, const std::string& n) { return n == c.user_name; },
    };
    std::vector<size_t> named;
    if (name.empty()) return named;
    for (const Field matches : tiers) {
        for (size_t i = 0; i < found.size(); ++i)
            if (matches(found[i], name)) named.push_back(i);
        if (!named.empty()) break;
    }
    return named;
}

bool opened_without_discovery(const std::string& name) { return name.rfind("Fake_", 0) == 0; }

}  // namespace genicam
