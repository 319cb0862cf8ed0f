// environment.cpp - see environment.h.  Any thread.
#include "environment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace zebsim {
namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

// The environment is read at every open and count; each bad setting is
// warned about once per process.
void warn_bad(const char* name, const std::string& value) {
    static std::mutex mutex;                                           // protects warned
    static std::set<std::string>* warned = new std::set<std::string>;  // lives as long as the process
    std::lock_guard lock(mutex);
    if (warned->insert(std::string(name) + "=" + value).second)
        std::fprintf(stderr, "zebsim: ignoring %s=\"%s\"\n", name, value.c_str());
}

}  // namespace

std::optional<SensorKind> parse_sensor(const std::string& text) {
    if (text == "rggb") return SensorKind::rggb;
    if (text == "bggr") return SensorKind::bggr;
    if (text == "mono") return SensorKind::mono;
    return std::nullopt;
}

std::optional<long> parse_unsigned(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || value < 0) return std::nullopt;
    return value;
}

std::optional<double> parse_frame_rate(const std::string& text) {
    char* end = nullptr;
    const double rate = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(rate > 0 && rate <= 100000)) return std::nullopt;
    return rate;
}

std::optional<SensorSize> parse_sensor_size(const std::string& text) {
    unsigned width = 0, height = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%u%c", &width, &height, &tail) != 2) return std::nullopt;
    const auto usable = [](unsigned side) { return side >= kMinSensorSide && side <= kMaxSensorSide && side % 2 == 0; };
    if (!usable(width) || !usable(height)) return std::nullopt;
    return SensorSize{width, height};
}

std::optional<GainRange> parse_gain_range(const std::string& text) {
    float min_db = 0, max_db = 0;
    char tail = 0;
    // Infinite ends would make the 0.1 dB step count of cqGetGainInfo meaningless.
    if (std::sscanf(text.c_str(), "%f:%f%c", &min_db, &max_db, &tail) != 2 || !(min_db < max_db) ||
        !std::isfinite(min_db) || !std::isfinite(max_db))
        return std::nullopt;
    return GainRange{min_db, max_db};
}

uint32_t camera_count() {
    auto text = variable("ZEBSIM_CAMERAS");
    if (!text) return 1;
    auto n = parse_unsigned(*text);
    if (!n) {
        warn_bad("ZEBSIM_CAMERAS", *text);
        return 1;
    }
    return static_cast<uint32_t>(std::min<long>(*n, kMaxCameras));
}

// Reads one setting: applied when it parses, warned about when it does not.
template <class Parse, class Apply>
void read_setting(const char* name, Parse parse, Apply apply) {
    if (auto text = variable(name)) {
        if (auto value = parse(*text))
            apply(*value);
        else
            warn_bad(name, *text);
    }
}

Environment read_environment() {
    Environment env;
    env.cameras = camera_count();
    read_setting("ZEBSIM_SENSOR", parse_sensor, [&](SensorKind v) { env.sensor = v; });
    read_setting("ZEBSIM_SENSOR_SIZE", parse_sensor_size, [&](SensorSize v) { env.sensor_size = v; });
    read_setting("ZEBSIM_DROP", parse_unsigned, [&](long v) { env.drop_every = static_cast<uint32_t>(v); });
    read_setting("ZEBSIM_GAIN_RANGE", parse_gain_range, [&](GainRange v) { env.gain = v; });
    read_setting("ZEBSIM_INPUTS", parse_unsigned, [&](long v) { env.inputs = v & 0xF; });
    read_setting("ZEBSIM_FRAME_RATE", parse_frame_rate, [&](double v) { env.pace.max_frame_rate = v; });
    read_setting(
        "ZEBSIM_READOUT", [](const std::string& text) { return text == "fast" || text == "normal" ? std::optional(text) : std::nullopt; },
        [&](const std::string& v) { env.pace.fast_readout = v == "fast"; });
    if (auto text = variable("ZEBSIM_FAULTS")) env.faults = *text;
    return env;
}

}  // namespace zebsim
