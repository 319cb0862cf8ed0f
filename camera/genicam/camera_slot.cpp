// camera_slot.cpp - see camera_slot.h.  Public members: any thread.
// camera_thread and the members it calls: the slot's camera thread.
// on_image: the connection's receive thread.
#include "camera_slot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "device_ids.h"
#include "frame_facts.h"
#include "gvcp_probe.h"
#include "result_codes.h"
#include "retry_pause.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

// How often the camera thread looks whether Aravis's heartbeat lost the camera.
constexpr auto kLossCheckInterval = std::chrono::milliseconds(100);
constexpr auto kDefaultCallTimeout = std::chrono::milliseconds(5000);
constexpr auto kFirstWaitingNotice = std::chrono::milliseconds(500);

long long milliseconds(Clock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

}  // namespace

CameraSlot& slot_for(const std::string& name) {
    static std::mutex mutex;  // protects slots
    // Never destroyed: a camera thread may still be closing its camera at exit.
    static auto* slots = new std::map<std::string, std::unique_ptr<CameraSlot>>;
    std::lock_guard lock(mutex);
    auto& slot = (*slots)[name];
    if (!slot) slot = std::make_unique<CameraSlot>(name);
    return *slot;
}

std::chrono::milliseconds call_timeout() {
    static const std::chrono::milliseconds timeout = [] {
        const char* text = std::getenv("TOLMIREX_CAMERA_CALL_TIMEOUT_MS");
        if (!text || !*text) return kDefaultCallTimeout;
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end == '\0' && value >= 1 && value <= 600000) return std::chrono::milliseconds(value);
        std::fprintf(stderr, "ignoring TOLMIREX_CAMERA_CALL_TIMEOUT_MS=%s (expected 1 to 600000 ms)\n", text);
        return kDefaultCallTimeout;
    }();
    return timeout;
}

// --- callers -----------------------------------------------------------------

CameraSlot::CallEnd CameraSlot::wait_for_camera_locked(std::unique_lock<std::mutex>& lock,
                                                       const std::function<bool()>& done) {
    const auto deadline = Clock::now() + call_timeout();
    if (changed_.wait_until(lock, std::min(Clock::now() + kProbeAfter, deadline), done)) return CallEnd::done;
    // Slow.  Only evidence says the camera is gone: no answer to any probe
    // within the bound, a refused one, or the camera thread losing it
    // meanwhile (which answers the job).  A camera with no address to ask
    // (USB3 Vision) is waited for.
    if (const std::string address = address_; !address.empty()) {
        lock.unlock();
        GvcpProbe probe(address);
        lock.lock();
        for (bool answered = false; !answered;) {
            if (done()) return CallEnd::done;
            const long long left = milliseconds(deadline - Clock::now());
            if (left <= 0) return CallEnd::gone;
            lock.unlock();
            const ProbeAnswer answer = probe.ask(static_cast<int>(std::min<long long>(left, kProbeResend.count())));
            lock.lock();
            if (answer == ProbeAnswer::refused) return done() ? CallEnd::done : CallEnd::gone;
            answered = answer == ProbeAnswer::answered;
        }
    }
    return changed_.wait_until(lock, deadline, done) ? CallEnd::done : CallEnd::too_slow;
}

void CameraSlot::give_up_locked(const std::shared_ptr<Job>& job, CallEnd end, Clock::duration waited) {
    // Taken back if the camera thread has not begun it, so it never takes
    // effect after its caller was told it failed; once begun, its outcome
    // is kept in the settings it changed, and the next answers show it.
    const bool taken_back = !job->started;
    if (taken_back)
        jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), job), jobs_.end());
    else
        job->abandoned = true;
    if (end == CallEnd::gone) {
        // Later calls give up at once until the camera thread has its answer.
        if (state_ == CameraState::connected) state_ = CameraState::not_answering;
        return;
    }
    std::fprintf(stderr,
                 "Camera %s answered too slowly: %s gave up after %lld ms (TOLMIREX_CAMERA_CALL_TIMEOUT_MS)%s\n",
                 name_.c_str(), job->call, milliseconds(waited),
                 taken_back ? "; not applied" : "; still running, its outcome shows in the next answers");
}

int CameraSlot::run_locked(std::unique_lock<std::mutex>& lock, const char* call, Work work) {
    if (!answering_locked()) return kNoDevice;
    auto job = std::make_shared<Job>();
    job->call = call;
    job->work = std::move(work);
    jobs_.push_back(job);
    changed_.notify_all();
    const auto posted = Clock::now();
    const CallEnd end = wait_for_camera_locked(lock, [&] { return job->done; });
    if (end == CallEnd::done) return job->result;
    give_up_locked(job, end, Clock::now() - posted);
    return end == CallEnd::gone ? kNoDevice : kTimeout;
}

void CameraSlot::start_thread_locked() {
    if (thread_running_) return;
    thread_running_ = true;
    // Detached: a camera that stopped answering can keep it in Aravis for
    // seconds after the last handle closed, and nobody must wait for that.
    std::thread(&CameraSlot::camera_thread, this).detach();
}

int CameraSlot::attach(zebcommon::HandleQueue* handle, int open_timeout_ms, bool until_first_answer) {
    std::unique_lock lock(mutex_);
    ++attaching_;
    start_thread_locked();
    changed_.notify_all();
    const auto answering = [&] { return answering_locked(); };
    bool up = lost_;
    if (!up && until_first_answer && !ever_reached_) {
        // A camera that is there answers within the first notice's grace;
        // one that answered with nothing to show is not waited for.
        auto notice = Clock::now() + kFirstWaitingNotice;
        while (!changed_.wait_until(lock, notice, [&] { return answering() || formats_reported_; })) {
            std::fprintf(stderr, "Waiting for camera %s to answer\n", name_.c_str());
            notice += kWaitingNotice;
        }
        up = answering();
    }
    if (!up) up = changed_.wait_for(lock, std::chrono::milliseconds(open_timeout_ms), answering);
    --attaching_;
    changed_.notify_all();
    if (!up) {
        // A camera that answered with nothing to show has said so already.
        if (!formats_reported_)
            std::fprintf(stderr,
                         "Camera %s did not answer within %d ms%s; check that it is powered and reachable, or set "
                         "TOLMIREX_CAMERA_OPEN_TIMEOUT_MS to wait longer\n",
                         name_.c_str(), open_timeout_ms,
                         std::getenv("TOLMIREX_CAMERA_ID") ? " (TOLMIREX_CAMERA_ID)" : "");
        return kNoDevice;
    }
    ++open_handles_;
    frames_.attach(handle);
    return kOk;
}

void CameraSlot::detach(zebcommon::HandleQueue* handle) {
    std::unique_lock lock(mutex_);
    const bool was_acquiring = frames_.end(handle);
    frames_.detach(handle);
    if (was_acquiring) --acquiring_handles_;
    --open_handles_;
    if (open_handles_ == 0) forget_last_complete();
    if (open_handles_ > 0) {
        if (was_acquiring && acquiring_handles_ == 0)
            run_locked(lock, "cqkUninitialize", [this](Connection& connection) {
                stop_stream(connection);
                return kOk;
            });
        return;
    }
    // The camera thread closes the camera now that nobody wants it; that is
    // waited for only while the camera answers.
    changed_.notify_all();
    if (answering_locked())
        wait_for_camera_locked(lock,
                               [&] { return (!connection_ && state_ != CameraState::closing) || attaching_ > 0; });
}

int CameraSlot::set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested) {
    std::unique_lock lock(mutex_);
    if (!answering_locked()) return kNoDevice;
    if (mode_index >= facts_.modes.size() || exposure_us == 0) return kBadArgument;
    const Mode mode = facts_.modes[mode_index];
    AxisRule x = facts_.x_rule, y = facts_.y_rule;
    x.full = mode.width;
    y.full = mode.height;
    auto region = fit_region(requested, x, y);
    if (!region) return kBadArgument;
    return run_locked(lock, "cqSetMode",
                      [this, exposure_us, mode_index, mode, region = *region](Connection& connection) {
                          return apply_mode(connection, exposure_us, mode_index, mode, region);
                      });
}

int CameraSlot::set_gain(float gain) {
    std::unique_lock lock(mutex_);
    return run_locked(lock, "cqSetGainVal", [this, gain](Connection& connection) {
        if (!connection.set_gain(gain)) return kFailed;
        std::lock_guard settings(mutex_);
        settings_.gain = gain;
        return kOk;
    });
}

std::optional<Mode> CameraSlot::mode(uint32_t index) {
    std::lock_guard lock(mutex_);
    if (open_handles_ == 0 || index >= facts_.modes.size()) return std::nullopt;
    return facts_.modes[index];
}

std::optional<GainRange> CameraSlot::gain_range() {
    std::lock_guard lock(mutex_);
    if (open_handles_ == 0) return std::nullopt;
    return GainRange{facts_.gain_min, facts_.gain_max};
}

SettingsInEffect CameraSlot::settings_in_effect() {
    std::lock_guard lock(mutex_);
    SettingsInEffect in_effect{state_,
                               changes_,
                               settings_.exposure_us,
                               settings_.mode_index,
                               settings_.region,
                               settings_.gain.value_or(facts_.gain)};
    // Nothing applied yet is the mode's full frame.
    if ((in_effect.region.cx == 0 || in_effect.region.cy == 0) && in_effect.mode_index < facts_.modes.size())
        in_effect.region =
            Region{0, 0, facts_.modes[in_effect.mode_index].width, facts_.modes[in_effect.mode_index].height};
    return in_effect;
}

std::optional<Timing> CameraSlot::timing() {
    auto timing = std::make_shared<Timing>();
    std::unique_lock lock(mutex_);
    const int result = run_locked(lock, "cqGetModeTiming", [timing](Connection& connection) {
        *timing = Timing{connection.exposure_s(), connection.frame_period_s()};
        return connection.lost() ? kNoDevice : kOk;
    });
    if (result != kOk) return std::nullopt;
    return *timing;
}

std::optional<uint32_t> CameraSlot::input_levels() {
    auto levels = std::make_shared<uint32_t>(0);
    std::unique_lock lock(mutex_);
    const int result = run_locked(lock, "cqGetGPIO", [levels](Connection& connection) {
        *levels = connection.input_levels();
        return connection.lost() ? kNoDevice : kOk;
    });
    if (result != kOk) return std::nullopt;
    return *levels;
}

int CameraSlot::start(zebcommon::HandleQueue* handle) {
    std::unique_lock lock(mutex_);
    if (frames_.acquiring(handle)) return kOk;
    if (lost_ && !connection_) {
        // The reconnect starts the stream for every handle that acquires.
        ++acquiring_handles_;
        frames_.begin(handle);
        return kOk;
    }
    if (!answering_locked()) return kNoDevice;
    if (acquiring_handles_ == 0) {
        const int result = run_locked(lock, "cqStartAcquisition", [this](Connection& connection) {
            return connection.streaming() || start_stream(connection, false) ? kOk : kFailed;
        });
        if (result != kOk) return result;
    }
    ++acquiring_handles_;
    frames_.begin(handle);
    return kOk;
}

void CameraSlot::stop(zebcommon::HandleQueue* handle) {
    std::unique_lock lock(mutex_);
    if (!frames_.end(handle)) return;
    // While the camera is lost there is no stream to stop, and the
    // reconnect starts one only for handles that still acquire.
    if (--acquiring_handles_ == 0)
        run_locked(lock, "cqStopAcquisition", [this](Connection& connection) {
            stop_stream(connection);
            return kOk;
        });
}

int CameraSlot::wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms) {
    // A lost camera delivers nothing: the wait times out while the camera
    // thread reconnects, and frames arrive again once it is back.
    return frames_.wait(handle, timeout_ms) == zebcommon::WaitOutcome::field_ready ? kOk : kTimeout;
}

// --- the camera thread -------------------------------------------------------

void CameraSlot::camera_thread() {
    std::unique_lock lock(mutex_);
    auto pause = std::chrono::milliseconds(0);
    auto next_attempt = Clock::now();
    for (;;) {
        const bool wanted = open_handles_ > 0 || attaching_ > 0;
        if (connection_ && (connection_->lost() || !wanted)) {
            const bool lost = connection_->lost();
            if (lost && open_handles_ > 0 && !loss_reported_) {
                std::fprintf(stderr, "Camera %s lost, waiting for it to come back\n", name_.c_str());
                loss_reported_ = true;
            }
            if (lost && open_handles_ > 0) lost_ = true;
            close_connection(lock);
            pause = lost ? kFirstRetryPause : std::chrono::milliseconds(0);
            next_attempt = Clock::now() + pause;
            continue;
        }
        if (!connection_ && !wanted) {
            if (!lost_) loss_reported_ = false;  // a lost camera's return is still news
            thread_running_ = false;
            state_ = CameraState::closed;
            changed_.notify_all();
            return;
        }
        if (!connection_) {
            state_ = CameraState::reconnecting;
            if (Clock::now() < next_attempt) {
                changed_.wait_until(lock, next_attempt);
                continue;
            }
            lock.unlock();
            auto connection = reach_camera();
            lock.lock();
            if (!connection) {
                pause = next_retry_pause(pause);
                next_attempt = Clock::now() + pause;
                continue;
            }
            connection_ = std::move(connection);
            configure(lock, *connection_);
            continue;  // lost again while configuring: the top of the loop sees it
        }
        if (!jobs_.empty()) {
            auto job = jobs_.front();
            jobs_.pop_front();
            job->started = true;
            const auto began = Clock::now();
            lock.unlock();
            const int result = job->work(*connection_);
            lock.lock();
            job->result = result;
            job->done = true;
            if (job->abandoned) {
                std::fprintf(stderr, "Camera %s: %s, given up on by its caller, finished after %lld ms\n",
                             name_.c_str(), job->call, milliseconds(Clock::now() - began));
                ++changes_;  // its caller was told it failed: whatever it changed is news
            }
            if (!connection_->lost() && state_ == CameraState::not_answering) state_ = CameraState::connected;
            changed_.notify_all();
            continue;
        }
        if (camera_silent(lock)) {
            connection_->mark_lost();
            continue;
        }
        changed_.wait_for(lock, kLossCheckInterval);
    }
}

bool CameraSlot::stream_silent() const {
    const Clock::time_point alive{Clock::duration{stream_alive_at_.load()}};
    return Clock::now() - alive > kStreamSilence;
}

bool CameraSlot::camera_silent(std::unique_lock<std::mutex>& lock) {
    // Only a stream says the camera should be sending; a camera with no
    // address to ask (USB3 Vision) is left to Aravis.
    if (!connection_->streaming() || address_.empty() || !stream_silent()) return false;
    const std::string address = address_;
    lock.unlock();
    // A camera far away answers late, and a busy one later still: it gets
    // the time a call gets before it is taken for gone.
    const bool answered = probe_camera(address, static_cast<int>(call_timeout().count())) == ProbeAnswer::answered;
    lock.lock();
    if (answered) note_stream_alive();  // there, only slow to send: asked again after another silence
    return !answered;
}

std::unique_ptr<Connection> CameraSlot::reach_camera() {
    // Aravis waits out its retries on a camera that does not answer; the
    // probe costs a fraction of that.
    if (is_ipv4_address(name_) &&
        probe_camera(name_, static_cast<int>(call_timeout().count())) != ProbeAnswer::answered)
        return nullptr;
    auto connection = Connection::open(name_);
    if (!connection || !connection->facts().modes.empty()) return connection;
    std::lock_guard lock(mutex_);
    if (!formats_reported_) {
        std::string offered;
        for (const std::string& format : connection->facts().offered_formats)
            offered += (offered.empty() ? "" : ", ") + format;
        std::fprintf(stderr, "Camera %s (%s) offers no pixel format the viewer can show: %s\n", name_.c_str(),
                     connection->facts().model.c_str(), offered.empty() ? "none listed" : offered.c_str());
        formats_reported_ = true;
    }
    return nullptr;
}

void CameraSlot::configure(std::unique_lock<std::mutex>& lock, Connection& connection) {
    // The mode list is read when the first handle opens and kept while any
    // handle is open, so mode indexes keep their meaning across a reconnect.
    const bool reconnect = (open_handles_ > 0 || lost_) && !facts_.modes.empty();
    address_ = connection.address();
    if (!reconnect) {
        facts_ = connection.facts();
        settings_ = Settings{};
    } else {
        take_changed_camera_locked(connection.facts());
    }
    Settings settings = settings_;
    const CameraFacts facts = facts_;
    const bool stream = acquiring_handles_ > 0;
    lock.unlock();
    {
        std::lock_guard ids(stream_mutex_);
        id_width_ = connection.facts().id_width;
    }
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
    // The frame numbers go on from where they were: the camera's own ids
    // say whether frames were missed meanwhile.
    if (stream) start_stream(connection, reconnect);
    lock.lock();
    if (connection.lost()) return;
    settings_.mode_index = settings.mode_index;
    settings_.region = settings.region;
    if (reconnect) ++changes_;  // the settings run again, maybe fitted anew
    lost_ = false;
    ever_reached_ = true;
    state_ = CameraState::connected;
    if (loss_reported_) {
        std::fprintf(stderr, "Camera %s is back\n", name_.c_str());
        loss_reported_ = false;
    }
    changed_.notify_all();
}

void CameraSlot::take_changed_camera_locked(const CameraFacts& now) {
    if (now.serial != facts_.serial || now.model != facts_.model)
        std::fprintf(stderr, "Camera %s came back as another camera: %s (serial %s), not %s (serial %s)\n",
                     name_.c_str(), now.model.c_str(), now.serial.c_str(), facts_.model.c_str(), facts_.serial.c_str());
    std::vector<std::string> before, after;
    for (const Mode& mode : facts_.modes) before.push_back(describe_mode(mode));
    for (const Mode& mode : now.modes) after.push_back(describe_mode(mode));
    if (before == after && now.serial == facts_.serial && now.model == facts_.model) return;
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

void CameraSlot::close_connection(std::unique_lock<std::mutex>& lock) {
    state_ = CameraState::closing;
    // Calls waiting for the camera get their answer now.
    for (auto& job : jobs_) {
        job->result = kNoDevice;
        job->done = true;
    }
    jobs_.clear();
    auto old = std::move(connection_);
    changed_.notify_all();
    lock.unlock();
    old.reset();  // stops the stream (joining the receive thread) and closes; seconds when the camera is gone
    forget_last_complete();
    lock.lock();
    state_ = CameraState::reconnecting;  // the loop's next pass says closed when nobody wants it
    changed_.notify_all();
}

int CameraSlot::apply_mode(Connection& connection, uint32_t exposure_us, uint32_t mode_index, const Mode& mode,
                           const Region& region) {
    bool geometry_changed = false;
    {
        std::lock_guard lock(mutex_);
        geometry_changed = mode_index != settings_.mode_index || region != settings_.region;
    }
    // Kept only once the camera took it: a refused exposure must not come
    // back with the next reconnect.
    if (!connection.set_exposure(exposure_us)) return kFailed;
    {
        std::lock_guard lock(mutex_);
        settings_.exposure_us = exposure_us;
    }
    if (!geometry_changed) return kOk;
    // Width, height, format and binning are locked while a real camera
    // streams: stop, set, and stream again with buffers of the new size.
    const bool streaming = connection.streaming();
    if (streaming) stop_stream(connection);
    const bool applied = apply_geometry(connection, mode, region);
    if (applied) {
        std::lock_guard lock(mutex_);
        settings_.mode_index = mode_index;
        settings_.region = region;
    }
    if (streaming && !start_stream(connection, false)) return kFailed;
    return applied ? kOk : kFailed;
}

bool CameraSlot::apply_geometry(Connection& connection, const Mode& mode, const Region& region) {
    if (!connection.set_geometry(mode, region)) return false;
    std::lock_guard lock(stream_mutex_);
    shown_mode_ = mode;
    return true;
}

bool CameraSlot::start_stream(Connection& connection, bool resume_ids) {
    forget_last_complete();  // its size may not be the new one
    note_stream_alive();
    {
        std::lock_guard lock(stream_mutex_);
        ids_ = resume_ids ? resume_frame_ids(ids_) : restart_frame_ids(ids_);
    }
    return connection.start_stream(this);
}

void CameraSlot::stop_stream(Connection& connection) {
    connection.stop_stream();  // joins the receive thread: frames_ and stream_mutex_ must be free
    forget_last_complete();
}

void CameraSlot::forget_last_complete() {
    std::lock_guard lock(stream_mutex_);
    if (last_complete_) frames_.unpin(last_complete_);
    last_complete_ = nullptr;
}

// --- the receive thread ------------------------------------------------------

void CameraSlot::on_image(const DeliveredImage& image) {
    note_stream_alive();
    std::string run_line;
    {
        std::lock_guard lock(stream_mutex_);
        run_line = incomplete_run_.frame(Clock::now(), image.complete);
    }
    if (!run_line.empty()) std::fputs(run_line.c_str(), stderr);
    if (!image.complete) {
        // Its own pixels would show a torn picture: it is handed out with the
        // newest complete frame's pixels and marked incomplete.  Without one
        // it is dropped (and counts as lost through the gap in the numbers).
        // One overtaken by newer frames was counted as lost already.
        std::lock_guard lock(stream_mutex_);
        if (is_late_frame_id(ids_, image.frame_id, id_width_)) return;
        ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
        if (!last_complete_) return;
        zebcommon::FrameFacts facts = last_complete_facts_;
        const size_t bytes = facts.bytes();
        zebcommon::FrameBuffer* buffer = frames_.claim(bytes, bytes);
        if (!buffer) return;
        std::memcpy(buffer->data.get(), last_complete_->data.get(), bytes);
        facts.descriptor.curFN = static_cast<uint32_t>(ids_.wide);
        facts.complete = false;
        frames_.publish(buffer, facts);
        return;
    }
    auto layout = pixel_layout(image.pixel_format);
    // A format the viewer cannot show, or a short (damaged) buffer: dropped.
    if (!layout || image.bytes < camera_bytes(*layout, image.width, image.height)) return;
    const size_t bytes = shown_bytes(*layout, image.width, image.height);
    if (bytes == 0) return;
    FrameInfo info;
    size_t mode_bytes = 0;
    {
        std::lock_guard lock(stream_mutex_);
        // Every delivered id counts, shown or not, so the widening follows the camera.
        ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
        info.width = shown_width(*layout, image.width);
        info.height = image.height;
        info.x0 = image.x + layout->column_shift;
        info.y0 = image.y;
        info.layout = *layout;
        info.binning = shown_mode_.binning;
        info.mode_width = shown_mode_.width;
        info.mode_height = shown_mode_.height;
        info.frame_number = static_cast<uint32_t>(ids_.wide);
        // New buffers take the largest frame of the mode, so a change of
        // region does not leave a trail of buffers too small to reuse.
        mode_bytes = shown_bytes(shown_mode_.layout, shown_mode_.width, shown_mode_.height);
    }
    zebcommon::FrameBuffer* buffer = frames_.claim(bytes, mode_bytes);
    if (!buffer) return;  // no handle acquires
    if (!decode_shown_image(*layout, image.data, image.bytes, image.width, image.height, buffer->data.get(),
                            buffer->capacity)) {
        frames_.discard(buffer);
        return;
    }
    const zebcommon::FrameFacts facts = describe_frame(info);
    frames_.retain(buffer);  // as the newest complete frame
    frames_.publish(buffer, facts);
    std::lock_guard lock(stream_mutex_);
    if (last_complete_) frames_.unpin(last_complete_);
    last_complete_ = buffer;
    last_complete_facts_ = facts;
}

}  // namespace genicam
