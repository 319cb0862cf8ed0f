// slot_condition.cpp - see camera_slot.h: what the slot tells of its camera
// and of what stands in the way of its pictures.  Any thread.
#include "camera_slot.h"
#include "result_codes.h"

namespace genicam {

namespace {

// "vendor model, serial S, 192.168.1.20": what is known of it.
std::string camera_text(const CameraFacts& facts, const std::string& address, const std::string& name) {
    std::string text = facts.model.empty() ? name : facts.model;
    if (!facts.serial.empty()) text += ", serial " + facts.serial;
    const std::string& where = address.empty() ? name : address;
    if (where != text && where != facts.serial) text += ", " + where;
    return text;
}

}  // namespace

CQCONDITION CameraSlot::condition() {
    CQCONDITION out = board_.snapshot();
    {
        std::lock_guard lock(mutex_);
        copy_text(out.szCamera, sizeof out.szCamera, camera_text(facts_, address_, name_));
    }
    out.dwIncomplete = intake_.incomplete();
    return out;
}

int CameraSlot::set_free_run() { return kBadArgument; }

}  // namespace genicam
