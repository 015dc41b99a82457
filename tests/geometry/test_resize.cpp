// zarResize: its own check, what it returns, and the backtrace after a failure
// of the operation it hands the call to (routing itself is checked by the
// random cases of decimation and zoom, which call zarResize).
#include <gtest/gtest.h>

#include <tuple>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

// Each row: factors, mode and the status word before the call; what the call
// returns, the report of the operation (if any) and whether a backtrace follows.
TEST(Resize, ChecksAndBacktraces) {
    const zt::Report super{STATUS_BAD_ARG, "zarResize",
                           "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)",
                           "zarresiz", 56};
    const zt::Report decimate{STATUS_BAD_ARG, "zarDecimate", "xDst <= 0", "zardecim", 105};
    const zt::Report zoom{STATUS_BAD_ARG, "zarZoom",
                          "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
                          "interpolate != ZAR_INTER_CUBIC",
                          "zarZoom", 707};
    const zt::Report backtrace{STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59};
    const struct {
        int32_t xDst, xSrc, yDst, ySrc, mode;
        ZarStatus before, returned;
        const zt::Report* first;
        bool backtrace;
    } rows[] = {
        {2, 1, 1, 1, ZAR_INTER_SUPER, STATUS_OK, STATUS_BAD_ARG, &super, false},
        {1, 2, 3, 2, ZAR_INTER_SUPER, STATUS_OK, STATUS_BAD_ARG, &super, false},
        {0, 2, 1, 2, ZAR_INTER_SUPER, STATUS_OK, STATUS_BACKTRACE, &decimate, true},
        {1, 2, 1, 2, 7, STATUS_OK, STATUS_BACKTRACE, &zoom, true},
        {1, 2, 1, 2, ZAR_INTER_SUPER, STATUS_ERROR, STATUS_BACKTRACE, nullptr, true},
        {1, 2, 1, 2, ZAR_INTER_NN, STATUS_ERROR, STATUS_BACKTRACE, nullptr, true},
        // A positive status word is no failure: it is returned.
        {1, 2, 1, 2, ZAR_INTER_SUPER, 5, 5, nullptr, false},
        {1, 2, 1, 2, ZAR_INTER_LINEAR, 5, 5, nullptr, false},
    };
    for (const auto& r : rows) {
        zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 9);
        zt::ErrorRecorder errors;
        zarSetStatus(r.before);
        EXPECT_EQ(zarResize(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode), r.returned);
        std::vector<zt::Report> want;
        if (r.first) want.push_back(*r.first);
        if (r.backtrace) want.push_back(backtrace);
        ASSERT_EQ(errors.reports().size(), want.size()) << r.mode;
        for (size_t k = 0; k < want.size(); ++k) {
            const zt::Report& got = errors.reports()[k];
            EXPECT_EQ(std::tie(got.status, got.func, got.context, got.file, got.line),
                      std::tie(want[k].status, want[k].func, want[k].context, want[k].file,
                               want[k].line));
        }
        if (r.returned < 0) {
            EXPECT_EQ(gt::rowText(dst, 0), "9 9 9 9");
        }
    }
}

}  // namespace
