// checker_handover.h - makes a buffer another library's thread filled safe to
// read in the eyes of ThreadSanitizer.  Aravis's stream thread fills each
// buffer and hands it to our receive thread through a GLib queue whose lock
// is a bare futex the sanitizer cannot see, so without this every read of
// the pixels would be reported against Aravis's write.  Only in sanitizer
// builds: the buffer is copied into the caller's staging area with checks
// off (the hand-over is real, only invisible), and the caller reads the copy
// with checks on.  Other builds read the buffer in place.
//
// The receive thread only: staging belongs to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace genicam {

inline const uint8_t* handed_over(const void* data, size_t bytes, std::vector<uint8_t>& staging) {
#if defined(__SANITIZE_THREAD__)
    staging.resize(bytes);
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
    std::memcpy(staging.data(), data, bytes);
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
    return staging.data();
#else
    (void)bytes;
    (void)staging;
    return static_cast<const uint8_t*>(data);
#endif
}

}  // namespace genicam
