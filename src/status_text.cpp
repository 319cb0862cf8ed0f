// See status_text.h. Pure; any thread.
#include "status_text.h"

#include <cstdio>

#include "zebapi.h"

RecentCounts::Counts RecentCounts::add(uint32_t now_ms, uint32_t lost_total, uint32_t incomplete_total) {
    samples_.push_back({now_ms, lost_total, incomplete_total});
    // The oldest sample kept is the last one taken at least kSpanMs ago, so
    // the span covered is kSpanMs once the samples reach that far back.
    while (samples_.size() > 2 && uint32_t(now_ms - samples_[1].at_ms) >= kSpanMs) samples_.pop_front();
    const Sample& first = samples_.front();
    return {lost_total - first.lost, incomplete_total - first.incomplete};
}

namespace {

std::string format(const char* pattern, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

std::string status_text(const StatusFacts& f) {
    std::string camera = "Camera: " + (f.library.empty() ? std::string("the camera maker's library") : f.library);
    if (!f.camera.empty()) camera += " · " + f.camera;
    if (!f.mode.empty()) camera += " · " + f.mode;

    std::string stream = "Stream: ";
    if (!f.acquiring) {
        stream += "stopped";
    } else {
        stream += format("%.1f fps, %.1f MB/s", f.rate_fps, f.rate_fps * f.frame_bytes / 1e6);
        stream += "; last 5 s: " + std::to_string(f.recent.lost) + " lost";
        if (f.incomplete_known) stream += ", " + std::to_string(f.recent.incomplete) + " incomplete";
    }
    if (!f.stream.empty()) stream += "; " + f.stream;

    std::string text = camera + "\n" + stream;
    if (!f.problem.empty()) text += "\n" + f.problem;
    return text;
}

std::string problem_text(const std::string& library_problem, uint32_t state, const std::string& viewer_problem) {
    if (!library_problem.empty()) return library_problem;
    if (state == CQ_CAMERA_LOST)
        return "The camera does not answer: Tolmirex keeps reaching for it and goes on where it was once it is back. "
               "Check its power and its cable.";
    if (state == CQ_CAMERA_NOT_ANSWERING)
        return "The camera answers too slowly: changes are refused until it catches up.";
    return viewer_problem;
}

std::vector<std::string> wrap_text(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    if (width == 0) return lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        at = end;
        while (word.size() > width) {  // longer than a line: cut
            if (!line.empty()) lines.push_back(line), line.clear();
            lines.push_back(word.substr(0, width));
            word.erase(0, width);
        }
        if (!line.empty() && line.size() + 1 + word.size() > width) lines.push_back(line), line.clear();
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}
