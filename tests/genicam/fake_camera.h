// fake_camera.h - Aravis's fake GigE Vision camera (arv-fake-gv-camera-0.8)
// on 127.0.0.1 as a child process, started and killed by its pid.  Only in a
// private network namespace: in_private_network() says whether loopback is
// the only interface, and tests skip otherwise.
//
// Test threads only; one FakeCamera per test.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace genicam_test {

bool in_private_network();

class FakeCamera {
public:
    // description: a GenICam XML file for -g, or "" for Aravis's own.
    explicit FakeCamera(std::string description) : description_(std::move(description)) {}
    ~FakeCamera() { kill_now(); }
    FakeCamera(const FakeCamera&) = delete;
    FakeCamera& operator=(const FakeCamera&) = delete;

    bool start();
    void kill_now();  // SIGKILL, as a camera losing power
    bool running() const { return pid_ > 0; }

private:
    std::string description_;
    pid_t pid_ = -1;
};

// One of the test programs beside this file (genicam_format_camera,
// genicam_control_relay) as a child process.  start() returns once it prints
// "ready" (false when it does not within 5 s, or outside a private network);
// stop() ends it with SIGTERM and returns whether it exited cleanly;
// destruction stops it.  Their paths come from the build, e.g.
// GENICAM_FORMAT_CAMERA and GENICAM_CONTROL_RELAY definitions.
class TestProgram {
public:
    explicit TestProgram(std::vector<std::string> argv) : argv_(std::move(argv)) {}
    ~TestProgram() { stop(); }
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

    bool start();
    bool stop();
    void kill_now();  // SIGKILL, as a camera losing power
    bool running() const { return pid_ > 0; }

private:
    std::vector<std::string> argv_;
    pid_t pid_ = -1;
};

// genicam_format_camera offering formats ("Mono12p,RGB8": the first current)
// on address, with that serial number.  heartbeat_timeout_ms > 0 replaces
// the camera's 3 s; frame_rate > 0, Aravis's frame rate.
class FormatCamera : public TestProgram {
public:
    FormatCamera(const std::string& program, const std::string& formats, const std::string& address = "127.0.0.1",
                 int heartbeat_timeout_ms = 0, const std::string& serial = "FMT01", double frame_rate = 0);
};

// genicam_control_relay from listen to the camera at camera, delaying by the
// milliseconds in delay_file.  Start it before the camera: it gives lo the
// camera's address.
class ControlRelay : public TestProgram {
public:
    ControlRelay(const std::string& program, const std::string& delay_file, const std::string& listen = "127.0.0.1",
                 const std::string& camera = "127.0.0.2");
};

// Sets the delay a relay reads from delay_file (it sees it within 100 ms).
void set_delay(const std::string& delay_file, int ms);

// The test description without its LineStatusAll feature: inputs are then
// read line by line through LineSelector and LineStatus.  Returns the path
// of the file written.
std::string description_without_line_status_all(const std::string& source);

}  // namespace genicam_test
