// connection.h - one open connection to a GenICam camera through Aravis:
// what the camera offers (read once at open), its settings, its stream and
// its inputs.
//
// Not locked itself: only the owning CameraSlot's camera thread calls its
// members (lost() may be read anywhere).  The only code that runs elsewhere is
// the connection's receive thread, which pops Aravis's filled buffers and
// hands each image to the FrameSink, and Aravis's heartbeat thread, which
// sets control_doubted().  Our code never runs on Aravis's stream thread: a
// buffer passes from it to us only through arv_stream_timeout_pop_buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "condition_words.h"
#include "frame_ids.h"
#include "mode_table.h"
#include "region_fit.h"

typedef struct _ArvCamera ArvCamera;
typedef struct _ArvStream ArvStream;

namespace genicam {

// One image as the camera delivered it; data valid only during the call.
// An incomplete one (packets missing after Aravis's resends, or the frame
// timed out) carries only its frame id: its pixels and size are not trusted.
struct DeliveredImage {
    const uint8_t* data;
    size_t bytes;
    uint32_t width, height, x, y;
    uint32_t pixel_format;
    uint64_t frame_id;
    bool complete = true;
};

class FrameSink {
public:
    // The connection's receive thread.  Must return promptly (the buffer
    // goes back to the camera afterwards) and must not call back into the
    // Connection.
    virtual void on_image(const DeliveredImage& image) = 0;

protected:
    ~FrameSink() = default;
};

struct CameraFacts {
    std::string model;                         // "vendor model", for messages
    std::string serial;                        // the device's serial number, "" when it has none
    std::vector<std::string> offered_formats;  // every pixel format the camera offers, shown or not
    std::vector<Mode> modes;
    uint32_t sensor_width = 0, sensor_height = 0;  // 0 when the camera gives none
    AxisRule x_rule, y_rule;  // increments and minimum sizes; .full comes from the mode
    float gain_min = 0, gain_max = 0;
    float gain = 0;  // as the camera was set when opened
    double exposure_min_us = 1, exposure_max_us = 1e7;
    IdWidth id_width = IdWidth::wide64;
};

class Connection {
public:
    // Opens the camera by IPv4 address (directly, no discovery) or by Aravis
    // id.  nullptr when it does not answer.  Its facts may list no mode (no
    // pixel format the viewer can show).
    static std::unique_ptr<Connection> open(const std::string& name);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const CameraFacts& facts() const { return facts_; }
    // The camera's IPv4 address for a GigE Vision camera, "" for others.
    const std::string& address() const { return address_; }
    // Whether this connection controls the camera: a GigE Vision camera
    // another program controls answers reads and refuses everything else.
    // The facts are read all the same; nothing is written.
    bool controls() const { return controls_; }
    // Where the program that controls the camera runs, as controller_text
    // gives it ("" when the camera does not say).
    std::string controller();

    // The camera stopped answering: a command timed out, or the owner found
    // it gone (see CameraSlot).
    bool lost() const { return lost_->load(); }
    void mark_lost() { lost_->store(true); }
    // Aravis's heartbeat went unanswered for a few seconds and Aravis gave up
    // control: a camera far away, or busy with a long job, may still be
    // there.  Its owner asks it, and takes control again when it is.
    bool control_doubted() const { return doubted_->load(); }
    bool take_control_again();

    bool set_exposure(uint32_t exposure_us);  // clamped to the camera's bounds
    bool set_gain(float gain);                // clamped to the camera's bounds
    std::optional<float> gain();              // as the camera runs it
    // Binning, pixel format and region; only while not streaming (a real
    // camera locks them during acquisition).
    bool set_geometry(const Mode& mode, const Region& region);

    bool start_stream(FrameSink* sink);
    void stop_stream();
    bool streaming() const { return stream_ != nullptr; }
    // Of the stream last started: the packet size the camera took (0 for a
    // camera that is no GigE Vision one), the local UDP port its packets
    // come to (0 likewise) and the bytes of a frame.
    unsigned packet_size() const { return packet_size_; }
    unsigned stream_port() const { return stream_port_; }
    uint64_t payload() const { return payload_; }

    // Every trigger the camera has, as it is set.
    std::vector<Trigger> triggers();
    // Switches every trigger off: the camera runs free.
    bool triggers_off();
    // An auto feature (ExposureAuto, GainAuto) the camera has, set to
    // anything but Off; and switching it off.
    bool auto_on(const char* feature);
    bool auto_off(const char* feature);

    double exposure_s();
    double frame_period_s();  // 0 when the camera does not say
    uint32_t input_levels();  // bit n-1 = input n; 0 without line features

private:
    Connection(ArvCamera* camera, std::unique_ptr<std::atomic<bool>> lost,
               std::unique_ptr<std::atomic<bool>> doubted);
    void read_facts();
    static void make_stream_classes();
    // Runs an Aravis call that reports through GError; true when it
    // succeeded.  A time-out marks the camera lost, so the calls after it
    // give up at once instead of each waiting out Aravis's retries.
    template <typename Call>
    bool check(Call call);
    static void on_control_lost(void* device, void* flag);
    static void receive(ArvStream* stream, FrameSink* sink, const std::atomic<bool>* stop);

    ArvCamera* camera_;
    ArvStream* stream_ = nullptr;
    // Started after stream_ exists and joined before it is released, so the
    // thread's start and join order everything it shares with us.
    std::thread receiver_;
    std::atomic<bool> stop_receiving_{false};
    CameraFacts facts_;
    std::string address_;
    unsigned packet_size_ = 0, stream_port_ = 0;
    uint64_t payload_ = 0;
    bool controls_ = true;
    // Allocated before the camera is opened, so before Aravis's heartbeat
    // thread exists: the thread's creation orders it for every checker.
    std::unique_ptr<std::atomic<bool>> lost_, doubted_;
    unsigned long lost_handler_ = 0;
};

}  // namespace genicam
