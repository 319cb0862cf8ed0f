// camera_choice.h - which of the cameras that answered a discovery a name
// given by the user (TOLMIREX_CAMERA_ID) means: the Aravis id, the MAC or
// IPv4 address, the serial number alone, or the name the user gave the
// camera (DeviceUserID).  A serial alone or a user name may fit several.
//
// Pure: any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace genicam {

// One camera as a discovery found it.  user_name is "" until read (it is
// read only when nothing else matches: that takes opening each camera).
struct FoundCamera {
    std::string id, physical_id, address, vendor, model, serial, user_name;
};

// The indexes of the cameras the name means, taken from the first of these
// that matches any: id, physical id, address or "vendor-serial"; serial
// number; user name.
// More than one means the name is not enough to tell them apart.
std::vector<size_t> cameras_named(const std::string& name, const std::vector<FoundCamera>& found);

// Aravis's in-process fake camera ("Fake_1") is opened by its id, not
// looked for among the cameras that answer.
bool opened_without_discovery(const std::string& name);

}  // namespace genicam
