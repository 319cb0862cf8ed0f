// camera_slot.cpp - see camera_slot.h: the calls, and how they wait for the
// camera thread or give up on it.  Any thread.
#include "camera_slot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "gvcp_probe.h"
#include "result_codes.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

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

void CameraSlot::move_locked(CameraState to) {
    if (to == state_) return;
    if (!may_move(state_, to)) {
        std::fprintf(stderr, "Camera %s: no move from %s to %s\n", name_.c_str(), state_name(state_),
                     state_name(to));
        std::abort();
    }
    state_ = to;
    if (to == CameraState::reaching) reaching_since_ = Clock::now();
    changed_.notify_all();
}

CameraSlot::CallEnd CameraSlot::wait_for_camera_locked(std::unique_lock<std::mutex>& lock,
                                                       const std::function<bool()>& done,
                                                       const std::function<Clock::duration()>& held_up) {
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
    for (;;) {
        if (done()) return CallEnd::done;
        const auto bound = deadline + (held_up ? held_up() : Clock::duration{});
        if (Clock::now() >= bound) return CallEnd::too_slow;
        changed_.wait_until(lock, bound);
    }
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
    // The camera thread is held up (by this job or another): later calls
    // fail at once instead of each waiting out the bound again, until it is
    // free.
    if (state_ == CameraState::connected) move_locked(CameraState::not_answering);
    if (end == CallEnd::gone) return;
    std::fprintf(stderr,
                 "Camera %s answered too slowly: %s gave up after %lld ms (TOLMIREX_CAMERA_CALL_TIMEOUT_MS)%s\n",
                 name_.c_str(), job->call, milliseconds(waited),
                 taken_back ? "; not applied" : "; still running, its outcome shows in the next answers");
}

int CameraSlot::run_locked(std::unique_lock<std::mutex>& lock, const char* call, Work work) {
    if (!calls_allowed(state_)) return kNoDevice;
    auto job = std::make_shared<Job>();
    job->call = call;
    job->work = std::move(work);
    job->posted = Clock::now();
    jobs_.push_back(job);
    changed_.notify_all();
    const CallEnd end = wait_for_camera_locked(lock, [&] { return job->done; }, [&] { return job->held_up; });
    if (end == CallEnd::done) return job->result;
    give_up_locked(job, end, Clock::now() - job->posted);
    return end == CallEnd::gone ? kNoDevice : kTimeout;
}

void CameraSlot::start_thread_locked() {
    if (thread_runs(state_)) return;
    description_unusable_ = false;  // looked at anew
    move_locked(state_ == CameraState::lost_closed ? CameraState::lost : CameraState::reaching);
    // Detached: a camera that stopped answering can keep it in Aravis for
    // seconds after the last handle closed, and nobody must wait for that.
    std::thread(&CameraSlot::camera_thread, this).detach();
}

int CameraSlot::attach(zebcommon::HandleQueue* handle, int open_timeout_ms, bool until_first_answer) {
    std::unique_lock lock(mutex_);
    ++attaching_;
    start_thread_locked();
    changed_.notify_all();
    // Lost: a camera this slot had, or one another program controls.
    const auto opens = [&] { return calls_allowed(state_) || state_ == CameraState::lost; };
    bool up = state_ == CameraState::lost;
    if (!up && until_first_answer && !ever_reached_) {
        // A camera that is there answers within the first notice's grace;
        // one that answered with nothing to show is not waited for.
        auto notice = Clock::now() + kFirstWaitingNotice;
        while (!changed_.wait_until(lock, notice, [&] { return opens() || description_unusable_; })) {
            std::fprintf(stderr, "Waiting for camera %s to answer\n", name_.c_str());
            notice += kWaitingNotice;
        }
        up = opens();
    }
    if (!up)
        up = changed_.wait_for(lock, std::chrono::milliseconds(open_timeout_ms),
                               [&] { return opens() || description_unusable_; }) &&
             opens();
    --attaching_;
    changed_.notify_all();
    if (!up) {
        // A camera that answered with nothing to show has said so already.
        if (!description_unusable_)
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
    if (open_handles_ == 0) intake_.forget_last_complete();
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
    if (calls_allowed(state_))
        wait_for_camera_locked(lock,
                               [&] { return (!connection_ && state_ != CameraState::closing) || attaching_ > 0; });
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
    std::unique_lock lock(mutex_);
    if (!calls_allowed(state_)) return std::nullopt;
    inputs_asked_ = true;
    changed_.notify_all();
    return input_levels_;
}

int CameraSlot::start(zebcommon::HandleQueue* handle) {
    std::unique_lock lock(mutex_);
    if (frames_.acquiring(handle)) return kOk;
    if (start_kept(state_)) {
        // Configuring the camera (again) starts the stream for every handle
        // that acquires.
        ++acquiring_handles_;
        frames_.begin(handle);
        return kOk;
    }
    if (!calls_allowed(state_)) return kNoDevice;
    // Counted first: the camera thread stops a stream no handle acquires.
    if (++acquiring_handles_ == 1) {
        const int result = run_locked(lock, "cqStartAcquisition", [this](Connection& connection) {
            return connection.streaming() || start_stream(connection, false) ? kOk : kFailed;
        });
        if (result != kOk) {
            --acquiring_handles_;
            return result;
        }
    }
    frames_.begin(handle);
    return kOk;
}

void CameraSlot::stop(zebcommon::HandleQueue* handle) {
    std::unique_lock lock(mutex_);
    if (!frames_.end(handle)) return;
    // While the camera is lost there is no stream to stop, and configuring
    // it again starts one only for handles that still acquire.
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

}  // namespace genicam
