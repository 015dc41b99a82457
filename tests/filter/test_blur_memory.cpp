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
#include <cstring>

#include "zar.h"

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The child's extra peak in MB (at most 250), or 255 when the blur went wrong.
int blurExtraMegabytes() {
    ImageHeader* image[2];
    for (ImageHeader*& header : image) {
        header = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL, 0,
                                      8, 8000, 8000, nullptr, nullptr, nullptr, nullptr);
        zarAllocateImage(header, 0, 0);
        if (!header->imageData) return 255;
        std::memset(header->imageData, 9, static_cast<size_t>(header->imageSize));
    }
    const long before = peakKilobytes();
    zarBlur(image[0], image[1], 15, 15, 7, 7);
    const long extra = peakKilobytes() - before;
    if (zarGetStatus() != STATUS_OK || image[1]->imageData[4000 * 8000 + 17] != 9) return 255;
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
