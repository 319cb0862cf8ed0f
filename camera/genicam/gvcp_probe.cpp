// gvcp_probe.cpp - see gvcp_probe.h.  Any thread.
#include "gvcp_probe.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace genicam {
namespace {

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

bool camera_answers(const std::string& address, int timeout_ms) {
    sockaddr_in camera{};
    const int fd = gvcp_socket(address, &camera);
    if (fd < 0) return false;
    // READREG of the version register (address 0), acknowledge requested:
    // key 0x42, flags 0x01, command, payload length 4, request id, address.
    const uint8_t request[12] = {0x42, 0x01, kReadRegister >> 8, kReadRegister & 0xFF, 0, 4, 0x7A, 0x11, 0, 0, 0, 0};
    bool answered = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&camera), sizeof camera) == 0 &&
        send(fd, request, sizeof request, 0) == static_cast<ssize_t>(sizeof request)) {
        pollfd waiting{fd, POLLIN, 0};
        uint8_t reply[64];
        // A connected socket also sees "port unreachable" at once: no camera.
        if (poll(&waiting, 1, timeout_ms) == 1) {
            const ssize_t got = recv(fd, reply, sizeof reply, 0);
            answered =
                got >= 8 && ((reply[2] << 8) | reply[3]) == kReadRegisterAck && reply[6] == 0x7A && reply[7] == 0x11;
        }
    }
    close(fd);
    return answered;
}

}  // namespace genicam
