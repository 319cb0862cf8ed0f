// camera_slot.h - one camera as all its handles share it: a single
// connection (GigE Vision allows one controller), opened when the first
// handle opens and closed with the last; the settings every handle changes;
// and the frames, made by its FrameIntake into the slot's FrameExchange,
// which queues them for each acquiring handle.
//
// Only the slot's camera thread talks to the camera.  A caller hands it a
// job and waits for the answer; past kProbeAfter it asks the camera
// directly whether it is there.  Only evidence makes it give up early: the
// probe refused or unanswered, or the camera thread finding the camera lost.
// A camera that answers slowly, or one with no address to ask (USB3
// Vision), is waited for up to call_timeout().  A job whose caller gave up
// is taken back if it has not started, so it never takes effect later; once
// a caller gave up, later calls fail at once until the camera thread is free
// again.  A stream silent for longer than stream_silence_limit() makes the
// idle camera thread ask the camera whether it is there, sending its read
// again until answered: a refusal is a lost camera at once, well before
// Aravis's heartbeat would say so, and so is no answer within
// call_timeout(), the time any call gives a slow camera.  When the camera is
// lost the thread closes the connection, says so on standard error, and
// tries again and again to reach it, with a growing pause; once it answers,
// it re-applies the mode, region, exposure and gain, restarts the stream and
// says so again.  The handles stay open meanwhile: waiting for a field
// simply times out.
//
// What stands in the way of the pictures goes on its board of conditions: a
// trigger that is on (which the slot never switches off unless asked to run
// free), auto exposure or gain that overrides the settings (switched off
// when the setting it overrides is changed here), frames that never arrive
// whole, a stream that stays silent while the camera answers, and a rate the
// link cannot carry.  They are read again whenever the camera is configured.
//
// Its code is in files, one for each thing it does: camera_slot.cpp (the
// calls: jobs, waits, give-ups), camera_link.cpp (the camera thread),
// slot_open.cpp (finding and opening the camera named, and what stands in
// the way), slot_settings.cpp (applying and telling the settings),
// slot_condition.cpp (what stands in the way of the pictures once open) and
// frame_intake.cpp (the frames).
//
// A camera that answers but that another program controls is held: the
// slot reads what it offers, so handles open, and waits for it as through
// an outage, trying to take control after each pause.
//
// Every public member may be called from any thread.  Slots are never
// destroyed (the camera thread may outlive a caller's wait).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "condition_board.h"
#include "condition_words.h"
#include "connection.h"
#include "frame_exchange.h"
#include "frame_intake.h"
#include "mode_table.h"
#include "pixel_layout.h"
#include "region_fit.h"
#include "silence_limit.h"
#include "slot_state.h"

namespace genicam {

struct GainRange {
    float min = 0, max = 0;
};

struct Timing {
    double exposure_s = 0, period_s = 0;
};

// How long a call waits for the camera thread's answer before it checks
// whether the camera is there at all.
inline constexpr std::chrono::milliseconds kProbeAfter{300};


// How often a first open that waits for its camera says so.
inline constexpr std::chrono::seconds kWaitingNotice{5};

// The longest a call waits for a camera that is there but slow: 5 s, or
// TOLMIREX_CAMERA_CALL_TIMEOUT_MS.
std::chrono::milliseconds call_timeout();

// The settings the camera runs (or runs again once it is back), as the slot
// last applied them, the exposure and gain as the camera took them (read
// back); a region all zero is the mode's full frame.  changes grows when they changed without the caller of a
// call that succeeded knowing it: a reconnect, a change given up on that took
// effect after all.
struct SettingsInEffect {
    CameraState state = CameraState::closed;
    uint32_t changes = 0;
    uint32_t exposure_us = 0, mode_index = 0;
    Region region{};
    float gain = 0;
};

class CameraSlot final {
public:
    explicit CameraSlot(std::string name) : name_(std::move(name)) {}
    CameraSlot(const CameraSlot&) = delete;
    CameraSlot& operator=(const CameraSlot&) = delete;

    // Waits up to the time-out for the camera to answer (at once when it
    // already does); kNoDevice when it did not.  The camera this slot had and
    // lost is not waited for: the handle opens at once, waiting for it as
    // every open handle does through an outage; so does one another program
    // controls, once its facts are read.  until_first_answer: a camera
    // this slot never reached (one that powers up after the PC) is waited for
    // without a bound, saying so every kWaitingNotice.
    int attach(zebcommon::HandleQueue* handle, int open_timeout_ms, bool until_first_answer = false);
    // Stops its acquisition and releases its frames; the last one closes the
    // camera (and waits for that only while the camera answers).
    void detach(zebcommon::HandleQueue* handle);

    // Settings shared by all handles.  Geometry changes while streaming
    // restart the stream invisibly.  kNoDevice while the camera is lost.
    int set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested);
    int set_gain(float gain);
    // From what the camera said when it was first opened: also while it is lost.
    std::optional<Mode> mode(uint32_t index);
    std::optional<GainRange> gain_range();
    // From what the slot knows: at once, also while the camera is lost.
    SettingsInEffect settings_in_effect();
    // Asked of the camera: nullopt while it is lost.
    std::optional<Timing> timing();
    // The inputs as the camera thread last read them, at once: each call
    // asks it to read them again when it is free.  nullopt while the camera
    // is not answering.
    std::optional<uint32_t> input_levels();
    // What stands in the way of the pictures, and what the slot knows of the
    // camera, at once.
    CQCONDITION condition();
    // Switches the camera's triggers off (cqSetFreeRun): kBadArgument when it
    // has none on.
    int set_free_run();

    // Acquisition through one handle; the rest of the hand-over is the
    // exchange's.  Waiting times out while the camera is lost; a start then
    // is kept, and the stream starts once the camera is configured again.
    int start(zebcommon::HandleQueue* handle);
    void stop(zebcommon::HandleQueue* handle);
    int wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms);
    zebcommon::FrameExchange& frames() { return frames_; }

private:
    struct Settings {
        uint32_t exposure_us = 10000;
        uint32_t mode_index = 0;
        Region region{};
        std::optional<float> gain;
    };
    using Work = std::function<int(Connection&)>;
    struct Job {
        const char* call;  // the entry point it serves, for messages
        Work work;
        int result = 0;
        bool started = false, done = false;
        bool abandoned = false;  // started, and its caller gave up on it
        std::chrono::steady_clock::time_point posted;
        // How long it waited for a read of the camera thread's own (settings
        // read back, inputs, a silence check): not counted against its bound.
        std::chrono::steady_clock::duration held_up{};
    };
    enum class CallEnd { done, gone, too_slow };

    // The one place the state changes.
    void move_locked(CameraState to);

    // --- the calls (camera_slot.cpp) ---
    // Posts work to the camera thread and waits for it: kNoDevice when the
    // camera is gone or a call gave up on it before, kTimeout when it
    // answered too slowly.
    int run_locked(std::unique_lock<std::mutex>& lock, const char* call, Work work);
    // Waits until done, up to call_timeout() (plus what held_up() says the
    // camera thread's own reads took), or until the camera is found gone.
    CallEnd wait_for_camera_locked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                                   const std::function<std::chrono::steady_clock::duration()>& held_up = {});
    void give_up_locked(const std::shared_ptr<Job>& job, CallEnd end, std::chrono::steady_clock::duration waited);
    void start_thread_locked();

    // --- the camera thread (camera_link.cpp) ---
    void camera_thread();
    bool wanted_locked() const { return open_handles_ > 0 || attaching_ > 0; }
    void reach(std::unique_lock<std::mutex>& lock);

    // --- reaching the camera named (slot_open.cpp) ---
    // A connection that controls the camera and has modes to show, or
    // nullptr, having said on the board what stood in the way.
    std::unique_ptr<Connection> reach_camera();
    // The camera the name means, opened: by address, or among the cameras
    // that answer a discovery.
    std::unique_ptr<Connection> open_named();
    // Another program controls the camera: its facts are taken (a first
    // open then succeeds), and it is waited for as through an outage.
    void wait_for_control(std::unique_ptr<Connection> connection);
    // Whether a camera never reached has been looked for long enough to
    // list the cameras that answer instead (once every kListAgain).
    bool listing_due();
    void configure(std::unique_lock<std::mutex>& lock, bool reconnect);
    // A camera back from an outage that is another one, or offers other
    // modes: named, and its facts taken, the mode the nearest it offers.
    void take_changed_camera_locked(const CameraFacts& now);
    // Runs the next job, or reads the settings back or the inputs when
    // asked, or looks into a silent stream or a doubted control channel, or
    // stops a stream no handle acquires; false when there was nothing to do.
    bool serve(std::unique_lock<std::mutex>& lock);
    void run_job(std::unique_lock<std::mutex>& lock);
    void read_inputs(std::unique_lock<std::mutex>& lock);
    // Whether the connection has answered for the camera being there: after
    // a silent stream, or Aravis's heartbeat giving up, the camera is asked.
    bool camera_there(std::unique_lock<std::mutex>& lock);
    bool stream_silent() const;
    // Closes it, answering the jobs still queued, and moves to after
    // (lost, or reaching when nobody wants it or it was never had).
    void close_connection(std::unique_lock<std::mutex>& lock, CameraState after);

    // --- the settings (slot_settings.cpp) ---
    int apply_mode(Connection& connection, uint32_t exposure_us, uint32_t mode_index, const Mode& mode,
                   const Region& region);
    bool apply_geometry(Connection& connection, const Mode& mode, const Region& region);
    // The exposure, gain and frame timing as the camera now runs them,
    // read when the camera thread is free after a change.
    void read_back(std::unique_lock<std::mutex>& lock);
    bool start_stream(Connection& connection, bool resume_ids);
    void stop_stream(Connection& connection);

    // --- the conditions (slot_condition.cpp): the camera thread ---
    // Reads the triggers and the auto settings and tells them.
    void read_conditions(Connection& connection);
    // Before the exposure (or the gain) is set here: switches the camera's
    // auto setting for it off, and tells so.
    void take_over_from_auto(Connection& connection, bool exposure);
    void tell_autos_locked();
    // The stream's facts and whether the link carries its rate.
    void tell_stream_locked();
    // Frames that never arrive whole, and the end of a silence: from what
    // the stream brought since it started.
    void watch_stream_locked();
    // A silent stream from a camera that answers.
    void tell_silence_locked();
    // The connection closes: nothing read from it holds any more.
    void forget_conditions_locked();

    const std::string name_;

    std::mutex mutex_;                 // protects everything down to jobs_
    std::condition_variable changed_;  // jobs posted or done, handles, state
    CameraState state_ = CameraState::closed;
    // Facts, not state: what was ever so, for what the slot says.
    bool ever_reached_ = false;      // configured at least once
    bool description_unusable_ = false;  // it answered with nothing the viewer can use: an open gives up
    std::chrono::steady_clock::time_point reaching_since_;  // when this slot began to reach a camera
    std::chrono::steady_clock::time_point listed_at_;       // when the cameras that answer were last listed
    int attaching_ = 0;
    int open_handles_ = 0;
    int acquiring_handles_ = 0;
    CameraFacts facts_;     // from the first connection while any handle is open (or the camera is lost)
    std::string address_;   // the connected camera's IPv4 address, "" when it has none
    Settings settings_;     // only what the camera took: a refused change is not kept
    uint32_t changes_ = 0;  // see SettingsInEffect
    double frame_period_s_ = 0, exposure_s_ = 0;  // as the camera last said (0: unknown)
    std::optional<uint32_t> input_levels_;        // as last read
    bool inputs_asked_ = false;                   // read them again when free
    bool read_back_asked_ = false;                // read the settings back when free
    std::chrono::steady_clock::time_point own_read_ended_;  // the camera thread's last read of its own
    // What the conditions are told from (slot_condition.cpp).
    NetworkPath path_;                            // this PC's side of the way to the camera
    unsigned packet_size_ = 0, stream_port_ = 0;  // of the stream last started
    uint64_t payload_ = 0;
    bool triggered_ = false;                      // a trigger is on
    bool exposure_auto_ = false, gain_auto_ = false;                    // on in the camera
    bool exposure_auto_switched_ = false, gain_auto_switched_ = false;  // off since the last change here
    uint32_t deliveries_when_silent_ = 0;         // what the stream had brought when found silent
    std::deque<std::shared_ptr<Job>> jobs_;
    // Set and reset under mutex_ by the camera thread only, which alone uses
    // the connection; present in configuring, connected and not_answering.
    std::unique_ptr<Connection> connection_;

    // Each taken alone or inside mutex_, never the other way round.
    zebcommon::FrameExchange frames_;  // has its own mutex
    ConditionBoard board_;             // has its own mutex
    FrameIntake intake_{frames_};      // has its own mutex
};

// The slot of the camera with that name (Aravis id, address, serial number
// or user-defined name), created on first use
// and alive until the process ends.
CameraSlot& slot_for(const std::string& name);

}  // namespace genicam
