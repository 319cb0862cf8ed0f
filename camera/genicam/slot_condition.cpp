// slot_condition.cpp - see camera_slot.h: what the slot tells of its camera
// and of what stands in the way of its pictures.  condition and
// set_free_run: any thread; the rest: the camera thread.
#include <algorithm>

#include "camera_slot.h"
#include "result_codes.h"

namespace genicam {

namespace {

// Incomplete frames with none whole since the stream started, before the
// packets are taken for too large for the way.
constexpr uint32_t kIncompleteBeforeTold = 5;

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

int CameraSlot::set_free_run() {
    std::unique_lock lock(mutex_);
    if (!calls_allowed(state_)) return kNoDevice;
    if (!triggered_) return kBadArgument;
    return run_locked(lock, "cqSetFreeRun", [this](Connection& connection) {
        const bool off = connection.triggers_off();
        read_conditions(connection);
        if (connection.lost()) return kNoDevice;
        std::lock_guard settings(mutex_);
        return off && !triggered_ ? kOk : kFailed;
    });
}

void CameraSlot::read_conditions(Connection& connection) {
    const std::vector<Trigger> triggers = connection.triggers();
    const bool exposure_auto = connection.auto_on("ExposureAuto");
    const bool gain_auto = connection.auto_on("GainAuto");
    std::lock_guard lock(mutex_);
    triggered_ = std::any_of(triggers.begin(), triggers.end(), trigger_on);
    board_.say(Trouble::trigger, trigger_words(triggers));
    board_.offer_free_run(triggered_);
    exposure_auto_ = exposure_auto;
    gain_auto_ = gain_auto;
    tell_autos_locked();
    tell_stream_locked();
}

void CameraSlot::take_over_from_auto(Connection& connection, bool exposure) {
    bool on = false;
    {
        std::lock_guard lock(mutex_);
        on = exposure ? exposure_auto_ : gain_auto_;
        // What the last change switched off is old news with this one.
        exposure_auto_switched_ = gain_auto_switched_ = false;
    }
    const bool switched = on && connection.auto_off(exposure ? "ExposureAuto" : "GainAuto");
    std::lock_guard lock(mutex_);
    if (switched) {
        (exposure ? exposure_auto_ : gain_auto_) = false;
        (exposure ? exposure_auto_switched_ : gain_auto_switched_) = true;
    }
    tell_autos_locked();
}

void CameraSlot::tell_autos_locked() {
    board_.say(Trouble::auto_setting,
               auto_words(exposure_auto_, gain_auto_, exposure_auto_switched_, gain_auto_switched_));
}

void CameraSlot::tell_stream_locked() {
    StreamFigures figures;
    figures.packet_size = packet_size_;
    figures.payload = payload_;
    figures.period_s = frame_period_s_;
    figures.exposure_s = exposure_s_;
    figures.triggered = triggered_;
    figures.link_mbit = path_.speed_mbit;
    board_.set_stream(stream_facts(figures));
    board_.say(Trouble::link_rate, link_rate_words(figures, path_.interface));
}

void CameraSlot::watch_stream_locked() {
    if (!connection_->streaming()) return;
    const uint32_t whole = intake_.stream_whole(), incomplete = intake_.stream_incomplete();
    if (whole > 0)
        board_.clear(Trouble::packets);
    else if (incomplete >= kIncompleteBeforeTold && packet_size_ > 0)
        board_.say(Trouble::packets, packet_words(packet_size_, path_));
    if (whole + incomplete > deliveries_when_silent_) board_.clear(Trouble::stream_silent);
}

void CameraSlot::tell_silence_locked() {
    // A camera waiting for its trigger is silent by rights.
    if (triggered_ || stream_port_ == 0) return;
    deliveries_when_silent_ = intake_.stream_whole() + intake_.stream_incomplete();
    board_.say(Trouble::stream_silent, silent_stream_words(stream_port_, path_));
}

void CameraSlot::forget_conditions_locked() {
    triggered_ = exposure_auto_ = gain_auto_ = exposure_auto_switched_ = gain_auto_switched_ = false;
    board_.offer_free_run(false);
    for (Trouble trouble :
         {Trouble::trigger, Trouble::packets, Trouble::stream_silent, Trouble::link_rate, Trouble::auto_setting})
        board_.clear(trouble);
}

}  // namespace genicam
