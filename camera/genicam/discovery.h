// discovery.h - the cameras that answer, as Aravis's discovery finds them
// (a broadcast on every network interface, and the USB buses), and the
// name a user gave a camera.  Aravis's list of found cameras is shared by
// the whole process: every use of it (a discovery, an open by id) holds
// discovery_lock().
//
// Any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "camera_choice.h"

namespace genicam {

std::mutex& discovery_lock();

// Discovers anew; user names are left "".  Takes discovery_lock().
std::vector<FoundCamera> discover_cameras();

// The camera's DeviceUserID, read by opening it the first time it is asked
// for; "" when it has none or does not open.  Takes discovery_lock().
std::string read_user_name(const std::string& id);

}  // namespace genicam
