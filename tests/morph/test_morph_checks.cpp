// Argument checks of zarDilate and zarErode, in their order, with exact reports.
#include <gtest/gtest.h>

#include "support/image_support.h"
#include "support/zar_test.h"

namespace {

using zt::ErrorRecorder;
using zt::Image;

using MorphFn = void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, int32_t);
struct Named {
    MorphFn fn;
    const char* name;
};
const Named kOps[] = {{zarDilate, "zarDilate"}, {zarErode, "zarErode"}};

// Runs the operation, expects exactly the one report and clears the recorder.
void refused(ErrorRecorder& rec, const Named& op, ImageHeader* src, ImageHeader* dst, int32_t n,
             ZarStatus status, const char* context, int32_t line) {
    op.fn(src, dst, n);
    zt::expectReport(rec, status, op.name, context, "ownMorph", line);
    rec.clear();
}

TEST(MorphChecks, InvalidSourceThenDestination) {
    for (const Named& op : kOps) {
        ErrorRecorder rec;
        Image good(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9);
        refused(rec, op, nullptr, good, 1, STATUS_NULL_HEADER, "Incorrect Image", 85);
        refused(rec, op, good, nullptr, 1, STATUS_NULL_HEADER, "Incorrect Image", 86);
        // The source is checked first.
        refused(rec, op, nullptr, nullptr, 0, STATUS_NULL_HEADER, "Incorrect Image", 85);
        Image badRoi(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9);
        badRoi.setRoi(2, 0, 0, 2, 2);  // coi beyond the channels
        op.fn(good, badRoi, 1);        // the recorded validation code is reported
        zt::expectReport(rec, STATUS_BAD_COI, op.name, "Incorrect Image", "ownMorph", 86);
        EXPECT_EQ(zarGetStatus(), STATUS_BAD_COI);
    }
}

TEST(MorphChecks, IterationsDepthOrderOriginChannels) {
    for (const Named& op : kOps) {
        ErrorRecorder rec;
        Image a(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9);
        Image b(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3);
        refused(rec, op, a, b, 0, STATUS_BAD_ARG, "Illegal number of of iterations", 89);
        refused(rec, op, a, b, -3, STATUS_BAD_ARG, "Illegal number of of iterations", 89);

        for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S}) {
            Image s(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 4, 4);
            Image d(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 4, 4);
            refused(rec, op, s, d, 1, STATUS_BAD_ARG, "Illegal image depth", 94);
        }
        Image f(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4);
        refused(rec, op, f, f, 1, STATUS_BAD_ARG, "Illegal image depth", 94);
        // The source's depth is checked before it is compared: a bad
        // destination depth is a difference.
        Image f2(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4);
        refused(rec, op, a, f2, 1, STATUS_BAD_ARG, "SRC and DST depth are different", 101);
        Image wide(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        refused(rec, op, a, wide, 1, STATUS_BAD_ARG, "SRC and DST depth are different", 101);

        Image plane(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 4, 4);
        refused(rec, op, a, plane, 1, STATUS_BAD_ARG, "SRC and DST order are different", 106);

        Image flipped(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        flipped->origin = ZAR_ORIGIN_BL;
        refused(rec, op, a, flipped, 1, STATUS_BAD_ARG, "SRC and DST orign are different", 111);

        Image three(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        refused(rec, op, a, three, 1, STATUS_BAD_ARG,
                "SRC and DST number of channels are different", 136);
        Image rgba(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        Image four(4, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        refused(rec, op, rgba, four, 1, STATUS_BAD_ARG,  // 3 processed channels against 4
                "SRC and DST number of channels are different", 136);
        // A channel of interest counts as one channel.
        four.setRoi(2, 0, 0, 4, 4);
        op.fn(a, four, 1);
        EXPECT_TRUE(rec.reports().empty());
        EXPECT_EQ(zarGetStatus(), STATUS_OK);
        // Nothing was changed by any refused call.
        EXPECT_EQ(zt::getSample(b, 0, 0, 0), 3);
    }
}

TEST(MorphChecks, StatusIsResetOnEntry) {
    ErrorRecorder rec;
    Image a(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9);
    Image b(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3);
    zarSetStatus(STATUS_BAD_ARG);
    zarDilate(a, b, 1);
    EXPECT_EQ(zarGetStatus(), STATUS_OK);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(zt::getSample(b, 2, 2, 0), 9);
}

TEST(MorphChecks, EmptyRegionsDoNothing) {
    ErrorRecorder rec;
    Image a(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 6, 4, 9);
    Image b(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 6, 4, 3);
    a.setRoi(0, 7, 1, 3, 3);  // right of the image
    zarErode(a, b, 2);
    a.setRoi(0, 1, 6, 3, 3);  // below the image
    zarDilate(a, b, 1);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(zarGetStatus(), STATUS_OK);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(zt::getSample(b, x, y, 0), 3);
}

}  // namespace
