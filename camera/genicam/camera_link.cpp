// camera_link.cpp - see camera_slot.h: the slot's camera thread, which alone
// talks to the camera: it reaches it, configures it, runs the callers' jobs,
// looks into silence, and closes the connection.  The camera thread.
#include <cstdio>

#include "camera_slot.h"
#include "gvcp_probe.h"
#include "network_path.h"
#include "result_codes.h"
#include "retry_pause.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

// How often the idle camera thread looks whether the camera is still there.
constexpr auto kLossCheckInterval = std::chrono::milliseconds(100);

long long milliseconds(Clock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

}  // namespace

void CameraSlot::camera_thread() {
    std::unique_lock lock(mutex_);
    auto pause = std::chrono::milliseconds(0);
    auto next_attempt = Clock::now();
    for (;;) {
        switch (state_) {
        case CameraState::reaching:
        case CameraState::lost:
            if (!wanted_locked()) {
                move_locked(state_ == CameraState::lost ? CameraState::lost_closed : CameraState::closed);
                return;
            }
            if (Clock::now() < next_attempt) {
                changed_.wait_until(lock, next_attempt);
                break;
            }
            reach(lock);
            // Not reached, or lost again while configured: the next attempt waits longer.
            if (state_ == CameraState::reaching || state_ == CameraState::lost) {
                pause = next_retry_pause(pause);
                next_attempt = Clock::now() + pause;
            }
            break;
        case CameraState::connected:
        case CameraState::not_answering:
            if (connection_->lost() || !wanted_locked()) {
                const bool lost = connection_->lost() && open_handles_ > 0;
                if (lost) std::fprintf(stderr, "Camera %s lost, waiting for it to come back\n", name_.c_str());
                close_connection(lock, lost ? CameraState::lost : CameraState::reaching);
                pause = lost ? kFirstRetryPause : std::chrono::milliseconds(0);
                next_attempt = Clock::now() + pause;
                break;
            }
            if (serve(lock)) break;
            // Free: calls go to the camera again.
            if (state_ == CameraState::not_answering) move_locked(CameraState::connected);
            changed_.wait_for(lock, kLossCheckInterval);
            break;
        case CameraState::configuring:  // only inside reach
        case CameraState::closing:      // only inside close_connection
        case CameraState::closed:
        case CameraState::lost_closed:  // the thread has ended in these
            std::abort();
        }
    }
}

void CameraSlot::reach(std::unique_lock<std::mutex>& lock) {
    const bool reconnect = state_ == CameraState::lost;
    lock.unlock();
    auto connection = reach_camera();
    lock.lock();
    if (!connection) return;
    connection_ = std::move(connection);
    move_locked(CameraState::configuring);
    configure(lock, reconnect);
}

void CameraSlot::configure(std::unique_lock<std::mutex>& lock, bool reconnect) {
    // The mode list is read when the first handle opens and kept while any
    // handle is open (or the camera is lost), so mode indexes keep their
    // meaning across a reconnect.
    Connection& connection = *connection_;
    address_ = connection.address();
    if (!reconnect) {
        facts_ = connection.facts();
        settings_ = Settings{};
    } else {
        take_changed_camera_locked(connection.facts());
    }
    Settings settings = settings_;
    const CameraFacts facts = facts_;
    lock.unlock();
    intake_.set_id_width(connection.facts().id_width);
    const uint32_t index = settings.mode_index < facts.modes.size() ? settings.mode_index : 0;
    const Mode& mode = facts.modes[index];
    AxisRule x = connection.facts().x_rule, y = connection.facts().y_rule;
    x.full = mode.width;
    y.full = mode.height;
    const Region region = fit_region(settings.region, x, y).value_or(Region{0, 0, mode.width, mode.height});
    if (apply_geometry(connection, mode, region)) {
        settings.mode_index = index;
        settings.region = region;
    }
    connection.set_exposure(settings.exposure_us);
    if (settings.gain) connection.set_gain(*settings.gain);
    const uint32_t levels = connection.input_levels();
    // Its triggers and auto settings may have changed while it was away.
    read_conditions(connection);
    const NetworkPath path = network_path_to(connection.address());
    lock.lock();
    if (connection.lost()) {
        // Lost again on the way: a camera lost before has been told so.
        close_connection(lock, reconnect ? CameraState::lost : CameraState::reaching);
        return;
    }
    settings_.mode_index = settings.mode_index;
    settings_.region = settings.region;
    input_levels_ = levels;
    path_ = path;
    read_back_asked_ = true;
    if (reconnect) ++changes_;  // the settings run again, maybe fitted anew
    ever_reached_ = true;
    // The stream runs for every handle that acquires, also one that asked
    // while the camera was configured.  The frame numbers go on from where
    // they were: the camera's own ids say whether frames were missed
    // meanwhile.
    while (acquiring_handles_ > 0 && !connection.streaming()) {
        lock.unlock();
        const bool started = start_stream(connection, reconnect);
        lock.lock();
        if (!started) break;
    }
    move_locked(CameraState::connected);
    const bool was_held = board_.has(Trouble::held);
    board_.clear(Trouble::held);
    if (was_held)
        std::fprintf(stderr, "Camera %s is free: Tolmirex controls it now\n", name_.c_str());
    else if (reconnect)
        std::fprintf(stderr, "Camera %s is back\n", name_.c_str());
}

void CameraSlot::take_changed_camera_locked(const CameraFacts& now) {
    if (now.serial != facts_.serial || now.model != facts_.model)
        std::fprintf(stderr, "Camera %s came back as another camera: %s (serial %s), not %s (serial %s)\n",
                     name_.c_str(), now.model.c_str(), now.serial.c_str(), facts_.model.c_str(), facts_.serial.c_str());
    std::vector<std::string> before, after;
    for (const Mode& mode : facts_.modes) before.push_back(describe_mode(mode));
    for (const Mode& mode : now.modes) after.push_back(describe_mode(mode));
    if (before == after && now.serial == facts_.serial && now.model == facts_.model) {
        facts_ = now;  // the same modes; the rest as now read (a held camera was read without control)
        return;
    }
    // The settings go on where they fit the camera as it is now; the
    // region is fitted anew by the caller.
    const Mode wanted = facts_.modes[std::min<size_t>(settings_.mode_index, facts_.modes.size() - 1)];
    const ModeMatch match = nearest_mode(now.modes, wanted);
    if (!match.exact)
        std::fprintf(stderr, "Camera %s no longer offers %s; using %s\n", name_.c_str(), describe_mode(wanted).c_str(),
                     describe_mode(now.modes[match.index]).c_str());
    if (match.index != settings_.mode_index) settings_.region = Region{};
    settings_.mode_index = match.index;
    facts_ = now;
}

bool CameraSlot::serve(std::unique_lock<std::mutex>& lock) {
    watch_stream_locked();
    if (!jobs_.empty()) {
        run_job(lock);
        return true;
    }
    if (read_back_asked_ || inputs_asked_) {
        if (read_back_asked_)
            read_back(lock);
        else
            read_inputs(lock);
        own_read_ended_ = Clock::now();
        return true;
    }
    const bool there = camera_there(lock);
    own_read_ended_ = Clock::now();
    if (!there) {
        connection_->mark_lost();
        return true;
    }
    if (acquiring_handles_ == 0 && connection_->streaming()) {
        // Its stop came while the camera thread was held up.
        lock.unlock();
        stop_stream(*connection_);
        lock.lock();
        return true;
    }
    return false;
}

void CameraSlot::run_job(std::unique_lock<std::mutex>& lock) {
    auto job = jobs_.front();
    jobs_.pop_front();
    job->started = true;
    const auto began = Clock::now();
    // Jobs go before the thread's own reads, so a job waited at most for
    // the one under way when it came.
    if (own_read_ended_ > job->posted) job->held_up = own_read_ended_ - job->posted;
    lock.unlock();
    const int result = job->work(*connection_);
    lock.lock();
    job->result = result;
    job->done = true;
    if (job->abandoned) {
        std::fprintf(stderr, "Camera %s: %s, given up on by its caller, finished after %lld ms\n", name_.c_str(),
                     job->call, milliseconds(Clock::now() - began));
        ++changes_;  // its caller was told it failed: whatever it changed is news
    }
    changed_.notify_all();
}

void CameraSlot::read_inputs(std::unique_lock<std::mutex>& lock) {
    inputs_asked_ = false;
    lock.unlock();
    const uint32_t levels = connection_->input_levels();
    lock.lock();
    if (!connection_->lost()) input_levels_ = levels;
}

bool CameraSlot::stream_silent() const {
    const auto spacing = intake_.spacing();
    return Clock::now() - intake_.alive_at() > stream_silence_limit(frame_period_s_, exposure_s_, spacing);
}

bool CameraSlot::camera_there(std::unique_lock<std::mutex>& lock) {
    // Aravis's heartbeat gives up after a few seconds without an answer,
    // which a camera far away or busy with a long job may well take: its
    // word is a doubt, and the camera is asked.  So is a streaming camera
    // whose stream went silent.
    const bool doubted = connection_->control_doubted();
    const bool silent = connection_->streaming() && stream_silent();
    if (!doubted && !silent) return true;
    // A camera with no address to ask (USB3 Vision) is left to Aravis.
    if (address_.empty()) return !doubted;
    const std::string address = address_;
    lock.unlock();
    // A camera far away answers late, and a busy one later still: it gets
    // the time a call gets before it is taken for gone.
    bool there = probe_camera(address, static_cast<int>(call_timeout().count())) == ProbeAnswer::answered;
    if (there && doubted) there = connection_->take_control_again();
    lock.lock();
    if (there) intake_.note_alive();  // there, only slow to send: asked again after another silence
    // Its pictures are stopped on the way, or it waits for its trigger.
    if (there && silent && !doubted) tell_silence_locked();
    return there;
}

void CameraSlot::close_connection(std::unique_lock<std::mutex>& lock, CameraState after) {
    // A lost camera is lost from now on, while Aravis takes its time over
    // the close: a handle opened meanwhile does not wait for it.
    move_locked(after == CameraState::lost ? CameraState::lost : CameraState::closing);
    // Calls waiting for the camera get their answer now.
    for (auto& job : jobs_) {
        job->result = kNoDevice;
        job->done = true;
    }
    jobs_.clear();
    input_levels_.reset();
    inputs_asked_ = read_back_asked_ = false;
    forget_conditions_locked();
    auto old = std::move(connection_);
    changed_.notify_all();
    lock.unlock();
    old.reset();  // stops the stream (joining the receive thread) and closes; seconds when the camera is gone
    intake_.forget_last_complete();
    lock.lock();
    // The loop's next pass ends the thread when nobody wants the camera.
    move_locked(after);
}

}  // namespace genicam
