// Library frame: per-thread context and error reporting, shared by every subsystem.
#pragma once

#include "zar.h"

struct ThreadContext {
    ZarStatus status;
    int32_t errorMode;
    ZarErrorHandler handler;
};

// The calling thread's context, created on first use.
ThreadContext* zarGetThreadContext();

// Where a report comes from: the function name and the file name it carries.
struct ReportSite {
    const char* function;
    const char* file;
};

// Reports through zarReportError; returns status so that callers can pass it on.
inline ZarStatus report(const ReportSite& site, ZarStatus status, const char* context,
                        int32_t line) {
    zarReportError(status, site.function, context, site.file, line);
    return status;
}
