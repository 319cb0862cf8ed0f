// band_pool.h - a few threads that share one job in row bands: the caller
// takes the first band, the pool's threads the others, and run() returns
// once all are done.  Sized to the cores the process may use
// (sched_getaffinity), capped by TOLMIREX_THREADS=n.
//
// Any thread may call run(); calls are taken one at a time.  The pool's own
// threads run only bands; they are started by the constructor and joined by
// the destructor.
#pragma once

#include <sched.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tolmirex {

// The cores this process may run on, at most TOLMIREX_THREADS (a count from
// 1 up; another value is warned about once and ignored); at least 1.
inline unsigned usable_threads() {
    static const unsigned threads = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        unsigned cores = sched_getaffinity(0, sizeof set, &set) == 0 ? unsigned(CPU_COUNT(&set)) : 1u;
        if (cores == 0) cores = 1;
        const char* cap = std::getenv("TOLMIREX_THREADS");
        if (!cap || !*cap) return cores;
        char* end = nullptr;
        const long wanted = std::strtol(cap, &end, 10);
        if (*end != '\0' || wanted < 1 || wanted > 1024) {
            std::fprintf(stderr, "ignoring TOLMIREX_THREADS=%s (expected a count from 1)\n", cap);
            return cores;
        }
        return wanted < long(cores) ? unsigned(wanted) : cores;
    }();
    return threads;
}

// Rows [begin, end) of band `band` of `bands` over `rows` rows.
inline std::pair<uint32_t, uint32_t> band_rows(uint32_t rows, unsigned band, unsigned bands) {
    return {uint32_t(uint64_t{rows} * band / bands), uint32_t(uint64_t{rows} * (band + 1) / bands)};
}

class BandPool {
public:
    using Work = std::function<void(uint32_t begin, uint32_t end, unsigned band)>;

    explicit BandPool(unsigned threads = usable_threads()) {
        for (unsigned i = 1; i < threads; ++i) workers_.emplace_back(&BandPool::serve, this, i);
    }
    ~BandPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        start_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    unsigned threads() const { return unsigned(workers_.size()) + 1; }
    // Bands run() splits `rows` rows into: one a thread, none empty.
    unsigned bands_for(uint32_t rows) const { return rows < threads() ? (rows ? rows : 1) : threads(); }

    // work(begin, end, band) for every band of rows [0, rows).
    void run(uint32_t rows, const Work& work) {
        std::lock_guard one_at_a_time(run_mutex_);
        const unsigned bands = bands_for(rows);
        if (bands > 1) {
            std::lock_guard lock(mutex_);
            work_ = &work;
            rows_ = rows;
            bands_ = bands;
            pending_ = bands - 1;
            ++generation_;
        }
        if (bands > 1) start_.notify_all();
        const auto [begin, end] = band_rows(rows, 0, bands);
        work(begin, end, 0);
        if (bands == 1) return;
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return pending_ == 0; });
        work_ = nullptr;
    }

private:
    void serve(unsigned band) {
        uint64_t seen = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            if (band >= bands_) continue;
            const Work* work = work_;
            const auto [begin, end] = band_rows(rows_, band, bands_);
            lock.unlock();
            (*work)(begin, end, band);
            lock.lock();
            if (--pending_ == 0) finished_.notify_one();
        }
    }

    std::mutex run_mutex_;  // one run at a time
    std::mutex mutex_;      // protects everything below
    std::condition_variable start_, finished_;
    const Work* work_ = nullptr;
    uint32_t rows_ = 0;
    unsigned bands_ = 0, pending_ = 0;
    uint64_t generation_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;  // written by the constructor only
};

}  // namespace tolmirex
