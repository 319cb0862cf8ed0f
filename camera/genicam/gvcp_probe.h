// gvcp_probe.h - whether a GigE Vision camera answers at an IPv4 address:
// one GVCP register read with a short time-out.  Opening a camera through
// Aravis waits out its retries (2.5 s) when nothing answers; the probe lets
// the reconnect loop look for a lost camera every pause without that wait.
//
// Any thread: each call uses a socket of its own.
#pragma once

#include <netinet/in.h>

#include <string>

namespace genicam {

bool camera_answers(const std::string& address, int timeout_ms);

// The GVCP (control) endpoint of a camera at an IPv4 address, and a UDP
// socket to reach it; -1 when the address is not IPv4 or no socket is had.
int gvcp_socket(const std::string& address, sockaddr_in* endpoint);

}  // namespace genicam
