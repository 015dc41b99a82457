// Status word, error modes and handlers, the error call, the message table
// (as data), exit mode, per-thread contexts, and the calling convention of every entry point
// and callback type: __stdcall on 32-bit x86, the default elsewhere.  (The record sizes are
// checked where the library is compiled.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "frame/frame.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

thread_local int handlerCalls = 0;  // each row runs in a fresh thread

ZarStatus ZAR_STDCALL countingHandler(ZarStatus s, const char*, const char*, const char*, int32_t) {
    return ++handlerCalls, s;
}

ZarStatus ZAR_STDCALL otherHandler(ZarStatus s, const char*, const char*, const char*, int32_t) {
    return s - 1000;
}

// The message of every code 0, -1, ... -26 (-2 has none); the mask codes -110 .. -125
// (but -116, -122 and -123) are "Mask. " and the text of their code + 100; all others unknown.
const char* const kTexts =
    "No Error|Backtrace||Internal error (bad state)|Out of memory|Bad argument|Unsupported "
    "function|Iteration convergence failed|Autotrace call|Null pointer to an image header|"
    "Incorrect image size|Incorrect offset of ROI of the image|One from two pointers should be "
    "null, and other should be not null, imageData or tileInfo |Incorrect widthStep of the image|"
    "Incorrect Color model or channel sequence of the image|Incorrect number of channels in the "
    "image|Number of channels for 1U depth image must be one|Incorrect depth value in the image "
    "header|Incorrect alpha channel number in the image header|Incorrect data order value in the "
    "image header|Incorrect data origin value in the image header|Incorrect data alignment value "
    "in the image header|Null pointer to callback function|Incorrect size of the tile|Incorrect "
    "COI of the image|Incorrect size of ROI in the image header|Mask image is taled";

TEST(StatusMessage, EveryCode) {
    std::vector<std::string> texts(1);
    for (const char* c = kTexts; *c; ++c) *c == '|' ? texts.emplace_back() : texts.back() += *c;
    auto text = [&](int32_t code) -> std::string {
        const bool known = code <= 0 && code >= -26 && !texts[-code].empty();
        return known ? texts[-code] : "Unknown error or status code";
    };
    for (int32_t code = -130; code <= 5; ++code) {
        const bool mask = code <= -110 && code >= -125 && code != -116 && code != -122 &&
                          code != -123;
        EXPECT_EQ(zarStatusMessage(code), mask ? "Mask. " + text(code + 100) : text(code)) << code;
    }
    for (int32_t code : {INT32_MIN, INT32_MAX}) EXPECT_EQ(zarStatusMessage(code), text(1));
}

// Each row: the status word before, the code reported; the handler's calls,
// what the call returns and the status word after.
TEST(ReportError, StatusWordAndHandler) {
    const struct {
        ZarStatus before, code;
        ZarErrorHandler handler;
        ZarStatus calls, returned, after;
    } rows[] = {
        {-5, STATUS_OK, countingHandler, 0, STATUS_OK, STATUS_OK},
        {-17, STATUS_BACKTRACE, countingHandler, 1, STATUS_BACKTRACE, -17},
        {-17, STATUS_AUTOTRACE, countingHandler, 1, STATUS_AUTOTRACE, -17},
        {0, -26, countingHandler, 1, -26, -26},
        {0, -117, countingHandler, 1, -117, -117},
        {0, 3, countingHandler, 1, 3, 3},
        {0, -5, otherHandler, 0, -1005, -5},
        {0, -4, zarDefaultErrorHandler, 0, -4, -4},  // return mode: the default handler returns
    };
    for (const auto& r : rows)
        std::thread([&r] {
            zarSetErrorMode(ZAR_ERRMODE_RETURN);
            zarRedirectError(r.handler);
            zarSetStatus(r.before);
            EXPECT_EQ(zarReportError(r.code, "f", "c", "file", 1), r.returned) << r.code;
            EXPECT_EQ(handlerCalls, r.calls) << r.code;
            EXPECT_EQ(zarGetStatus(), r.after) << r.code;
        }).join();
    zt::ErrorRecorder recorder;  // receives the five arguments unchanged
    zarReportError(STATUS_BAD_ARG, "zarAllocateImage", "( image == 0 )", "zaralloc", 256);
    zt::expectReports(recorder, "zarAllocateImage", "zaralloc", {{-5, "( image == 0 )", 256}});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(zarStdErrReport(-17, "zarSet", "Incorrect Image", "zarsce", 42), -17);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "zar error: Incorrect depth value in the image header in zarSet (Incorrect Image) "
              "at zarsce:42\n");
}

// In the default mode a report ends the process with code 1 and prints
// nothing (standard output goes to the checked stream too).
TEST(ExitModeDeathTest, AReportEndsTheProcessSilently) {
    GTEST_FLAG_SET(death_test_style, ZAR_DEATH_TEST_STYLE);
    void (*const reports[])() = {
        [] { zarReportError(STATUS_BACKTRACE, "zarBlur", "", "zarBlur", 3); },
        [] { zarAllocateImage(nullptr, 0, 0); },
        [] { (void)zarCloneImage(nullptr); },
    };
    for (auto report : reports)
        EXPECT_EXIT((std::fflush(stdout), dup2(STDERR_FILENO, STDOUT_FILENO), report()),
                    ::testing::ExitedWithCode(1), "^$");
}

// A fresh thread's defaults; setters return the previous value; a null handler restores the
// default one.  Two threads keep their own status, mode and handler; short threads each get a
// fresh context (the sanitizer build checks that none leaks).
TEST(ThreadContext, DefaultsSettersAndSeparateContexts) {
    std::latch configured(2);
    ZarStatus seen[2] = {}, reported[2] = {};
    auto worker = [&](int index, ZarStatus status, ZarErrorHandler handler) {
        EXPECT_EQ(zarGetStatus(), STATUS_OK);
        zarSetStatus(status);
        EXPECT_EQ(zarGetThreadContext()->status, status);  // the same context every time
        EXPECT_EQ(zarSetErrorMode(5), ZAR_ERRMODE_EXIT);
        EXPECT_EQ(zarSetErrorMode(ZAR_ERRMODE_RETURN), 5);
        EXPECT_EQ(zarRedirectError(otherHandler), &zarDefaultErrorHandler);
        EXPECT_EQ(zarRedirectError(nullptr), &otherHandler);
        EXPECT_EQ(zarRedirectError(handler), &zarDefaultErrorHandler);
        configured.arrive_and_wait();
        seen[index] = zarGetStatus();  // reading never clears it
        reported[index] = zarReportError(-9, "f", "c", "file", 1);
    };
    std::thread a(worker, 0, -11, &countingHandler), b(worker, 1, -22, &otherHandler);
    a.join();
    b.join();
    EXPECT_EQ((std::array{seen[0], seen[1], reported[0], reported[1], zarGetErrorMode()}),
              (std::array{-11, -22, -9, -1009, ZAR_ERRMODE_EXIT}));
    int fresh = 0;
    for (int i = 0; i < 200; ++i)
        std::thread([&fresh] { fresh += zarGetStatus() == 0 && zarGetErrorMode() == 0; }).join();
    EXPECT_EQ(fresh, 200);
}

// True for a pointer to a function of the compiler's default convention; on 32-bit x86 a
// __stdcall function pointer is of another type and takes the second overload.
template <typename R, typename... A>
constexpr bool isDefault(R (*)(A...)) {
    return true;
}
constexpr bool isDefault(...) { return false; }

#if defined(__i386__) || defined(_M_IX86)
constexpr bool kWantDefault = false;
#else
constexpr bool kWantDefault = true;
#endif

// How many of fns lack the header's convention.
template <typename... F>
constexpr int wrongConvention(F... fns) {
    return (0 + ... + int(isDefault(fns) != kWantDefault));
}

TEST(Abi, EveryEntryPointAndCallbackTypeHasTheHeadersConvention) {
    EXPECT_EQ(wrongConvention(
                  ZarTileCallback{}, ZarErrorHandler{}, &zarGetStatus, &zarSetStatus,
                  &zarGetErrorMode, &zarSetErrorMode, &zarRedirectError, &zarReportError,
                  &zarDefaultErrorHandler, &zarStdErrReport, &zarStatusMessage,
                  &zarCreateImageHeader, &zarAllocateImage, &zarAllocateImageFP, &zarDeallocate,
                  &zarCloneImage, &zarSet, &zarSetFP, &zarCopy, &zarPutPixel, &zarAdd, &zarOr,
                  &zarAnd, &zarXorS, &zarBlur, &zarFixedFilter, &zarDilate, &zarErode, &zarDecimate,
                  &zarZoom, &zarResize, &zarRemap, &zarTranslateDIB, &zarTranslateDIBBlock),
              0);
}

}  // namespace
