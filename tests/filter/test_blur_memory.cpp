// The peak extra memory of Blur on an 8000 x 8000 8-bit image: the source is
// read in bands of rows, so beyond the two images it takes well under 16 MB.
// Measured as the growth of the peak resident size of a child process, whose
// images are touched before the call. POSIX only: a child process and getrusage.
#if defined(__unix__) || defined(__APPLE__)
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/zar_test.h"

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The child's extra peak in MB (at most 250), or 255 when the blur went wrong.
int blurExtraMegabytes() {
    zt::ErrorRecorder errors;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 8000, 8000, 8, 9),
        dst(1, 0, ZAR_DEPTH_8U, 0, 8000, 8000, 8, 1);
    if (!src->imageData || !dst->imageData) return 255;
    const long before = peakKilobytes();
    zarBlur(src, dst, 15, 15, 7, 7);
    const long extra = peakKilobytes() - before;
    if (!errors.reports().empty() || dst->imageData[4000 * 8000 + 17] != 9) return 255;
    return static_cast<int>(std::min<long>(extra / 1024, 250));
}

TEST(BlurMemory, PeakExtraMemoryOfA64MegapixelBlurStaysUnder16MB) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(blurExtraMegabytes());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int megabytes = WEXITSTATUS(status);
    ASSERT_NE(megabytes, 255) << "the blur failed";
    EXPECT_LT(megabytes, 16);
    std::printf("peak extra memory of the 8000 x 8000 blur: %d MB\n", megabytes);
}

}  // namespace

#endif
