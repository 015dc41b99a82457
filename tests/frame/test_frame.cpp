// Status word, error modes and handlers, the error call, the message table
// (as data), exit mode and per-thread contexts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "frame/frame.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

thread_local int handlerCalls = 0;

ZarStatus ZAR_STDCALL countingHandler(ZarStatus status, const char*, const char*, const char*,
                                      int32_t) {
    ++handlerCalls;
    return status;
}

ZarStatus ZAR_STDCALL otherHandler(ZarStatus status, const char*, const char*, const char*,
                                   int32_t) {
    return status - 1000;
}

// The message of every code; the mask codes -110 .. -125 (but -116, -122 and
// -123) are "Mask. " and the text of their code + 100; all others unknown.
TEST(StatusMessage, EveryCode) {
    const std::map<int32_t, std::string> texts = {
        {0, "No Error"},
        {-1, "Backtrace"},
        {-3, "Internal error (bad state)"},
        {-4, "Out of memory"},
        {-5, "Bad argument"},
        {-6, "Unsupported function"},
        {-7, "Iteration convergence failed"},
        {-8, "Autotrace call"},
        {-9, "Null pointer to an image header"},
        {-10, "Incorrect image size"},
        {-11, "Incorrect offset of ROI of the image"},
        {-12,
         "One from two pointers should be null, and other should be not null, imageData or "
         "tileInfo "},
        {-13, "Incorrect widthStep of the image"},
        {-14, "Incorrect Color model or channel sequence of the image"},
        {-15, "Incorrect number of channels in the image"},
        {-16, "Number of channels for 1U depth image must be one"},
        {-17, "Incorrect depth value in the image header"},
        {-18, "Incorrect alpha channel number in the image header"},
        {-19, "Incorrect data order value in the image header"},
        {-20, "Incorrect data origin value in the image header"},
        {-21, "Incorrect data alignment value in the image header"},
        {-22, "Null pointer to callback function"},
        {-23, "Incorrect size of the tile"},
        {-24, "Incorrect COI of the image"},
        {-25, "Incorrect size of ROI in the image header"},
        {-26, "Mask image is taled"},
    };
    for (int32_t code = -130; code <= 5; ++code) {
        std::string expected = "Unknown error or status code";
        if (texts.count(code)) expected = texts.at(code);
        if (code <= -110 && code >= -125 && code != -116 && code != -122 && code != -123)
            expected = "Mask. " + texts.at(code + 100);
        EXPECT_EQ(zarStatusMessage(code), expected) << "code " << code;
    }
    EXPECT_STREQ(zarStatusMessage(INT32_MIN), "Unknown error or status code");
    EXPECT_STREQ(zarStatusMessage(INT32_MAX), "Unknown error or status code");
}

// A fresh thread's defaults; setters return the previous value; a null
// handler restores the default one.
TEST(ThreadContext, DefaultsAndSetters) {
    std::thread([] {
        ThreadContext* context = zarGetThreadContext();
        EXPECT_EQ(zarGetThreadContext(), context);
        EXPECT_EQ(zarGetStatus(), STATUS_OK);
        zarSetStatus(-13);
        EXPECT_EQ(context->status, -13);
        EXPECT_EQ(zarGetStatus(), -13);  // reading never clears it
        EXPECT_EQ(zarSetErrorMode(ZAR_ERRMODE_RETURN), ZAR_ERRMODE_EXIT);
        EXPECT_EQ(zarSetErrorMode(5), ZAR_ERRMODE_RETURN);
        EXPECT_EQ(zarGetErrorMode(), 5);
        EXPECT_EQ(zarRedirectError(countingHandler), &zarDefaultErrorHandler);
        EXPECT_EQ(zarRedirectError(otherHandler), &countingHandler);
        EXPECT_EQ(zarRedirectError(nullptr), &otherHandler);
        EXPECT_EQ(zarRedirectError(nullptr), &zarDefaultErrorHandler);
    }).join();
}

// Each row: the status word before, the code reported; the handler's calls,
// what the call returns and the status word after.
TEST(ReportError, StatusWordAndHandler) {
    const struct {
        ZarStatus before, code;
        ZarErrorHandler handler;
        int calls;
        ZarStatus returned, after;
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
            handlerCalls = 0;
            EXPECT_EQ(zarReportError(r.code, "f", "c", "file", 1), r.returned) << r.code;
            EXPECT_EQ(handlerCalls, r.calls) << r.code;
            EXPECT_EQ(zarGetStatus(), r.after) << r.code;
        }).join();
    zt::ErrorRecorder recorder;  // receives the five arguments unchanged
    zarReportError(STATUS_BAD_ARG, "zarAllocateImage", "( image == ((void *)0) )", "zaralloc", 256);
    zt::expectReports(recorder, "zarAllocateImage", "zaralloc",
                      {{STATUS_BAD_ARG, "( image == ((void *)0) )", 256}});
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
        EXPECT_EXIT(
            {
                std::fflush(stdout);
                dup2(STDERR_FILENO, STDOUT_FILENO);
                report();
            },
            ::testing::ExitedWithCode(1), "^$");
}

// Two threads keep their own status, mode and handler; short threads each
// get a fresh context (the sanitizer build checks that none leaks).
TEST(Threads, SeparateContexts) {
    std::latch configured(2);
    ZarStatus seen[2] = {}, reported[2] = {};
    auto worker = [&](int index, ZarStatus status, ZarErrorHandler handler) {
        zarSetStatus(status);
        zarSetErrorMode(ZAR_ERRMODE_RETURN);
        zarRedirectError(handler);
        configured.arrive_and_wait();
        seen[index] = zarGetStatus();
        reported[index] = zarReportError(-9, "f", "c", "file", 1);
    };
    std::thread a(worker, 0, -11, &countingHandler), b(worker, 1, -22, &otherHandler);
    a.join();
    b.join();
    EXPECT_EQ(seen[0], -11);
    EXPECT_EQ(seen[1], -22);
    EXPECT_EQ(reported[0], -9);
    EXPECT_EQ(reported[1], -1009);
    EXPECT_EQ(zarGetErrorMode(), ZAR_ERRMODE_EXIT);
    int fresh = 0;
    for (int i = 0; i < 200; ++i)
        std::thread([&fresh] { fresh += zarGetStatus() == 0 && zarGetErrorMode() == 0; }).join();
    EXPECT_EQ(fresh, 200);
}

}  // namespace
