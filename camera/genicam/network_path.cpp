// network_path.cpp - see network_path.h.  Any thread.
#include "network_path.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "gvcp_probe.h"

namespace genicam {
namespace {

std::string interface_with(const in_addr& address) {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return "";
    std::string name;
    for (const ifaddrs* one = all; one && name.empty(); one = one->ifa_next)
        if (one->ifa_addr && one->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(one->ifa_addr)->sin_addr.s_addr == address.s_addr)
            name = one->ifa_name;
    freeifaddrs(all);
    return name;
}

unsigned mtu_of(const std::string& interface) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    ifreq request{};
    std::strncpy(request.ifr_name, interface.c_str(), IFNAMSIZ - 1);
    const bool known = ioctl(fd, SIOCGIFMTU, &request) == 0 && request.ifr_mtu > 0;
    close(fd);
    return known ? static_cast<unsigned>(request.ifr_mtu) : 0;
}

// In Mbit/s; the file is missing or unreadable where the speed is not known.
unsigned speed_of(const std::string& interface) {
    std::ifstream file("/sys/class/net/" + interface + "/speed");
    long speed = 0;
    return file >> speed && speed > 0 ? static_cast<unsigned>(speed) : 0;
}

}  // namespace

std::optional<in_addr> local_address_to(const std::string& camera) {
    sockaddr_in target{};
    const int fd = gvcp_socket(camera, &target);
    if (fd < 0) return std::nullopt;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool routed = connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0 &&
                        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(fd);
    if (!routed) return std::nullopt;
    return local.sin_addr;
}

NetworkPath network_path_to(const std::string& camera) {
    NetworkPath path;
    const std::optional<in_addr> local = local_address_to(camera);
    if (!local) return path;
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &*local, text, sizeof text);
    path.local_address = text;
    path.interface = interface_with(*local);
    if (path.interface.empty()) return path;
    path.mtu = mtu_of(path.interface);
    path.speed_mbit = speed_of(path.interface);
    return path;
}

}  // namespace genicam
