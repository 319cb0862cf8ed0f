// camera_list.cpp - see camera_list.h.  Pure.
#include "camera_list.h"

std::string camera_place(const genicam::FoundCamera& camera) {
    if (!camera.address.empty()) return camera.address;
    return "USB " + (camera.physical_id.empty() ? camera.id : camera.physical_id);
}

std::string camera_name_for_viewer(const genicam::FoundCamera& camera) {
    return camera.address.empty() ? camera.id : camera.address;
}

std::string camera_line(const ListedCamera& camera) {
    const genicam::FoundCamera& c = camera.found;
    std::string line = c.vendor.empty() ? c.model : c.vendor + " " + c.model;
    if (line.empty()) line = c.id;
    if (!c.serial.empty()) line += ", serial " + c.serial;
    line += ", " + camera_place(c) + " (" + c.id + ")";
    if (camera.held) line += ", in use by another program";
    return line;
}
