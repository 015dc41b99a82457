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
