// Reporting of failed VA calls. Any thread.
#include "va_report.h"

#include <cstdio>
#include <cstdlib>

#include "x_connection.h"

bool va_failed(const char* function, const char* call, int line, VAStatus status) {
    if (status == VA_STATUS_SUCCESS) return false;
    // Without an X server every call fails; the line that it is gone says why.
    if (x_connection_lost()) return true;
    fprintf(stderr, "%s:%s (%d) failed %d,exit\n", function, call, line, status);
    return true;
}

void report_driver_not_started() {
    const char* driver = getenv("LIBVA_DRIVER_NAME");
    if (!driver || !*driver) {
        fprintf(stderr, "No VA driver could be loaded or started for this display (LIBVA_DRIVER_NAME names one)\n");
        return;
    }
    const char* path = getenv("LIBVA_DRIVERS_PATH");
    fprintf(stderr, "VA driver \"%s\" (LIBVA_DRIVER_NAME) could not be loaded or started from %s\n", driver,
            path && *path ? path : "libva's driver directory");
}
