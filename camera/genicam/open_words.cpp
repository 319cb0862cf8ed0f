// open_words.cpp - see open_words.h.  Pure.
#include "open_words.h"

namespace genicam {
namespace {

// "Aravis Fake (serial GV01, 127.0.0.1)".
std::string found_text(const FoundCamera& camera) {
    std::string text = camera.vendor;
    if (!camera.model.empty()) text += (text.empty() ? "" : " ") + camera.model;
    if (text.empty()) text = camera.id;
    std::string details;
    if (!camera.serial.empty()) details = "serial " + camera.serial;
    if (!camera.address.empty()) details += (details.empty() ? "" : ", ") + camera.address;
    return details.empty() ? text : text + " (" + details + ")";
}

// "A, B and C".
std::string listed(const std::vector<FoundCamera>& cameras) {
    std::string text;
    for (size_t i = 0; i < cameras.size(); ++i)
        text += (i == 0 ? "" : i + 1 == cameras.size() ? " and " : ", ") + found_text(cameras[i]);
    return text;
}

std::string named_as(const std::string& camera, const std::string& model) {
    return "Camera " + camera + (model.empty() ? "" : " (" + model + ")");
}

}  // namespace

std::string controller_text(uint32_t address, uint32_t port) {
    if (address == 0) return "";
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) +
           (port & 0xFFFF ? " (port " + std::to_string(port & 0xFFFF) + ")" : "");
}

std::string held_sentence(const std::string& camera, const std::string& controller) {
    return "Camera " + camera + " is in use by another program" +
           (controller.empty() ? "" : ", which controls it from " + controller) +
           ". Tolmirex waits for it to be free: close the other program, or open another camera.";
}

std::string not_found_sentence(const std::string& camera, const std::vector<FoundCamera>& answering) {
    return "Camera " + camera + " does not answer" +
           (answering.empty() ? ", and no other camera does." : ". Cameras that answer: " + listed(answering) + ".") +
           " Tolmirex keeps waiting for " + camera +
           ": check TOLMIREX_CAMERA_ID, or that the camera is powered and connected.";
}

std::string ambiguous_sentence(const std::string& camera, const std::vector<FoundCamera>& named) {
    return "More than one camera goes by " + camera + ": " + listed(named) +
           ". Tolmirex cannot tell which to open: name one by its address in TOLMIREX_CAMERA_ID.";
}

std::string description_sentence(const std::string& camera, const DescriptionFacts& facts) {
    const std::string who = named_as(camera, facts.model);
    const std::string what_to_do = " Check the camera's settings with its maker's tool, or open another camera.";
    if (facts.offered_formats.empty())
        return who + " offers no pixel format, so Tolmirex has no picture to show." + what_to_do;
    if (facts.sensor_width == 0 || facts.sensor_height == 0)
        return who + " gives its picture no size (" + std::to_string(facts.sensor_width) + " x " +
               std::to_string(facts.sensor_height) + " pixels), so Tolmirex has no picture to show." + what_to_do;
    std::string offered;
    for (const std::string& format : facts.offered_formats) offered += (offered.empty() ? "" : ", ") + format;
    return who + " offers only pixel formats Tolmirex cannot show: " + offered +
           ". Set it to a Mono or Bayer format with its maker's tool, or open another camera.";
}

}  // namespace genicam
