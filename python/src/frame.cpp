// The library runs in return mode in every thread that calls it through the
// binding, with a handler that records the call's first report; the binding
// then raises zar.ZarError with it.  Also the two hooks the tests and the
// benchmark use: the pixel addresses of the last call's images, and the time
// of the bare library call.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "binding.h"

namespace zarpy {

namespace {

struct Report {
    bool present = false;
    ZarStatus status = 0;
    int32_t line = 0;
    char function[64] = {}, context[256] = {}, file[64] = {};
};

thread_local Report tlsReport;
thread_local bool tlsInReturnMode = false;
thread_local std::array<uintptr_t, 4> tlsAddresses{};
thread_local int tlsAddressCount = 0;
thread_local int tlsRepeat = 0;
thread_local double tlsSeconds = 0;

template <size_t N>
void copyText(char (&to)[N], const char* from) {
    std::snprintf(to, N, "%s", from ? from : "");
}

// Runs without the GIL, inside the library call: it only copies the report.
ZarStatus ZAR_STDCALL recordReport(ZarStatus status, const char* funcName, const char* context,
                                   const char* fileName, int32_t line) {
    if (!tlsReport.present) {
        tlsReport.present = true;
        tlsReport.status = status;
        tlsReport.line = line;
        copyText(tlsReport.function, funcName);
        copyText(tlsReport.context, context);
        copyText(tlsReport.file, fileName);
    }
    return status;
}

void prepareThread() {
    if (!tlsInReturnMode) {
        zarSetErrorMode(ZAR_ERRMODE_RETURN);
        zarRedirectError(&recordReport);
        tlsInReturnMode = true;
    }
    // Several functions stop at once on a negative status word left by an
    // earlier failure; each call starts clean.
    zarSetStatus(STATUS_OK);
    tlsReport.present = false;
}

}  // namespace

void beginLibraryCall(const std::array<Operand, 4>& operands, int count) {
    prepareThread();
    tlsAddressCount = count;
    for (int i = 0; i < count; ++i) {
        tlsAddresses[i] = reinterpret_cast<uintptr_t>(operands[i].header.imageData);
    }
}

void beginLibraryCall() {
    prepareThread();
    tlsAddressCount = 0;
}

void raiseIfReported() {
    if (!tlsReport.present) return;
    static const py::handle errorType =
        py::object(py::module_::import("zar._error").attr("ZarError")).release();
    const Report& r = tlsReport;
    const py::object error = errorType(r.status, zarStatusMessage(r.status), r.function, r.context,
                                       r.file, r.line);
    PyErr_SetObject(errorType.ptr(), error.ptr());
    throw py::error_already_set();
}

void timedRun(void* context, void (*work)(void*)) {
    if (tlsRepeat <= 0) {
        work(context);
        return;
    }
    std::vector<double> seconds(static_cast<size_t>(tlsRepeat));
    for (double& s : seconds) {
        const auto start = std::chrono::steady_clock::now();
        work(context);
        s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
    tlsSeconds = seconds[seconds.size() / 2];
}

void registerFrame(py::module_& m) {
    m.def(
        "_c_call_seconds",
        [](int repeat, const py::object& function, const py::args& args, const py::kwargs& kwargs) {
            if (repeat < 1) throw py::value_error("repeat must be positive");
            tlsRepeat = repeat;
            tlsSeconds = 0;
            try {
                function(*args, **kwargs);
            } catch (...) {
                tlsRepeat = 0;
                throw;
            }
            tlsRepeat = 0;
            return tlsSeconds;
        },
        "Median seconds of `repeat` runs of the library call that function(*args, **kwargs) "
        "makes, timed in C++ around the call alone (headers prepared once).");
    m.def(
        "_image_addresses",
        [] {
            py::list addresses;
            for (int i = 0; i < tlsAddressCount; ++i) addresses.append(tlsAddresses[i]);
            return addresses;
        },
        "Pixel addresses of the images of this thread's last call, sources first.");
}

}  // namespace zarpy
