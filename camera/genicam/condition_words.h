// condition_words.h - the words a camera slot tells its conditions in, for
// the person at the screen: what stands in the way of the pictures and what
// to do about it, and the stream's own facts (packet size, what bounds the
// frame rate).  Each sentence is made from figures the camera thread read.
//
// Pure: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace genicam {

// One of the camera's triggers as it read: the TriggerSelector entry ("" for
// a camera without a selector) and its TriggerMode, TriggerSource and
// TriggerActivation ("" where the camera has none).
struct Trigger {
    std::string selector, mode, source, activation;
};

inline bool trigger_on(const Trigger& trigger) { return trigger.mode == "On"; }

// "" when no trigger is on.
std::string trigger_words(const std::vector<Trigger>& triggers);

// Auto exposure or auto gain on in the camera (anything but Off), and the
// ones this library switched off for a change asked here; "" when neither.
std::string auto_words(bool exposure_on, bool gain_on, bool exposure_switched_off, bool gain_switched_off);

// This PC's side of the way to the camera, as network_path.h finds it.
struct NetworkPath {
    std::string interface;      // "" when not known
    std::string local_address;  // the address the stream comes to
    unsigned mtu = 0;           // bytes, 0 when not known
    unsigned speed_mbit = 0;    // 0 when not known (loopback has none)
};

// Every frame arriving incomplete with packets of packet_size bytes.
std::string packet_words(unsigned packet_size, const NetworkPath& path);

// The camera answers, its stream to UDP port `port` does not arrive.
std::string silent_stream_words(unsigned port, const NetworkPath& path);

// What the stream carries and how fast, as the camera says it.
struct StreamFigures {
    unsigned packet_size = 0;             // bytes with IP, UDP and GVSP headers; 0: no GigE Vision stream
    uint64_t payload = 0;                 // bytes a frame
    double period_s = 0, exposure_s = 0;  // 0 when not known
    bool triggered = false;               // a trigger sets the rate
    unsigned link_mbit = 0;               // the interface's speed, 0 when not known
};

// The stream's bits a second on the Ethernet wire, headers and gaps
// included; 0 when not known (a trigger sets the rate, no packet size).
double wire_mbit(const StreamFigures& figures);

// "" while the link carries the rate (or its speed is not known).
std::string link_rate_words(const StreamFigures& figures, const std::string& interface);

enum class RateBound { unknown, trigger, exposure, link, camera };
RateBound rate_bound(const StreamFigures& figures);

// "packets of 1400 bytes; rate bound by exposure".
std::string stream_facts(const StreamFigures& figures);

}  // namespace genicam
