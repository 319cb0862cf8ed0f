// network_path.h - this PC's side of the way to a GigE Vision camera: the
// local address the kernel routes to it from, and that interface's name,
// MTU and speed.  Reads the kernel's tables only: nothing is sent (a
// connected UDP socket only picks the route).
//
// Any thread.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

#include "condition_words.h"

namespace genicam {

// The local address the kernel would send from to reach the camera.
std::optional<in_addr> local_address_to(const std::string& camera);

// All empty or zero for a camera without an IPv4 address.
NetworkPath network_path_to(const std::string& camera);

}  // namespace genicam
