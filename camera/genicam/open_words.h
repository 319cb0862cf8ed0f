// open_words.h - the sentences for what keeps a camera from being opened,
// for the person at the screen: what is wrong, and what to do.  camera is
// how the user named it (TOLMIREX_CAMERA_ID or the id chosen).
//
// Pure: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera_choice.h"

namespace genicam {

// "10.1.2.3 (port 50123)" from the camera's primary application registers
// (address, port), "" when the camera does not tell (address 0).
std::string controller_text(uint32_t address, uint32_t port);

// Another program controls the camera; controller as controller_text gives it.
std::string held_sentence(const std::string& camera, const std::string& controller);

// The named camera is not among those that answer, which are listed.
std::string not_found_sentence(const std::string& camera, const std::vector<FoundCamera>& answering);

// The name fits more than one camera: those.
std::string ambiguous_sentence(const std::string& camera, const std::vector<FoundCamera>& named);

// What the camera's description left the viewer without, as far as it goes.
struct DescriptionFacts {
    std::string model;
    uint32_t sensor_width = 0, sensor_height = 0;
    std::vector<std::string> offered_formats;  // all, shown or not
};
// Said of a camera whose description gives the viewer no mode: no size,
// no pixel format, or only formats it cannot show.
std::string description_sentence(const std::string& camera, const DescriptionFacts& facts);

}  // namespace genicam
