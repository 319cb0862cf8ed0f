// discovery.cpp - see discovery.h.  Any thread.
#include "discovery.h"

#include <arv.h>

#include <map>

namespace genicam {
namespace {

std::string text(const char* value) { return value ? value : ""; }

}  // namespace

std::mutex& discovery_lock() {
    static auto* mutex = new std::mutex;  // never destroyed: used during exit
    return *mutex;
}

std::vector<FoundCamera> discover_cameras() {
    std::lock_guard lock(discovery_lock());
    arv_update_device_list();
    std::vector<FoundCamera> found;
    for (unsigned i = 0, n = arv_get_n_devices(); i < n; ++i)
        found.push_back({text(arv_get_device_id(i)), text(arv_get_device_physical_id(i)),
                         text(arv_get_device_address(i)), text(arv_get_device_vendor(i)), text(arv_get_device_model(i)),
                         text(arv_get_device_serial_nbr(i)), ""});
    return found;
}

std::string read_user_name(const std::string& id) {
    std::lock_guard lock(discovery_lock());
    // Each camera is opened once for it: opening one takes control of it for
    // a moment, which another program about to open it would find taken.
    static auto* known = new std::map<std::string, std::string>;  // id -> user name; never destroyed
    if (auto it = known->find(id); it != known->end()) return it->second;
    GError* error = nullptr;
    ArvDevice* device = arv_open_device(id.c_str(), &error);
    if (error) g_error_free(error);
    if (!device) return "";
    std::string name;
    if (arv_device_is_feature_available(device, "DeviceUserID", nullptr))
        name = text(arv_device_get_string_feature_value(device, "DeviceUserID", nullptr));
    g_object_unref(device);
    (*known)[id] = name;
    return name;
}

}  // namespace genicam
