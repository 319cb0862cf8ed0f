// silence_limit.cpp - see silence_limit.h.
#include "silence_limit.h"

#include <algorithm>
#include <cmath>

namespace genicam {

std::chrono::milliseconds stream_silence_limit(double period_s, double exposure_s,
                                               std::chrono::steady_clock::duration spacing) {
    constexpr double kShortest = 1.0, kLongest = 3600.0, kPeriods = 3.0;
    double period = std::chrono::duration<double>(spacing).count();
    for (double said : {period_s, exposure_s})
        if (std::isfinite(said)) period = std::max(period, said);
    const double limit = std::clamp(kPeriods * period, kShortest, kLongest);
    return std::chrono::milliseconds(static_cast<long long>(std::lround(limit * 1000.0)));
}

}  // namespace genicam
