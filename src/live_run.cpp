// Stop requests for the live run. Any thread, as each declaration says.
#include "live_run.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "setup.h"

// Counts stop requests; a live run remembers the count it began with.
static std::atomic<unsigned> stop_generation{0};
static std::atomic<unsigned> run_generation{0};

// Wakes a worker that pauses between camera reopens.
static std::mutex stop_mutex;
static std::condition_variable stop_requested;

void request_stop() {
    // The count goes up before bRun is cleared, so a worker that sets bRun
    // and then finds the old count is still stopped by the clear that follows.
    stop_generation.fetch_add(1);
    lps->bRun = 0;
    lps->bHaveData = 0;
    {
        std::lock_guard<std::mutex> lock(stop_mutex);  // no wake-up lost between test and wait
    }
    stop_requested.notify_all();
}

bool wait_unless_stopped(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(stop_mutex);
    return !stop_requested.wait_for(lock, pause, [] { return !lps->bRun; });
}

void begin_live_run() { run_generation = stop_generation.load(); }

bool worker_begin_run() {
    lps->bRun = 1;
    if (stop_generation.load() == run_generation.load()) return true;
    lps->bRun = 0;
    return false;
}
