// genicam_control_relay - a slow network for the GigE Vision control channel:
//   genicam_control_relay --listen 127.0.0.1 --camera 127.0.0.2 --delay-file PATH
// Datagrams from a host to listen:3956 go on to camera:3956 from a socket of
// that host's own, and the camera's answers go back from listen:3956.  Each
// one, either way, is held for the delay in PATH (milliseconds, read again at
// most every 100 ms; no file is no delay) and they leave in the order they
// came.  The stream does not pass here: the camera sends it to the address
// the host wrote into its registers.  Prints "ready" once it listens; runs
// until SIGTERM or SIGINT.  Serves only where loopback is the only interface.
//
// In its namespace it first gives lo the camera's address (Aravis's fake
// camera serves only on an interface's own address) and makes the stream
// leave with the listen address as its source: Aravis's packet socket takes
// stream packets only from the address it opened.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "fake_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kControlPort = 3956;

struct Host {
    sockaddr_in address;
    int upstream;  // its socket towards the camera
};

struct Held {
    Clock::time_point due;
    int from;  // the socket it leaves by
    sockaddr_in to;
    std::vector<char> data;
};

bool same(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

bool parse_address(const char* text, uint16_t port, sockaddr_in* out) {
    *out = {};
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    return inet_pton(AF_INET, text, &out->sin_addr) == 1;
}

class Delay {
public:
    explicit Delay(std::string path) : path_(std::move(path)) {}
    Clock::duration now_value() {
        const Clock::time_point now = Clock::now();
        if (now - read_at_ >= std::chrono::milliseconds(100)) {
            read_at_ = now;
            long ms = 0;
            std::ifstream(path_) >> ms;
            ms_ = ms > 0 ? ms : 0;
        }
        return std::chrono::milliseconds(ms_);
    }

private:
    std::string path_;
    Clock::time_point read_at_{};
    long ms_ = 0;
};

// A command whose failure is expected at times: the address or the table
// already there, or not there yet.
void try_command(const std::string& command) { [[maybe_unused]] const int status = std::system(command.c_str()); }

// The namespace's plumbing; false when nft is missing, and then only a host
// reading its stream through an ordinary socket sees frames.
bool plumb(const std::string& listen_at, const std::string& camera_at) {
    try_command("ip addr add " + camera_at + "/8 dev lo 2>/dev/null");
    try_command("nft delete table ip genicam_relay 2>/dev/null");
    const std::string rules =
        "nft add table ip genicam_relay && "
        "nft add chain ip genicam_relay out '{ type nat hook postrouting priority 100; }' && "
        "nft add rule ip genicam_relay out ip saddr " +
        camera_at + " udp sport != 3956 snat to " + listen_at;
    return std::system(rules.c_str()) == 0;
}

int usage() {
    std::fprintf(stderr, "usage: genicam_control_relay --listen A --camera B --delay-file PATH\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char *listen_at = nullptr, *camera_at = nullptr, *delay_file = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--listen")
            listen_at = argv[i + 1];
        else if (option == "--camera")
            camera_at = argv[i + 1];
        else if (option == "--delay-file")
            delay_file = argv[i + 1];
        else
            return usage();
    }
    sockaddr_in listen_address, camera_address;
    if (argc % 2 == 0 || listen_at == nullptr || camera_at == nullptr || delay_file == nullptr ||
        !parse_address(listen_at, kControlPort, &listen_address) ||
        !parse_address(camera_at, kControlPort, &camera_address))
        return usage();
    if (!genicam_test::in_private_network()) {
        std::fprintf(stderr, "genicam_control_relay: serves only where loopback is the only interface\n");
        return 1;
    }

    if (!plumb(listen_at, camera_at))
        std::fprintf(stderr, "genicam_control_relay: no nft: the stream keeps the camera's address\n");

    const int listener = socket(AF_INET, SOCK_DGRAM, 0);
    if (bind(listener, reinterpret_cast<sockaddr*>(&listen_address), sizeof listen_address) != 0) {
        std::fprintf(stderr, "genicam_control_relay: cannot listen on %s: %s\n", listen_at, std::strerror(errno));
        return 1;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const int stop_fd = signalfd(-1, &stop, 0);
    std::printf("ready\n");
    std::fflush(stdout);
    // Whoever waited for that may stop reading.
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("control_relay: /dev/null");

    Delay delay(delay_file);
    std::vector<Host> hosts;
    std::deque<Held> held;
    std::vector<char> packet(65536);
    for (;;) {
        std::vector<pollfd> fds{{stop_fd, POLLIN, 0}, {listener, POLLIN, 0}};
        for (const Host& h : hosts) fds.push_back({h.upstream, POLLIN, 0});
        int timeout_ms = -1;
        if (!held.empty()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(held.front().due - Clock::now());
            timeout_ms = wait.count() > 0 ? int(wait.count()) : 0;
        }
        if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR) return 1;
        if (fds[0].revents & POLLIN) break;

        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t from_size = sizeof from;
            const ssize_t n =
                recvfrom(fds[i].fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_size);
            if (n < 0) continue;
            Held h{Clock::now() + delay.now_value(), -1, {}, std::vector<char>(packet.begin(), packet.begin() + n)};
            if (fds[i].fd == listener) {
                size_t k = 0;
                while (k < hosts.size() && !same(hosts[k].address, from)) ++k;
                if (k == hosts.size()) {
                    const int upstream = socket(AF_INET, SOCK_DGRAM, 0);
                    if (upstream < 0) continue;
                    hosts.push_back({from, upstream});
                }
                h.from = hosts[k].upstream;
                h.to = camera_address;
            } else {
                if (!same(from, camera_address)) continue;
                h.from = listener;
                for (const Host& host : hosts)
                    if (host.upstream == fds[i].fd) h.to = host.address;
            }
            held.push_back(std::move(h));
        }

        // In arrival order: a packet never overtakes one held longer.
        while (!held.empty() && held.front().due <= Clock::now()) {
            const Held& h = held.front();
            sendto(h.from, h.data.data(), h.data.size(), 0, reinterpret_cast<const sockaddr*>(&h.to), sizeof h.to);
            held.pop_front();
        }
    }
    for (const Host& h : hosts) close(h.upstream);
    close(listener);
    try_command("nft delete table ip genicam_relay 2>/dev/null");
    return 0;
}
