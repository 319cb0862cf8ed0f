// device_ids.h - which cameras the library offers.  With TOLMIREX_CAMERA_ID
// set there is exactly that one camera and nothing is enumerated here (a
// camera named by IPv4 address is opened without any broadcast; any other
// name is looked for by its slot, see slot_open.cpp); otherwise Aravis lists
// the cameras it finds.
// A DWORD camera id is an index into a process-wide table of the names seen,
// which only grows, so an id stays valid even when the list changes.
//
// Any thread; the table has its own mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace genicam {

// Number of cameras; refreshes the list when enumerating.
uint32_t camera_count();
// The id of the index-th camera of the last count (0 = the chosen one with
// TOLMIREX_CAMERA_ID).
std::optional<uint32_t> camera_id(uint32_t index);
// The name behind an id: as TOLMIREX_CAMERA_ID gives it, or an Aravis id.
std::optional<std::string> camera_name(uint32_t id);

// "192.168.1.20" style IPv4 address: opened directly, without discovery.
bool is_ipv4_address(const std::string& name);

}  // namespace genicam
