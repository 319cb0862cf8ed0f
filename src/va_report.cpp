// Reporting of failed VA calls. Any thread.
#include "va_report.h"

#include <cstdio>

#include "x_connection.h"

bool va_failed(const char* function, const char* call, int line, VAStatus status) {
    if (status == VA_STATUS_SUCCESS) return false;
    // Without an X server every call fails; the line that it is gone says why.
    if (x_connection_lost()) return true;
    fprintf(stderr, "%s:%s (%d) failed %d,exit\n", function, call, line, status);
    return true;
}
