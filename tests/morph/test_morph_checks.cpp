// Argument checks of zarDilate and zarErode as one table, in their order,
// with exact reports; the status word is reset on entry.
#include <gtest/gtest.h>

#include "support/zar_test.h"

namespace {

using zt::Image;

struct Images {
    Image a{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9};
    Image b{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3};
};

TEST(MorphChecks, EveryCheck) {
    using Call = void (*)(void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, int32_t), Images&);
    const char* const kChannels = "SRC and DST number of channels are different";
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](auto op, Images& i) { op(nullptr, i.b, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},
        {[](auto op, Images& i) { op(i.a, nullptr, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 86}}},
        {[](auto op, Images&) { op(nullptr, nullptr, 0); },  // the source first
         {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},
        {[](auto op, Images& i) {
             Image badRoi(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             badRoi.setRoi(2, 0, 0, 2, 2);  // coi beyond the channels
             op(i.a, badRoi, 1);
         },
         {{STATUS_BAD_COI, "Incorrect Image", 86}}},
        {[](auto op, Images& i) {
             op(i.a, i.b, 0);
             op(i.a, i.b, -3);
         },
         {{STATUS_BAD_ARG, "Illegal number of of iterations", 89},
          {STATUS_BAD_ARG, "Illegal number of of iterations", 89}}},
        {[](auto op, Images&) {
             for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F}) {
                 Image s(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 4, 4);
                 op(s, s, 1);
             }
         },
         {{STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94}}},
        // The source's depth is checked before it is compared.
        {[](auto op, Images& i) {
             Image f(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4);
             Image wide(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             op(i.a, f, 1);
             op(i.a, wide, 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST depth are different", 101},
          {STATUS_BAD_ARG, "SRC and DST depth are different", 101}}},
        {[](auto op, Images& i) {
             Image plane(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 4, 4);
             op(i.a, plane, 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST order are different", 106}}},
        {[](auto op, Images& i) {
             Image flipped(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             flipped->origin = ZAR_ORIGIN_BL;
             op(i.a, flipped, 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST orign are different", 111}}},
        {[](auto op, Images& i) {
             Image three(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             Image rgba(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             Image four(4, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             op(i.a, three, 1);
             op(rgba, four, 1);  // 3 processed channels against 4
             four.setRoi(2, 0, 0, 4, 4);
             op(i.a, four, 1);  // a channel of interest counts as one channel
         },
         {{STATUS_BAD_ARG, kChannels, 136}, {STATUS_BAD_ARG, kChannels, 136}}},
        // The status word is reset on entry; empty regions do nothing.
        {[](auto op, Images& i) {
             zarSetStatus(STATUS_BAD_ARG);
             i.a.setRoi(0, 7, 1, 3, 3);
             op(i.a, i.b, 2);
             EXPECT_EQ(zarGetStatus(), STATUS_OK);
             i.a.setRoi(0, 1, 4, 3, 3);
             op(i.a, i.b, 1);
         },
         {}},
    };
    for (auto op : {zarDilate, zarErode})
        for (const auto& row : rows) {
            Images images;
            zt::ErrorRecorder recorder;
            row.call(op, images);
            zt::expectReports(recorder, op == zarDilate ? "zarDilate" : "zarErode", "ownMorph",
                              row.want);
            for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(zt::getSample(images.b, x, 1, 0), 3);
        }
}

}  // namespace
