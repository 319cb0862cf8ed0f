// See picture_figures.h. Any thread.
#include "picture_figures.h"

#include <mutex>

namespace {

std::mutex figures_mutex;
PictureFigures newest;  // guarded by figures_mutex
uint64_t edition = 0;   // guarded by figures_mutex

}  // namespace

void publish_picture_figures(const PictureFigures& figures) {
    std::lock_guard<std::mutex> lock(figures_mutex);
    newest = figures;
    ++edition;
}

uint64_t read_picture_figures(PictureFigures* out) {
    std::lock_guard<std::mutex> lock(figures_mutex);
    *out = newest;
    return edition;
}
