// Status word, error modes and handlers, the error call and the message table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "frame/frame.h"
#include "support/image_support.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

// Each thread of these tests counts the reports its own handler saw.
thread_local int handlerCalls = 0;
thread_local std::string lastFunc;

ZarStatus ZAR_STDCALL countingHandler(ZarStatus status, const char* func, const char*, const char*,
                                      int32_t) {
    ++handlerCalls;
    lastFunc = func;
    return status;
}

ZarStatus ZAR_STDCALL otherHandler(ZarStatus status, const char*, const char*, const char*,
                                   int32_t) {
    return status - 1000;
}

// The message table as the library documents it, written out here.
std::string expectedMessage(int32_t code) {
    switch (code) {
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
        case -10:
            return "Incorrect image size";
        case -11:
            return "Incorrect offset of ROI of the image";
        case -12:
            return "One from two pointers should be null, and other should be not null, imageData "
                   "or tileInfo ";
        case -13:
            return "Incorrect widthStep of the image";
        case -14:
            return "Incorrect Color model or channel sequence of the image";
        case -15:
            return "Incorrect number of channels in the image";
        case -16:
            return "Number of channels for 1U depth image must be one";
        case -17:
            return "Incorrect depth value in the image header";
        case -18:
            return "Incorrect alpha channel number in the image header";
        case -19:
            return "Incorrect data order value in the image header";
        case -20:
            return "Incorrect data origin value in the image header";
        case -21:
            return "Incorrect data alignment value in the image header";
        case -22:
            return "Null pointer to callback function";
        case -23:
            return "Incorrect size of the tile";
        case -24:
            return "Incorrect COI of the image";
        case -25:
            return "Incorrect size of ROI in the image header";
        case -26:
            return "Mask image is taled";
        default:
            break;
    }
    if (code <= -110 && code >= -125 && code != -116 && code != -122 && code != -123)
        return "Mask. " + expectedMessage(code + 100);
    return "Unknown error or status code";
}

// ----------------------------------------------------------- message table

TEST(StatusMessage, EveryCodeFromMinus130ToPlus5AndTheExtremes) {
    for (int32_t code = -130; code <= 5; ++code)
        EXPECT_EQ(zarStatusMessage(code), expectedMessage(code)) << "code " << code;
    EXPECT_STREQ(zarStatusMessage(INT32_MIN), "Unknown error or status code");
    EXPECT_STREQ(zarStatusMessage(INT32_MAX), "Unknown error or status code");
}

TEST(StatusMessage, BaseAndMaskTextsAreStoredOnce) {
    for (int32_t code = -25; code <= -10; ++code) {
        if (code == -16 || code == -22 || code == -23) continue;
        EXPECT_EQ(zarStatusMessage(code), zarStatusMessage(code - 100) + 6) << code;
    }
}

// -------------------------------------------------------- context defaults

TEST(ThreadContext, FreshThreadStartsWithDefaults) {
    ZarStatus status = 1;
    int32_t mode = -1;
    ZarErrorHandler handler = nullptr;
    std::thread([&] {
        status = zarGetStatus();
        mode = zarGetErrorMode();
        handler = zarRedirectError(nullptr);
    }).join();
    EXPECT_EQ(status, STATUS_OK);
    EXPECT_EQ(mode, ZAR_ERRMODE_EXIT);
    EXPECT_EQ(handler, &zarDefaultErrorHandler);
}

TEST(ThreadContext, ContextAndStatusWordAreKept) {
    std::thread([] {
        ThreadContext* first = zarGetThreadContext();
        EXPECT_NE(first, nullptr);
        EXPECT_EQ(zarGetThreadContext(), first);
        zarSetStatus(-13);
        EXPECT_EQ(first->status, -13);
        EXPECT_EQ(zarGetStatus(), -13);
        EXPECT_EQ(zarGetStatus(), -13);  // reading never clears it
        zarSetStatus(0);
        EXPECT_EQ(zarGetStatus(), 0);
    }).join();
}

TEST(ThreadContext, SettersReturnThePreviousValue) {
    std::thread([] {
        EXPECT_EQ(zarSetErrorMode(ZAR_ERRMODE_RETURN), ZAR_ERRMODE_EXIT);
        EXPECT_EQ(zarSetErrorMode(5), ZAR_ERRMODE_RETURN);
        EXPECT_EQ(zarGetErrorMode(), 5);
        EXPECT_EQ(zarRedirectError(countingHandler), &zarDefaultErrorHandler);
        EXPECT_EQ(zarRedirectError(otherHandler), &countingHandler);
        EXPECT_EQ(zarRedirectError(nullptr), &otherHandler);
        EXPECT_EQ(zarRedirectError(nullptr), &zarDefaultErrorHandler);
    }).join();
}

// --------------------------------------------------------------- the error call

class ReportError : public ::testing::Test {
  protected:
    void SetUp() override {
        previousMode = zarSetErrorMode(ZAR_ERRMODE_RETURN);
        previousHandler = zarRedirectError(countingHandler);
        handlerCalls = 0;
        zarSetStatus(STATUS_OK);
    }
    void TearDown() override {
        zarRedirectError(previousHandler);
        zarSetErrorMode(previousMode);
        zarSetStatus(STATUS_OK);
    }
    int32_t previousMode = 0;
    ZarErrorHandler previousHandler = nullptr;
};

TEST_F(ReportError, StatusZeroClearsTheWordWithoutTheHandler) {
    zarSetStatus(-5);
    EXPECT_EQ(zarReportError(STATUS_OK, "f", "c", "file", 1), STATUS_OK);
    EXPECT_EQ(zarGetStatus(), STATUS_OK);
    EXPECT_EQ(handlerCalls, 0);
}

TEST_F(ReportError, BacktraceAndAutotraceKeepTheEarlierStatus) {
    for (ZarStatus code : {STATUS_BACKTRACE, STATUS_AUTOTRACE}) {
        zarSetStatus(-17);
        handlerCalls = 0;
        EXPECT_EQ(zarReportError(code, "zarBlur", "", "zarBlur", 7), code);
        EXPECT_EQ(zarGetStatus(), -17);
        EXPECT_EQ(handlerCalls, 1);
        EXPECT_EQ(lastFunc, "zarBlur");
    }
}

TEST_F(ReportError, OtherCodesAreRecordedAndHandled) {
    for (ZarStatus code : {-2, -5, -9, -26, -117, 3}) {
        handlerCalls = 0;
        EXPECT_EQ(zarReportError(code, "op", "ctx", "file", 9), code);
        EXPECT_EQ(zarGetStatus(), code);
        EXPECT_EQ(handlerCalls, 1);
    }
}

TEST_F(ReportError, TheHandlersResultIsReturned) {
    zarRedirectError(otherHandler);
    EXPECT_EQ(zarReportError(-5, "op", "ctx", "file", 9), -1005);
    EXPECT_EQ(zarGetStatus(), -5);
}

TEST(ErrorRecorder, ReceivesTheFiveArgumentsUnchanged) {
    zt::ErrorRecorder recorder;
    zarReportError(STATUS_BAD_ARG, "zarAllocateImage", "( image == ((void *)0) )", "zaralloc", 256);
    zt::expectReport(recorder, STATUS_BAD_ARG, "zarAllocateImage", "( image == ((void *)0) )",
                     "zaralloc", 256);
}

TEST(DefaultHandler, ReturnsTheStatusInReturnMode) {
    std::thread([] {
        zarSetErrorMode(ZAR_ERRMODE_RETURN);
        EXPECT_EQ(zarDefaultErrorHandler(-5, "f", "c", "file", 1), -5);
        EXPECT_EQ(zarReportError(-4, "f", "c", "file", 1), -4);
        EXPECT_EQ(zarGetStatus(), -4);
        zarSetErrorMode(7);  // any non-zero mode returns
        EXPECT_EQ(zarReportError(-3, "f", "c", "file", 1), -3);
    }).join();
}

TEST(DefaultHandler, StdErrReportPrintsOneLineAndReturns) {
    ::testing::internal::CaptureStderr();
    ZarStatus result = zarStdErrReport(-17, "zarSet", "Incorrect Image", "zarsce", 42);
    std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -17);
    EXPECT_EQ(text,
              "zar error: Incorrect depth value in the image header in zarSet (Incorrect Image) "
              "at zarsce:42\n");
}

// ------------------------------------------------------------ exit mode

class ExitMode : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// The death test sees only the child's stderr; standard output is sent there
// too, so that "^$" proves the library printed nothing on either.
void silentlyChecked() {
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

TEST_F(ExitMode, AReportEndsTheProcessWithCode1AndNoOutput) {
    void (*const reports[])() = {
        [] { zarReportError(STATUS_BAD_ARG, "zarAllocateImage", "c", "zaralloc", 256); },
        [] { zarReportError(STATUS_BACKTRACE, "zarBlur", "", "zarBlur", 3); },
        [] { zarAllocateImage(nullptr, 0, 0); },
        [] { (void)zarCloneImage(nullptr); },
    };
    for (auto report : reports) {
        EXPECT_EXIT(
            {
                silentlyChecked();
                report();
            },
            ::testing::ExitedWithCode(1), "^$");
    }
}

TEST_F(ExitMode, TheCheckSeesOutputOnStandardOutput) {
    // The check above can fail: a handler that prints is caught.
    EXPECT_EXIT(
        {
            silentlyChecked();
            zarRedirectError(zarStdErrReport);
            zarReportError(-5, "f", "c", "file", 1);
            std::puts("printed");
            std::exit(1);
        },
        ::testing::ExitedWithCode(1), "printed");
}

TEST_F(ExitMode, StatusZeroDoesNotEndTheProcess) {
    std::thread([] {
        EXPECT_EQ(zarReportError(STATUS_OK, "f", "c", "file", 1), STATUS_OK);
    }).join();
}

// -------------------------------------------------------------- threads

TEST(Threads, TwoThreadsKeepSeparateStatusModeAndHandler) {
    std::latch configured(2), checked(2);
    struct Seen {
        ZarStatus status = 0, reported = 0;
        int32_t mode = 0;
        ZarErrorHandler handler = nullptr;
    } seen[2];
    auto worker = [&](int index, ZarStatus status, int32_t mode, ZarErrorHandler handler) {
        zarSetStatus(status);
        zarSetErrorMode(mode);
        zarRedirectError(handler);
        configured.arrive_and_wait();  // both threads have written their context
        seen[index].status = zarGetStatus();
        seen[index].mode = zarGetErrorMode();
        seen[index].reported = zarReportError(-9, "f", "c", "file", 1);
        seen[index].handler = zarRedirectError(nullptr);
        checked.arrive_and_wait();
    };
    std::thread a(worker, 0, -11, 1, &countingHandler);
    std::thread b(worker, 1, -22, 2, &otherHandler);
    a.join();
    b.join();
    EXPECT_EQ(seen[0].status, -11);
    EXPECT_EQ(seen[1].status, -22);
    EXPECT_EQ(seen[0].mode, 1);
    EXPECT_EQ(seen[1].mode, 2);
    EXPECT_EQ(seen[0].reported, -9);
    EXPECT_EQ(seen[1].reported, -1009);
    EXPECT_EQ(seen[0].handler, &countingHandler);
    EXPECT_EQ(seen[1].handler, &otherHandler);
    // The main thread's context is untouched.
    EXPECT_EQ(zarGetErrorMode(), ZAR_ERRMODE_EXIT);
}

TEST(Threads, ManyShortThreadsEachGetAFreshContext) {
    // Each context is released when its thread ends; the sanitizer build
    // checks that none leaks.
    constexpr int kThreads = 400;
    int fresh = 0;
    for (int batch = 0; batch < kThreads / 8; ++batch) {
        std::vector<std::thread> threads;
        std::vector<int> ok(8, 0);
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&ok, i] {
                bool clean = zarGetStatus() == 0 && zarGetErrorMode() == ZAR_ERRMODE_EXIT;
                zarSetErrorMode(ZAR_ERRMODE_RETURN);
                zarReportError(-4, "f", "c", "file", i);
                ok[i] = clean && zarGetStatus() == -4;
            });
        for (auto& t : threads) t.join();
        for (int v : ok) fresh += v;
    }
    EXPECT_EQ(fresh, kThreads);
}

}  // namespace
