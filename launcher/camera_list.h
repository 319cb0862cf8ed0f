// camera_list.h - the GenICam cameras the launcher found, in words: one line
// each for --list-cameras and the chooser's rows, and the name the viewer is
// given to open the one chosen.  Pure: any thread.
#pragma once

#include <string>
#include <vector>

#include "camera_choice.h"

struct ListedCamera {
    genicam::FoundCamera found;
    bool held = false;  // another program controls it
};

// "Aravis Fake, serial GV01, 127.0.0.1 (Aravis-Fake-GV01), in use by another program"
std::string camera_line(const ListedCamera& camera);
// Where it is: the IPv4 address of a GigE Vision camera, else the USB
// device (Aravis's id names its bus place).
std::string camera_place(const genicam::FoundCamera& camera);
// TOLMIREX_CAMERA_ID for it: the address (opened directly, nothing
// broadcast), else the Aravis id.
std::string camera_name_for_viewer(const genicam::FoundCamera& camera);

// What was searched, for the line that says nothing was found.
inline constexpr const char* kSearched = "GigE Vision on every interface, USB3 Vision";
