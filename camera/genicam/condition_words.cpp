// condition_words.cpp - see condition_words.h.
#include "condition_words.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace genicam {
namespace {

// Bytes a GVSP packet carries besides the image (IP 20, UDP 8, GVSP 8), and
// what Ethernet adds to it on the wire (header 14, check 4, preamble 8, gap 12).
constexpr unsigned kPacketHeaders = 36, kEthernetFraming = 38;
// A figure this close to its bound is taken as held by it.
constexpr double kNear = 0.9;

std::string number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string activation_words(const std::string& activation) {
    if (activation == "RisingEdge") return "rising edge";
    if (activation == "FallingEdge") return "falling edge";
    if (activation == "AnyEdge") return "either edge";
    if (activation == "LevelHigh") return "while high";
    if (activation == "LevelLow") return "while low";
    return activation;
}

std::string interface_name(const NetworkPath& path) {
    return path.interface.empty() ? "this PC's network card" : path.interface;
}

}  // namespace

std::string trigger_words(const std::vector<Trigger>& triggers) {
    std::string which;
    int on = 0;
    for (const Trigger& trigger : triggers) {
        if (!trigger_on(trigger)) continue;
        ++on;
        std::string one = trigger.selector.empty() ? "a trigger" : trigger.selector;
        if (!trigger.source.empty()) one += " from " + trigger.source;
        if (!trigger.activation.empty()) one += ", " + activation_words(trigger.activation);
        which += (which.empty() ? "" : "; ") + one;
    }
    if (on == 0) return "";
    if (on == 1)
        return "The camera waits for a trigger: " + which +
               ". Frames come only when it fires; to see pictures without it, press Free run.";
    return "The camera waits for triggers: " + which +
           ". Frames come only when they fire; to see pictures without them, press Free run.";
}

std::string auto_words(bool exposure_on, bool gain_on, bool exposure_switched_off, bool gain_switched_off) {
    std::string words;
    if (exposure_on && gain_on)
        words = "Auto exposure and auto gain are on in the camera: they override the exposure and gain set here. "
                "Setting either here switches it off.";
    else if (exposure_on)
        words = "Auto exposure is on in the camera: it overrides the exposure set here. Setting the exposure here "
                "switches it off.";
    else if (gain_on)
        words = "Auto gain is on in the camera: it overrides the gain set here. Setting the gain here switches it off.";
    const auto switched = [&](const char* what) {
        words += std::string(words.empty() ? "" : " ") + "Auto " + what + " was switched off so that the " + what +
                 " set here holds.";
    };
    if (exposure_switched_off) switched("exposure");
    if (gain_switched_off) switched("gain");
    return words;
}

std::string packet_words(unsigned packet_size, const NetworkPath& path) {
    const std::string where = interface_name(path);
    if (path.mtu > 0 && packet_size > path.mtu)
        return "Frames never arrive whole: the camera sends packets of " + std::to_string(packet_size) +
               " bytes, and " + where + " carries at most " + std::to_string(path.mtu) +
               " (its MTU). Set the camera's packet size (GevSCPSPacketSize) to " + std::to_string(path.mtu) +
               " or less, or raise the MTU of " + where + " (jumbo frames) and of every switch between.";
    return "Frames never arrive whole: packets of " + std::to_string(packet_size) + " bytes are lost on the way" +
           (path.mtu > 0 ? " (" + where + " carries up to " + std::to_string(path.mtu) + ")" : "") +
           ". A switch or network card on the way may take only smaller ones: lower the camera's packet size "
           "(GevSCPSPacketSize), and check the cable and the switch.";
}

std::string silent_stream_words(unsigned port, const NetworkPath& path) {
    std::string where = path.local_address.empty() ? "this PC" : path.local_address;
    if (!path.interface.empty()) where += " (" + path.interface + ")";
    return "The camera answers, but its pictures do not reach this PC: they should come to UDP port " +
           std::to_string(port) + " on " + where +
           ". A firewall, the reverse-path filter (rp_filter) or another program on that port may stop them: let "
           "the camera's UDP packets through the firewall, set rp_filter to 2 (loose) for " +
           interface_name(path) + ", or close the other program.";
}

double wire_mbit(const StreamFigures& figures) {
    const double period = std::max(figures.period_s, figures.exposure_s);
    if (figures.triggered || period <= 0 || !std::isfinite(period) || figures.packet_size <= kPacketHeaders)
        return 0;
    const uint64_t carried = figures.packet_size - kPacketHeaders;
    const uint64_t packets = (figures.payload + carried - 1) / carried;
    const double bytes = static_cast<double>(packets) * (figures.packet_size + kEthernetFraming);
    return bytes * 8 / period / 1e6;
}

std::string link_rate_words(const StreamFigures& figures, const std::string& interface) {
    const double needed = wire_mbit(figures);
    if (figures.link_mbit == 0 || needed <= figures.link_mbit) return "";
    const double rate = 1 / std::max(figures.period_s, figures.exposure_s);
    const double megabytes = static_cast<double>(figures.payload) / 1e6;
    const std::string frame = megabytes >= 1 ? number(megabytes, 1) + " MB" : number(megabytes * 1000, 0) + " kB";
    return "The link cannot carry the rate asked: " + number(rate, rate < 10 ? 1 : 0) + " frames a second of " +
           frame + " need about " + number(needed, 0) + " Mbit/s, and " +
           (interface.empty() ? std::string("the network card") : interface) + " carries " +
           std::to_string(figures.link_mbit) +
           " Mbit/s, so frames are lost. Lower the frame rate, make the region smaller, choose a pixel format with "
           "fewer bits, or use binning.";
}

RateBound rate_bound(const StreamFigures& figures) {
    if (figures.triggered) return RateBound::trigger;
    if (figures.period_s <= 0) return RateBound::unknown;
    if (figures.exposure_s >= kNear * figures.period_s) return RateBound::exposure;
    if (figures.link_mbit > 0 && wire_mbit(figures) >= kNear * figures.link_mbit) return RateBound::link;
    return RateBound::camera;
}

std::string stream_facts(const StreamFigures& figures) {
    std::string facts;
    if (figures.packet_size > 0) facts = "packets of " + std::to_string(figures.packet_size) + " bytes";
    const char* bound = nullptr;
    switch (rate_bound(figures)) {
    case RateBound::trigger: bound = "the trigger"; break;
    case RateBound::exposure: bound = "exposure"; break;
    case RateBound::link: bound = "the link"; break;
    case RateBound::camera: bound = "the camera's frame rate"; break;
    case RateBound::unknown: break;
    }
    if (bound) facts += std::string(facts.empty() ? "" : "; ") + "rate bound by " + bound;
    return facts;
}

}  // namespace genicam
