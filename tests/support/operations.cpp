#include "operations.h"

namespace zt {

namespace {

using O = Operands;

// A header of the source's format, for the calls that make one.
ImageHeader* headerLike(const ImageHeader* s) {
    return zarCreateImageHeader(s->nChannels, s->alphaChannel, s->depth, s->colorModel,
                                s->channelSeq, s->dataOrder, s->origin, s->align, s->width,
                                s->height, nullptr, nullptr, nullptr, nullptr);
}

void allocate(O& o) {
    ImageHeader* made = o.made = headerLike(o.src);
    if (made && made->depth == ZAR_DEPTH_32F) zarAllocateImageFP(made, 1, o.args[0] / 4.0f);
    if (made && made->depth != ZAR_DEPTH_32F) zarAllocateImage(made, 1, o.args[0]);
}

void translate(O& o) {
    int32_t cloned = 0;
    o.made = zarTranslateDIB(static_cast<const BITMAPINFOHEADER*>(o.block), &cloned);
}

void translateBlock(O& o) {
    int32_t cloned = 0;
    o.made = zarTranslateDIBBlock(o.block, o.blockSize, &cloned);
}

void putPixel(O& o) {
    const uint8_t pixel[64] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    zarPutPixel(o.dst, o.args[0], o.args[1], pixel);
}

const int32_t* a(const O& o) { return o.args; }

}  // namespace

const CatalogueEntry kOperations[] = {
    {"zarCreateImageHeader", [](O& o) { o.made = headerLike(o.src); }, {}},
    {"zarAllocateImage", allocate, {7}},
    {"zarCloneImage", [](O& o) { o.made = zarCloneImage(o.src); }, {}},
    {"zarDeallocate", [](O& o) { zarDeallocate(zarCloneImage(o.src), ZAR_FREE_ALL); }, {}},
    {"zarSet", [](O& o) { zarSet(o.dst, a(o)[0]); }, {300}},
    {"zarSetFP", [](O& o) { zarSetFP(o.dst, static_cast<float>(a(o)[0]) / 8); }, {5}},
    {"zarCopy", [](O& o) { zarCopy(o.src, o.dst); }, {}},
    {"zarPutPixel", putPixel, {1, 2}},
    {"zarAdd", [](O& o) { zarAdd(o.src, o.src2, o.dst); }, {}},
    {"zarOr", [](O& o) { zarOr(o.src, o.src2, o.dst); }, {}},
    {"zarAnd", [](O& o) { zarAnd(o.src, o.src2, o.dst); }, {}},
    {"zarXorS", [](O& o) { zarXorS(o.src, o.dst, a(o)[0]); }, {0x5A}},
    {"zarBlur",
     [](O& o) { zarBlur(o.src, o.dst, a(o)[0], a(o)[1], a(o)[2], a(o)[3]); },
     {5, 3, 2, 1}},
    {"zarFixedFilter", [](O& o) { zarFixedFilter(o.src, o.dst, a(o)[0]); }, {ZAR_FIXED_GAUSS_5}},
    {"zarDilate", [](O& o) { zarDilate(o.src, o.dst, a(o)[0]); }, {2}},
    {"zarErode", [](O& o) { zarErode(o.src, o.dst, a(o)[0]); }, {1}},
    {"zarDecimate",
     [](O& o) { zarDecimate(o.src, o.dst, a(o)[0], a(o)[1], a(o)[2], a(o)[3], a(o)[4]); },
     {2, 3, 1, 2, ZAR_INTER_SUPER}},
    {"zarZoom",
     [](O& o) { zarZoom(o.src, o.dst, a(o)[0], a(o)[1], a(o)[2], a(o)[3], a(o)[4]); },
     {3, 2, 2, 1, ZAR_INTER_CUBIC}},
    {"zarResize",
     [](O& o) { zarResize(o.src, o.dst, a(o)[0], a(o)[1], a(o)[2], a(o)[3], a(o)[4]); },
     {2, 3, 1, 2, ZAR_INTER_SUPER}},
    {"zarRemap", [](O& o) { zarRemap(o.src, o.xMap, o.yMap, o.dst, a(o)[0]); }, {ZAR_INTER_LINEAR}},
    {"zarTranslateDIB", translate, {}, true},
    {"zarTranslateDIBBlock", translateBlock, {}},
};
const int32_t kOperationCount = static_cast<int32_t>(sizeof(kOperations) / sizeof(kOperations[0]));

}  // namespace zt
