// gvcp_probe.cpp - see gvcp_probe.h.  Any thread.
#include "gvcp_probe.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kGvcpPort = 3956;
constexpr uint16_t kReadRegister = 0x0080, kReadRegisterAck = 0x0081;

}  // namespace

int gvcp_socket(const std::string& address, sockaddr_in* endpoint) {
    *endpoint = {};
    endpoint->sin_family = AF_INET;
    endpoint->sin_port = htons(kGvcpPort);
    if (inet_pton(AF_INET, address.c_str(), &endpoint->sin_addr) != 1) return -1;
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

GvcpProbe::GvcpProbe(const std::string& address, uint32_t reg) : register_(reg) {
    sockaddr_in camera{};
    fd_ = gvcp_socket(address, &camera);
    // Connected, so the socket also hears "port unreachable": no camera.
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&camera), sizeof camera) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

GvcpProbe::~GvcpProbe() {
    if (fd_ >= 0) close(fd_);
}

ProbeAnswer GvcpProbe::ask(int timeout_ms) {
    if (fd_ < 0) return ProbeAnswer::refused;
    // READREG of one register, acknowledge requested: key 0x42, flags 0x01,
    // command, payload length 4, request id, address (big-endian).
    const uint16_t id = next_id_++;
    const uint8_t request[12] = {0x42,
                                 0x01,
                                 kReadRegister >> 8,
                                 kReadRegister & 0xFF,
                                 0,
                                 4,
                                 uint8_t(id >> 8),
                                 uint8_t(id & 0xFF),
                                 uint8_t(register_ >> 24),
                                 uint8_t(register_ >> 16),
                                 uint8_t(register_ >> 8),
                                 uint8_t(register_)};
    if (send(fd_, request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
        return errno == ECONNREFUSED ? ProbeAnswer::refused : ProbeAnswer::silent;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd waiting{fd_, POLLIN, 0};
        if (left <= 0 || poll(&waiting, 1, static_cast<int>(left)) != 1) return ProbeAnswer::silent;
        uint8_t reply[64];
        const ssize_t got = recv(fd_, reply, sizeof reply, 0);
        if (got < 0) return errno == ECONNREFUSED ? ProbeAnswer::refused : ProbeAnswer::silent;
        if (got < 8 || ((reply[2] << 8) | reply[3]) != kReadRegisterAck) continue;
        const uint16_t answered = uint16_t(reply[6] << 8 | reply[7]);
        if (uint16_t(answered - first_id_) < uint16_t(next_id_ - first_id_)) {
            if (got >= 12) value_ = uint32_t(reply[8]) << 24 | uint32_t(reply[9]) << 16 | uint32_t(reply[10]) << 8 | reply[11];
            return ProbeAnswer::answered;
        }
    }
}

namespace {

ProbeAnswer ask_until_answered(GvcpProbe& probe, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ProbeAnswer::silent;
        const ProbeAnswer answer = probe.ask(static_cast<int>(std::min<long long>(left, kProbeResend.count())));
        if (answer != ProbeAnswer::silent) return answer;
    }
}

}  // namespace

ProbeAnswer probe_camera(const std::string& address, int timeout_ms) {
    GvcpProbe probe(address);
    return ask_until_answered(probe, timeout_ms);
}

std::optional<uint32_t> read_gvcp_register(const std::string& address, uint32_t reg, int timeout_ms) {
    GvcpProbe probe(address, reg);
    if (ask_until_answered(probe, timeout_ms) != ProbeAnswer::answered) return std::nullopt;
    return probe.value();
}

}  // namespace genicam
