// slot_open.cpp - see camera_slot.h: how the camera thread reaches the camera
// named, and what it says on the board when it cannot: no camera by that
// name answers (the cameras that do are listed), the name fits more than
// one, another program controls it, or its description gives the viewer
// nothing to show.  The camera thread.
#include <cstdlib>

#include "camera_slot.h"
#include "device_ids.h"
#include "discovery.h"
#include "gvcp_probe.h"
#include "open_words.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

// A camera that is there answers within this: past it, the cameras that do
// answer are listed, and listed again every kListAgain while it is awaited.
constexpr auto kListAfter = std::chrono::seconds(2);
constexpr auto kListAgain = std::chrono::seconds(10);

}  // namespace

std::unique_ptr<Connection> CameraSlot::reach_camera() {
    auto connection = open_named();
    if (!connection) {
        board_.clear(Trouble::held);  // held or not, it no longer answers
        return nullptr;
    }
    const CameraFacts& facts = connection->facts();
    if (facts.modes.empty()) {
        board_.say(Trouble::description, description_sentence(name_, {facts.model, facts.sensor_width,
                                                                      facts.sensor_height, facts.offered_formats}));
        std::lock_guard lock(mutex_);
        description_unusable_ = true;
        changed_.notify_all();
        return nullptr;
    }
    board_.clear(Trouble::description);
    if (!connection->controls()) {
        wait_for_control(std::move(connection));
        return nullptr;
    }
    return connection;
}

std::unique_ptr<Connection> CameraSlot::open_named() {
    if (is_ipv4_address(name_) || opened_without_discovery(name_)) {
        // Aravis waits out its retries on a camera that does not answer; the
        // probe costs a fraction of that.  Discovery is only for the list of
        // those that answer instead.
        if (!is_ipv4_address(name_) ||
            probe_camera(name_, static_cast<int>(call_timeout().count())) == ProbeAnswer::answered) {
            board_.clear(Trouble::not_found);
            return Connection::open(name_);
        }
        if (listing_due()) board_.say(Trouble::not_found, not_found_sentence(name_, discover_cameras()));
        return nullptr;
    }
    std::vector<FoundCamera> found = discover_cameras();
    std::vector<size_t> named = cameras_named(name_, found);
    if (named.empty()) {
        // The name a user gave a camera is read from the camera itself.
        for (FoundCamera& camera : found) camera.user_name = read_user_name(camera.id);
        named = cameras_named(name_, found);
    }
    if (named.size() > 1) {
        std::vector<FoundCamera> those;
        for (size_t i : named) those.push_back(found[i]);
        board_.say(Trouble::not_found, ambiguous_sentence(name_, those));
        return nullptr;
    }
    if (named.empty()) {
        if (listing_due()) board_.say(Trouble::not_found, not_found_sentence(name_, found));
        return nullptr;
    }
    board_.clear(Trouble::not_found);
    const FoundCamera& camera = found[named.front()];
    return Connection::open(is_ipv4_address(camera.address) ? camera.address : camera.id);
}

void CameraSlot::wait_for_control(std::unique_ptr<Connection> connection) {
    board_.say(Trouble::held, held_sentence(name_, connection->controller()));
    std::unique_lock lock(mutex_);
    if (state_ == CameraState::reaching) {
        // Never had: what it offers is known now, and the handles open.
        facts_ = connection->facts();
        address_ = connection->address();
        settings_ = Settings{};
        move_locked(CameraState::lost);
    }
    lock.unlock();
    connection.reset();  // the next attempt opens it again, and takes control if it is free
}

bool CameraSlot::listing_due() {
    const char* chosen = std::getenv("TOLMIREX_CAMERA_ID");
    std::lock_guard lock(mutex_);
    // Only for the camera the user named, while it was never reached.
    if (!chosen || name_ != chosen || state_ != CameraState::reaching) return false;
    const auto now = Clock::now();
    if (now - reaching_since_ < kListAfter) return false;
    if (board_.has(Trouble::not_found) && now - listed_at_ < kListAgain) return false;
    listed_at_ = now;
    return true;
}

}  // namespace genicam
