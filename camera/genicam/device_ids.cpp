// device_ids.cpp - see device_ids.h.  Any thread.
#include "device_ids.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "discovery.h"

namespace genicam {
namespace {

struct NameTable {
    std::mutex mutex;                // protects names and listed
    std::vector<std::string> names;  // id -> name; never shrinks
    std::vector<uint32_t> listed;    // ids of the last enumeration, in Aravis's order
    bool none_reported = false;      // "No camera found" said since a camera was last found
};

NameTable& table() {
    static NameTable* instance = new NameTable;  // never destroyed: used during exit
    return *instance;
}

std::optional<std::string> chosen_camera() {
    const char* chosen = std::getenv("TOLMIREX_CAMERA_ID");
    if (chosen && *chosen) return std::string(chosen);
    return std::nullopt;
}

uint32_t id_for_locked(NameTable& t, const std::string& name) {
    for (uint32_t id = 0; id < t.names.size(); ++id)
        if (t.names[id] == name) return id;
    t.names.push_back(name);
    return static_cast<uint32_t>(t.names.size() - 1);
}

void refresh_locked(NameTable& t) {
    t.listed.clear();
    if (auto chosen = chosen_camera()) {
        t.listed.push_back(id_for_locked(t, *chosen));
        return;
    }
    // Discovery broadcasts on every interface: only without a chosen camera.
    const auto began = std::chrono::steady_clock::now();
    for (const FoundCamera& camera : discover_cameras())
        if (!camera.id.empty()) t.listed.push_back(id_for_locked(t, camera.id));
    if (!t.listed.empty()) {
        t.none_reported = false;
    } else if (!t.none_reported) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        std::fprintf(stderr,
                     "No camera found: Aravis looked for GigE Vision cameras on every network interface and for USB3 "
                     "Vision cameras on every USB bus (%.1f s). Name a camera with TOLMIREX_CAMERA_ID=<IPv4 address "
                     "or Aravis id> (arv-tool-0.8 lists the ids it finds)\n",
                     took.count());
        t.none_reported = true;
    }
}

}  // namespace

bool is_ipv4_address(const std::string& name) {
    in_addr address{};
    return inet_pton(AF_INET, name.c_str(), &address) == 1;
}

uint32_t camera_count() {
    NameTable& t = table();
    std::lock_guard lock(t.mutex);
    refresh_locked(t);
    return static_cast<uint32_t>(t.listed.size());
}

std::optional<uint32_t> camera_id(uint32_t index) {
    NameTable& t = table();
    std::lock_guard lock(t.mutex);
    // The program may ask for camera 0 without counting first.
    if (t.listed.empty()) refresh_locked(t);
    if (index >= t.listed.size()) return std::nullopt;
    return t.listed[index];
}

std::optional<std::string> camera_name(uint32_t id) {
    NameTable& t = table();
    std::lock_guard lock(t.mutex);
    if (id >= t.names.size()) return std::nullopt;
    return t.names[id];
}

}  // namespace genicam
