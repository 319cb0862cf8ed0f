// Reporting of failed VA calls, shared by the frame upload and the display thread.
#pragma once

#include <va/va.h>

// Prints the VA failure message for `call` made by `function` at `line` when
// `status` is not success; returns true when the call failed. Thread-safe.
bool va_failed(const char* function, const char* call, int line, VAStatus status);

// After vaInitialize failed: one line naming the driver that could not be
// loaded or started (LIBVA_DRIVER_NAME), and where it was looked for.
void report_driver_not_started();

// Makes a VA call and reports its failure; one line per call site, naming it:
//   if (VA_CALL(vaMapBuffer, dpy, buf, &data)) ...
// The message names the reporting operation, which each file that uses the
// macro declares as `va_reporter` (e.g. "drawImage").
#define VA_CALL(call, ...) va_failed(va_reporter, #call, __LINE__, call(__VA_ARGS__))
