// fake_camera.h - Aravis's fake GigE Vision camera (arv-fake-gv-camera-0.8)
// on 127.0.0.1 as a child process, started and killed by its pid.  Only in a
// private network namespace: in_private_network() says whether loopback is
// the only interface, and tests skip otherwise.
//
// Test threads only; one FakeCamera per test.
#pragma once

#include <sys/types.h>

#include <string>

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

// The test description without its LineStatusAll feature: inputs are then
// read line by line through LineSelector and LineStatus.  Returns the path
// of the file written.
std::string description_without_line_status_all(const std::string& source);

}  // namespace genicam_test
