// What the status area says, as pure functions of what the viewer and the
// camera library know: which camera, how its stream is, and what is wrong.
// Any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Frames lost or incomplete within the last few seconds, from the running
// totals sampled now and then.
class RecentCounts {
public:
    static constexpr uint32_t kSpanMs = 5000;

    struct Counts {
        uint32_t lost = 0, incomplete = 0;
    };

    // Totals as of now_ms (a millisecond clock that may wrap); what came
    // within the last kSpanMs.
    Counts add(uint32_t now_ms, uint32_t lost_total, uint32_t incomplete_total);

private:
    struct Sample {
        uint32_t at_ms, lost, incomplete;
    };
    std::deque<Sample> samples_;
};

struct StatusFacts {
    std::string library;  // "" when the library cannot say which it is
    std::string camera;   // model, serial, address
    std::string mode;     // the sensor mode as the panel lists it
    bool acquiring = false;
    double rate_fps = 0;       // frames a second, as the title shows
    double frame_bytes = 0;    // one frame's data from the camera
    RecentCounts::Counts recent;
    bool incomplete_known = false;  // the library counts incomplete frames
    std::string stream;             // the library's own facts on the stream
    std::string problem;            // what is wrong and what to do, "" when nothing is
};

// Three parts, one line each but the problem, which may be longer:
// "Camera: …", "Stream: …" and the problem.
std::string status_text(const StatusFacts& facts);

// The problem to show: the library's own words when it has any, else the
// viewer's. state is CQSETTINGS.dwState, or CQ_CAMERA_ANSWERING when the
// library cannot say.
std::string problem_text(const std::string& library_problem, uint32_t state, const std::string& viewer_problem);

// text broken into lines of at most width characters, at spaces where it
// can be; a word longer than a line is cut.
std::vector<std::string> wrap_text(const std::string& text, size_t width);
