// gvcp_probe.h - whether a GigE Vision camera answers at an IPv4 address:
// one GVCP register read with a short time-out.  Opening a camera through
// Aravis waits out its retries (2.5 s) when nothing answers; the probe lets
// the reconnect loop look for a lost camera every pause without that wait.
//
// Any thread: each call uses a socket of its own.
#pragma once

#include <string>

namespace genicam {

bool camera_answers(const std::string& address, int timeout_ms);

}  // namespace genicam
