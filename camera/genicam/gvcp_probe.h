// gvcp_probe.h - whether a GigE Vision camera answers at an IPv4 address:
// GVCP register reads, sent again every kProbeResend, until one is answered,
// the address refuses them, or the time is up.  A slow camera's late answer
// to an earlier read still counts, so a camera whose answers take seconds is
// not taken for a gone one; a closed port (no camera there) is told at once.
// Opening a camera through Aravis waits out its retries when nothing
// answers; the probe lets the reconnect loop look for a lost camera every
// pause without that wait.
//
// Any thread: each probe uses a socket of its own.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace genicam {

inline constexpr std::chrono::milliseconds kProbeResend{250};

enum class ProbeAnswer { answered, refused, silent };

class GvcpProbe {
public:
    // Reads the bootstrap register at reg (the version register by default).
    explicit GvcpProbe(const std::string& address, uint32_t reg = 0);
    ~GvcpProbe();
    GvcpProbe(const GvcpProbe&) = delete;
    GvcpProbe& operator=(const GvcpProbe&) = delete;

    // Sends one more read and waits up to timeout_ms for the answer to it or
    // to any read this probe sent before.
    ProbeAnswer ask(int timeout_ms);
    // The register's value, once answered.
    uint32_t value() const { return value_; }

private:
    int fd_ = -1;
    uint32_t register_ = 0, value_ = 0;
    uint16_t first_id_ = 0x7A11, next_id_ = 0x7A11;
};

// Asks until the camera answers or refuses, or timeout_ms has passed.
ProbeAnswer probe_camera(const std::string& address, int timeout_ms);
// A bootstrap register of the camera at address, asked the same way;
// nullopt when it did not answer.  Reading takes no control of the camera.
std::optional<uint32_t> read_gvcp_register(const std::string& address, uint32_t reg, int timeout_ms);

// The GVCP (control) endpoint of a camera at an IPv4 address, and a UDP
// socket to reach it; -1 when the address is not IPv4 or no socket is had.
int gvcp_socket(const std::string& address, sockaddr_in* endpoint);

}  // namespace genicam
