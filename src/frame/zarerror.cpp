// Per-thread status word, error mode and handler; the error call and the message table.
#include "frame.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Messages of the base codes -9..-25 are the mask texts from their seventh
// character on, so each text is stored once.
constexpr int kPrefixLength = 6;  // "Mask. "
const char* const kMaskTexts[] = {
    "Mask. Incorrect image size",                  // -10 / -110
    "Mask. Incorrect offset of ROI of the image",  // -11 / -111
    "Mask. One from two pointers should be null, and other should be not null, imageData or "
    "tileInfo ",
    "Mask. Incorrect widthStep of the image",  // -13 / -113
    "Mask. Incorrect Color model or channel sequence of the image",
    "Mask. Incorrect number of channels in the image",          // -15 / -115
    "Mask. Number of channels for 1U depth image must be one",  // -16 (base only)
    "Mask. Incorrect depth value in the image header",          // -17 / -117
    "Mask. Incorrect alpha channel number in the image header",
    "Mask. Incorrect data order value in the image header",
    "Mask. Incorrect data origin value in the image header",
    "Mask. Incorrect data alignment value in the image header",
    nullptr,                                            // -22: no prefixed form
    nullptr,                                            // -23: no prefixed form
    "Mask. Incorrect COI of the image",                 // -24 / -124
    "Mask. Incorrect size of ROI in the image header",  // -25 / -125
};
constexpr const char* kUnknown = "Unknown error or status code";

const char* baseMessage(ZarStatus status) {
    switch (status) {
        case 0:
            return "No Error";
        case -1:
            return "Backtrace";
        case -3:
            return "Internal error (bad state)";
        case -4:
            return "Out of memory";
        case -5:
            return "Bad argument";
        case -6:
            return "Unsupported function";
        case -7:
            return "Iteration convergence failed";
        case -8:
            return "Autotrace call";
        case -9:
            return "Null pointer to an image header";
        case -22:
            return "Null pointer to callback function";
        case -23:
            return "Incorrect size of the tile";
        case -26:
            return "Mask image is taled";
        default:
            break;
    }
    if (status <= -10 && status >= -25) {
        const char* text = kMaskTexts[-10 - status];
        return text ? text + kPrefixLength : kUnknown;
    }
    return kUnknown;
}

const char* maskMessage(ZarStatus status) {
    // -116 shares its base text with no prefixed form; -122 and -123 have none.
    if (status == -116) return kUnknown;
    const char* text = kMaskTexts[-110 - status];
    return text ? text : kUnknown;
}

}  // namespace

ZarStatus ZAR_STDCALL zarGetStatus(void) { return zarGetThreadContext()->status; }

void ZAR_STDCALL zarSetStatus(ZarStatus status) { zarGetThreadContext()->status = status; }

int32_t ZAR_STDCALL zarGetErrorMode(void) { return zarGetThreadContext()->errorMode; }

int32_t ZAR_STDCALL zarSetErrorMode(int32_t mode) {
    ThreadContext* context = zarGetThreadContext();
    int32_t previous = context->errorMode;
    context->errorMode = mode;
    return previous;
}

ZarErrorHandler ZAR_STDCALL zarRedirectError(ZarErrorHandler handler) {
    ThreadContext* context = zarGetThreadContext();
    ZarErrorHandler previous = context->handler;
    context->handler = handler ? handler : zarDefaultErrorHandler;
    return previous;
}

ZarStatus ZAR_STDCALL zarReportError(ZarStatus status, const char* funcName, const char* context,
                                     const char* fileName, int32_t line) {
    ThreadContext* thread = zarGetThreadContext();
    if (status != STATUS_BACKTRACE && status != STATUS_AUTOTRACE) {
        thread->status = status;
        if (status == STATUS_OK) return STATUS_OK;
    }
    return thread->handler(status, funcName, context, fileName, line);
}

ZarStatus ZAR_STDCALL zarDefaultErrorHandler(ZarStatus status, const char*, const char*,
                                             const char*, int32_t) {
    if (zarGetThreadContext()->errorMode == ZAR_ERRMODE_EXIT) std::exit(1);
    return status;
}

ZarStatus ZAR_STDCALL zarStdErrReport(ZarStatus status, const char* funcName, const char* context,
                                      const char* fileName, int32_t line) {
    std::fprintf(stderr, "zar error: %s in %s (%s) at %s:%d\n", zarStatusMessage(status),
                 funcName ? funcName : "", context ? context : "", fileName ? fileName : "",
                 static_cast<int>(line));
    return status;
}

const char* ZAR_STDCALL zarStatusMessage(ZarStatus status) {
    uint32_t index = static_cast<uint32_t>(status) + 125u;
    if (index > 125u) return kUnknown;
    if (status <= -110) return maskMessage(status);
    return baseMessage(status);
}
