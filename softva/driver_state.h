// Threads: any; every entry point locks `mutex` before touching the heaps, and
// presentation additionally holds `present_mutex`.
// Everything one vaInitialize owns; vaTerminate deletes it.
#pragma once

#include <va/va.h>
#include <va/va_backend.h>

#include <memory>
#include <mutex>
#include <vector>

#include "aligned_bytes.h"
#include "band_pool.h"
#include "fault_plan.h"
#include "image_layout.h"
#include "object_heap.h"
#include "x11_presenter.h"

namespace softva {

// Surfaces are kept as NV12; derived images share the same bytes.
struct Surface {
    int width = 0, height = 0;
    ImageLayout layout;
    std::shared_ptr<AlignedBytes> pixels;
};

struct Buffer {
    VABufferType type = VAImageBufferType;
    std::shared_ptr<AlignedBytes> bytes;
    std::uint32_t size = 0;
};

struct Image {
    VAImage description{};
};

struct DriverState {
    explicit DriverState(std::vector<FaultRule> fault_rules) : faults(std::move(fault_rules)) {}

    Display* display = nullptr;
    std::vector<VAImageFormat> formats;
    bool allow_shm = true;
    // FourCC that derived images report instead of NV12 (0: NV12). Imitates a
    // driver whose derived images come in a layout the caller cannot write.
    std::uint32_t derived_fourcc = 0;
    FaultPlan faults;

    // Guards the three heaps below and the objects in them.
    std::mutex mutex;
    ObjectHeap<Surface> surfaces{0x04000000};
    ObjectHeap<Image> images{0x08000000};
    ObjectHeap<Buffer> buffers{0x0c000000};

    // Threads that convert large pictures in row bands: started by
    // vaInitialize, joined by vaTerminate (which deletes this state) after
    // the presenter that uses them is gone.
    tolmirex::BandPool bands;

    // Guards presenter (its X resources, image and scratch rows).
    std::mutex present_mutex;
    std::unique_ptr<X11Presenter> presenter;
};

inline DriverState& state_of(VADriverContextP ctx) { return *static_cast<DriverState*>(ctx->pDriverData); }

}  // namespace softva
