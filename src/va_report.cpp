// Reporting of failed VA calls. Any thread.
#include "va_report.h"

#include <cstdio>

bool va_failed(const char* function, const char* call, int line, VAStatus status) {
    if (status == VA_STATUS_SUCCESS) return false;
    fprintf(stderr, "%s:%s (%d) failed %d,exit\n", function, call, line, status);
    return true;
}
